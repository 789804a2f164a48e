#include "fuzzentries.h"

#include "testhooks.h"

namespace fuzzentry {

namespace {
void DiscardText(const WCHAR*, void*) {}
}  // namespace

void SilenceDebugOutput()
{
    platformtest::SetDebugSink(DiscardText, nullptr);
}

}  // namespace fuzzentry
