// COM task memory over malloc, with a live-block count for leak checks.
#include <stdlib.h>

#include <atomic>

#include "testhooks.h"

namespace {
std::atomic<long> g_live{0};

LPVOID AllocTaskMem(SIZE_T cb)
{
    void* p = malloc(cb ? cb : 1);
    if (p) ++g_live;
    return p;
}
}  // namespace

extern "C" LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb)
{
    if (platformtest::AllocationShouldFail(__builtin_return_address(0), "CoTaskMemAlloc")) return nullptr;
    return AllocTaskMem(cb);
}

extern "C" LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, SIZE_T cb)
{
    if (cb != 0 && platformtest::AllocationShouldFail(__builtin_return_address(0), "CoTaskMemRealloc")) return nullptr;
    if (!pv) return AllocTaskMem(cb);
    if (cb == 0) {
        CoTaskMemFree(pv);
        return nullptr;
    }
    return realloc(pv, cb);
}

extern "C" void STDAPICALLTYPE CoTaskMemFree(LPVOID pv)
{
    if (!pv) return;
    --g_live;
    free(pv);
}

namespace platformtest {
long CoTaskMemLiveBlocks()
{
    return g_live.load();
}
}  // namespace platformtest
