// Out-of-memory injection: the allocations made by one loaded image (the
// module under test) are counted while armed, and the chosen one fails.
//
// Which allocations count: the platform's allocation calls of these
// stand-ins (task memory, page memory, BSTRs, events, threads) and the
// nothrow operator new of test programs that link platform/standin/nothrownew
// ask AllocationShouldFail with their caller's return address. Only a caller
// whose code lies in the chosen image counts, on whatever thread it runs: the
// module's worker threads allocate during play, and their allocations are the
// module's as much as those of the connecting thread. Allocations by the
// graph, the sinks, the stand-ins themselves and the C++ run time are never
// counted and never fail, so a failure always lands in the module.
#include <dlfcn.h>
#include <link.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "testhooks.h"

namespace {

struct CodeRange {
    uintptr_t lo;
    uintptr_t hi;
};

// Written only while disarmed; the armed flag orders them before any read.
std::vector<CodeRange> g_ranges;
std::mutex g_configLock;
std::atomic<bool> g_armed{false};
std::atomic<long> g_counted{0};
std::atomic<long> g_failAt{0};
std::atomic<bool> g_failed{false};
std::atomic<const char*> g_failedKind{""};

struct FindImage {
    uintptr_t address;
    std::vector<CodeRange> ranges;
};

int CollectIfContains(struct dl_phdr_info* pInfo, size_t, void* pv)
{
    FindImage* pFind = static_cast<FindImage*>(pv);
    bool bContains = false;
    std::vector<CodeRange> code;
    for (ElfW(Half) i = 0; i < pInfo->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = pInfo->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD) continue;
        uintptr_t lo = pInfo->dlpi_addr + ph.p_vaddr;
        uintptr_t hi = lo + ph.p_memsz;
        if (pFind->address >= lo && pFind->address < hi) bContains = true;
        if (ph.p_flags & PF_X) code.push_back({lo, hi});
    }
    if (!bContains) return 0;
    pFind->ranges = code;
    return 1;
}

bool InCountedImage(uintptr_t caller)
{
    for (const CodeRange& r : g_ranges) {
        if (caller >= r.lo && caller < r.hi) return true;
    }
    return false;
}

}  // namespace

namespace platformtest {

bool CountAllocationsOf(const void* pAddress)
{
    std::lock_guard<std::mutex> guard(g_configLock);
    if (g_armed.load()) return false;
    FindImage find{reinterpret_cast<uintptr_t>(pAddress), {}};
    dl_iterate_phdr(CollectIfContains, &find);
    g_ranges = find.ranges;
    return !g_ranges.empty();
}

void ArmAllocationFailure(long n)
{
    std::lock_guard<std::mutex> guard(g_configLock);
    g_counted = 0;
    g_failed = false;
    g_failedKind = "";
    g_failAt = n;
    g_armed = true;
}

long DisarmAllocationFailure()
{
    std::lock_guard<std::mutex> guard(g_configLock);
    g_armed = false;
    return g_counted.load();
}

bool AllocationFailureHit()
{
    return g_failed.load();
}

const char* FailedAllocationKind()
{
    return g_failedKind.load();
}

bool AllocationShouldFail(const void* pCaller, const char* pszKind)
{
    if (!g_armed.load(std::memory_order_acquire)) return false;
    if (!InCountedImage(reinterpret_cast<uintptr_t>(pCaller))) return false;
    long n = ++g_counted;
    if (n != g_failAt.load()) return false;
    g_failedKind = pszKind;
    g_failed = true;
    return true;
}

}  // namespace platformtest
