// The wide printf engine shared by the debug output and StringCch*PrintfW.
#ifndef PLATFORM_STANDIN_WIDEFORMAT_H
#define PLATFORM_STANDIN_WIDEFORMAT_H

#include <stdarg.h>
#include "win32.h"

namespace standin {

// Formats into pwszOut (capacity cchOut, always zero-terminated when cchOut
// is not 0). Returns the number of characters the whole text needs, without
// the terminator; a result >= cchOut means the text was cut.
size_t FormatWide(WCHAR* pwszOut, size_t cchOut, const WCHAR* pwszFormat, va_list args);

// UTF-16 to UTF-8 for writing to byte streams; unpaired surrogates become U+FFFD.
void AppendUtf8(const WCHAR* pwsz, size_t cch, char* pOut, size_t cbOut, size_t* pcbUsed);

}  // namespace standin

#endif
