// A libFuzzer target around one entry of fuzzentries.h, chosen by
// FUZZ_ENTRY at build time.
#include "fuzzentries.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzentry::SilenceDebugOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    return fuzzentry::FUZZ_ENTRY(pData, cbData);
}
