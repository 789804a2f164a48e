// The three ways arbitrary bytes enter the module: the parser over a file's
// bytes, the AMR framer over one sample's bytes, and the whole filter in a
// graph. The libFuzzer targets call them, and so does the test that replays
// the inputs fuzzing once found. Each returns 0; a fault shows as a crash,
// a sanitizer report or a hang.
#ifndef FUZZ_FUZZENTRIES_H
#define FUZZ_FUZZENTRIES_H

#include <cstddef>
#include <cstdint>

namespace fuzzentry {

// Parses the bytes as a movie, then asks every track for its samples, times
// and sync samples at a spread of sample numbers and times, and reads the metadata.
int ParseMovie(const uint8_t* pData, size_t cbData);

// The first byte chooses the codec, whether a file magic is expected and how
// the rest is split into samples; the framer cuts each sample the way the
// AMR delivery loop does.
int FrameAmr(const uint8_t* pData, size_t cbData);

// Connects a memory source holding the bytes to the filter and a recording
// sink to every output pin, plays, seeks to the middle and plays to the end.
// Playing is bounded by a sample count and a time budget.
int PlayFilter(const uint8_t* pData, size_t cbData);

// Sends the module's debug output nowhere, so fuzzing is not bound by writing it.
void SilenceDebugOutput();

}  // namespace fuzzentry

#endif
