// Whether a delivered sequence is a clean one with at most one stretch
// left out: what a run that passed over or stopped at a fault may deliver,
// and nothing else (no element added, changed or out of order).
#ifndef TESTS_ONEGAP_H
#define TESTS_ONEGAP_H

#include <vector>

template <class T>
bool IsCleanWithOneGap(const std::vector<T>& got, const std::vector<T>& clean)
{
    if (got.size() > clean.size()) return false;
    size_t head = 0;
    while (head < got.size() && got[head] == clean[head]) ++head;
    size_t tail = 0;
    while (tail < got.size() - head && got[got.size() - 1 - tail] == clean[clean.size() - 1 - tail]) ++tail;
    return head + tail == got.size();
}

#endif
