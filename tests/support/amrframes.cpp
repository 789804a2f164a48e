#include "amrframes.h"

#include <algorithm>

std::vector<std::vector<uint8_t>> AmrFrames(const std::vector<uint8_t>& bytes, bool bWide)
{
    // Bytes after the header byte, by frame type (SID included, NO_DATA none).
    static const int kNarrow[16] = {12, 13, 15, 17, 19, 20, 26, 31, 5, 0, 0, 0, 0, 0, 0, 0};
    static const int kWide[16] = {17, 23, 32, 36, 40, 46, 50, 58, 60, 5, 0, 0, 0, 0, 0, 0};
    // Through a pointer: g++ 12 with -fsanitize=undefined indexes
    // "(c ? a : b)[i]" as if i were 0.
    const int* pSizes = bWide ? kWide : kNarrow;
    std::vector<std::vector<uint8_t>> frames;
    for (size_t pos = 0; pos < bytes.size();) {
        size_t cb = 1 + pSizes[(bytes[pos] >> 3) & 15];
        frames.emplace_back(bytes.begin() + pos, bytes.begin() + std::min(bytes.size(), pos + cb));
        pos += cb;
    }
    return frames;
}
