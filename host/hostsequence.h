// One arrival counter for everything the host records (sink records, graph
// events), so that records of different objects can be merged in the order
// they happened.
#ifndef HOST_HOSTSEQUENCE_H
#define HOST_HOSTSEQUENCE_H

#include <atomic>
#include <cstdint>

// The next number, from 1; process-wide and thread-safe.
inline uint64_t NextHostSequence()
{
    static std::atomic<uint64_t> s_nLast{0};
    return ++s_nLast;
}

#endif
