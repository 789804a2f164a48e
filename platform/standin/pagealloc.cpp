// VirtualAlloc/VirtualFree over mmap, counted so that tests can tell which
// allocator served a buffer and that every block went back.
#include <sys/mman.h>

#include <atomic>
#include <mutex>
#include <unordered_map>

#include "testhooks.h"

namespace {
std::atomic<long> g_allocCalls{0};
std::atomic<long> g_freeCalls{0};
std::atomic<long> g_failAfter{0};
std::mutex g_lock;
std::unordered_map<void*, size_t>& Blocks()
{
    static std::unordered_map<void*, size_t> blocks;
    return blocks;
}
thread_local DWORD t_lastError = 0;
}  // namespace

extern "C" LPVOID WINAPI VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect)
{
    ++g_allocCalls;
    long armed = g_failAfter.load();
    if ((armed > 0 && g_failAfter.fetch_sub(1) == 1) ||
        platformtest::AllocationShouldFail(__builtin_return_address(0), "VirtualAlloc")) {
        t_lastError = 8;  // ERROR_NOT_ENOUGH_MEMORY
        return nullptr;
    }
    if (lpAddress != nullptr || dwSize == 0 || !(flAllocationType & MEM_COMMIT) || flProtect != PAGE_READWRITE) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    void* p = mmap(nullptr, dwSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    std::lock_guard<std::mutex> guard(g_lock);
    Blocks()[p] = dwSize;
    return p;
}

extern "C" BOOL WINAPI VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType)
{
    ++g_freeCalls;
    if (dwFreeType != MEM_RELEASE || dwSize != 0) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    size_t length;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        auto it = Blocks().find(lpAddress);
        if (it == Blocks().end()) {
            t_lastError = ERROR_INVALID_PARAMETER;
            return FALSE;
        }
        length = it->second;
        Blocks().erase(it);
    }
    munmap(lpAddress, length);
    return TRUE;
}

extern "C" DWORD WINAPI GetLastError(void)
{
    return t_lastError;
}

extern "C" void WINAPI SetLastError(DWORD dwErrCode)
{
    t_lastError = dwErrCode;
}

namespace platformtest {

VirtualAllocStats GetVirtualAllocStats()
{
    VirtualAllocStats s;
    s.allocCalls = g_allocCalls.load();
    s.freeCalls = g_freeCalls.load();
    std::lock_guard<std::mutex> guard(g_lock);
    s.liveBlocks = static_cast<long>(Blocks().size());
    return s;
}

void ResetVirtualAllocStats()
{
    g_allocCalls = 0;
    g_freeCalls = 0;
}

void FailVirtualAllocAfter(long n)
{
    g_failAfter = n;
}

}  // namespace platformtest
