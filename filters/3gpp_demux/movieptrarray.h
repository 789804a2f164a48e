// A growable array of pointers that reports a failed allocation instead of
// throwing. It does not own what it points to.
#ifndef DEMUX_MOVIEPTRARRAY_H
#define DEMUX_MOVIEPTRARRAY_H

#include <new>

#include "win32.h"

template <class T>
class CPtrArray {
public:
    CPtrArray() : m_ppItems(NULL), m_dwCount(0), m_dwCapacity(0) {}
    ~CPtrArray() { delete[] m_ppItems; }

    DWORD size() const { return m_dwCount; }
    bool empty() const { return m_dwCount == 0; }
    // The caller keeps the index below size().
    T* operator[](DWORD dwIndex) const { return m_ppItems[dwIndex]; }

    // E_OUTOFMEMORY leaves the array as it was.
    HRESULT push_back(T* pItem)
    {
        if (m_dwCount == m_dwCapacity) {
            DWORD dwNewCapacity = m_dwCapacity == 0 ? 4 : m_dwCapacity * 2;
            if (dwNewCapacity <= m_dwCapacity) {
                return E_OUTOFMEMORY;
            }
            T** ppNew = new (std::nothrow) T*[dwNewCapacity];
            if (ppNew == NULL) {
                return E_OUTOFMEMORY;
            }
            for (DWORD i = 0; i < m_dwCount; ++i) {
                ppNew[i] = m_ppItems[i];
            }
            delete[] m_ppItems;
            m_ppItems = ppNew;
            m_dwCapacity = dwNewCapacity;
        }
        m_ppItems[m_dwCount++] = pItem;
        return S_OK;
    }

    void clear() { m_dwCount = 0; }

    // Removes the item at dwIndex (below size()); the later ones move down.
    void erase(DWORD dwIndex)
    {
        for (DWORD i = dwIndex + 1; i < m_dwCount; ++i) {
            m_ppItems[i - 1] = m_ppItems[i];
        }
        --m_dwCount;
    }

private:
    T** m_ppItems;
    DWORD m_dwCount;
    DWORD m_dwCapacity;

    CPtrArray(const CPtrArray&);
    CPtrArray& operator=(const CPtrArray&);
};

#endif
