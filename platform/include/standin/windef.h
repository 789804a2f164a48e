// Rectangle and bitmap header of the Windows graphics headers, as the video
// format blocks embed them.
#ifndef PLATFORM_STANDIN_WINDEF_H
#define PLATFORM_STANDIN_WINDEF_H

#include "basetypes.h"

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT;

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER;

#define BI_RGB 0L

// A four-character code as the little-endian DWORD of its bytes in order.
#define MAKEFOURCC(ch0, ch1, ch2, ch3)                                           \
    ((DWORD)(BYTE)(ch0) | ((DWORD)(BYTE)(ch1) << 8) | ((DWORD)(BYTE)(ch2) << 16) | \
     ((DWORD)(BYTE)(ch3) << 24))
#define mmioFOURCC(ch0, ch1, ch2, ch3) MAKEFOURCC(ch0, ch1, ch2, ch3)

typedef char PlatformRectIs16BytesCheck[sizeof(RECT) == 16 ? 1 : -1];
typedef char PlatformBitmapInfoHeaderIs40BytesCheck[sizeof(BITMAPINFOHEADER) == 40 ? 1 : -1];

#endif
