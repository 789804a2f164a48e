// The nothrow forms of operator new and new[] for test programs, with the
// out-of-memory injection of testhooks.h: the module allocates through
// them, and a test must be able to make any one of its allocations fail.
//
// They must be defined in the program itself: only there do they come
// before the sanitizer run time's own definitions, and a module loaded
// later binds to them as well. Every allocation that is not to fail is
// passed on to the next definition after this program (the C++ run time's,
// or the sanitizers' in their builds), so that each block is still made
// and released by the same allocator and its checks keep working.
#include <dlfcn.h>
#include <stdlib.h>

#include <atomic>
#include <new>

#include "testhooks.h"

namespace {

typedef void* (*PFNNOTHROWNEW)(std::size_t, const std::nothrow_t&);

PFNNOTHROWNEW NextDefinition(const char* pszLp64Name, const char* pszIlp32Name, std::atomic<PFNNOTHROWNEW>* pCache)
{
    PFNNOTHROWNEW pfn = pCache->load(std::memory_order_acquire);
    if (pfn == nullptr) {
        const char* pszName = sizeof(std::size_t) == 8 ? pszLp64Name : pszIlp32Name;
        pfn = reinterpret_cast<PFNNOTHROWNEW>(dlsym(RTLD_NEXT, pszName));
        // Without a run time to pass on to nothing can work; stop at once.
        if (pfn == nullptr) abort();
        pCache->store(pfn, std::memory_order_release);
    }
    return pfn;
}

std::atomic<PFNNOTHROWNEW> g_nextNew{nullptr};
std::atomic<PFNNOTHROWNEW> g_nextNewArray{nullptr};

}  // namespace

void* operator new(std::size_t cb, const std::nothrow_t& tag) noexcept
{
    if (platformtest::AllocationShouldFail(__builtin_return_address(0), "new")) return nullptr;
    return NextDefinition("_ZnwmRKSt9nothrow_t", "_ZnwjRKSt9nothrow_t", &g_nextNew)(cb, tag);
}

void* operator new[](std::size_t cb, const std::nothrow_t& tag) noexcept
{
    if (platformtest::AllocationShouldFail(__builtin_return_address(0), "new[]")) return nullptr;
    return NextDefinition("_ZnamRKSt9nothrow_t", "_ZnajRKSt9nothrow_t", &g_nextNewArray)(cb, tag);
}
