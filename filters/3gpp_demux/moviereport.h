// Error reports on the debug output, in the module's two-line form: a line
// naming the source file and line, then the message itself (which carries
// its own "\r\n").
#ifndef DEMUX_MOVIEREPORT_H
#define DEMUX_MOVIEREPORT_H

#include "win32.h"

void DemuxReportError(LPCWSTR pwszSourceFile, int iLine, LPCWSTR pwszMessage);

// The parser's reports name this file path, whichever movie*.cpp writes them.
#define MOVIE_REPORT_ERROR(message) \
    DemuxReportError(L"source\\filters\\3gpp_demux\\movie", __LINE__, (message))

#endif
