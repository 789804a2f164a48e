#include "moviereport.h"

void DemuxReportError(LPCWSTR pwszSourceFile, int iLine, LPCWSTR pwszMessage)
{
    NKDbgPrintfW(L"ERROR: %s line %d: ", pwszSourceFile, iLine);
    // Through "%s" so that a message is never taken for a format.
    NKDbgPrintfW(L"%s", pwszMessage);
}
