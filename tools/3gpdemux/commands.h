// The subcommands of the 3gpdemux tool, what they share on the command
// line, and the plain file reader of the box listing.
#ifndef TOOLS_3GPDEMUX_COMMANDS_H
#define TOOLS_3GPDEMUX_COMMANDS_H

#include <cstdio>
#include <string>
#include <vector>

#include "bytesource.h"

// Exit status: success, usage error or unreadable file, file refused by the filter.
const int kExitOk = 0;
const int kExitUsage = 1;
const int kExitRefused = 2;

// Reads a local file for the parser's box reader.
class FileByteSource : public ByteSource {
public:
    explicit FileByteSource(const std::string& path);
    ~FileByteSource() override;
    bool IsOpen() const { return m_file != nullptr; }
    HRESULT Read(LONGLONG llPosition, DWORD dwLength, BYTE* pBuffer) override;
    LONGLONG Length() override { return m_llSize; }

private:
    FILE* m_file = nullptr;
    LONGLONG m_llSize = 0;
};

// Each takes the arguments after the command's name and returns the exit status.
int RunBoxes(const std::vector<std::string>& args);
int RunInfo(const std::vector<std::string>& args);
int RunSamples(const std::vector<std::string>& args);
int RunExtract(const std::vector<std::string>& args);
int RunRegfile(const std::vector<std::string>& args);
int RunScan(const std::vector<std::string>& args);
int RunTimeline(const std::vector<std::string>& args);

// --- command-line helpers (commandline.cpp) ---
bool IsHelp(const std::string& arg);
// Prints "3gpdemux: message" on stderr.
void PrintError(const std::string& message);
// False, with the reason on stderr, when path is not a readable regular file.
bool CheckReadableFile(const std::string& path);
// The text in single quotes for sh.
std::string ShellQuoted(const std::string& text);
// The path of this program.
std::string SelfPath();
// A decimal integer (optionally signed) that fills the whole text.
bool ParseInteger(const std::string& text, long long* pValue);

#endif
