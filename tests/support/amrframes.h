// Storage-format AMR frames cut by their header bytes, written here
// independently of the module's framer.
#ifndef TESTS_AMRFRAMES_H
#define TESTS_AMRFRAMES_H

#include <cstdint>
#include <vector>

// The frames of bytes in order; a frame cut by the end keeps what is there.
std::vector<std::vector<uint8_t>> AmrFrames(const std::vector<uint8_t>& bytes, bool bWide);

#endif
