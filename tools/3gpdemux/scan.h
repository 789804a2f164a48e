// "3gpdemux scan": every clip under the given files and folders, each
// checked and played in a child process of its own (scanfile.cpp) so that a
// file that hangs or crashes is reported as such and never stops the scan.
#ifndef TOOLS_3GPDEMUX_SCAN_H
#define TOOLS_3GPDEMUX_SCAN_H

#include <string>

// Exit status of scan when a file hung or crashed a child.
const int kExitHungOrCrashed = 3;

// The child's side: prints the file's JSON object; returns the exit status.
int RunScanFile(const std::string& path, bool bFfprobe);

#endif
