// CEnumBase: what the pin and media type enumerators share. An enumerator
// holds a reference on the object whose items it walks, a position, and the
// object's version when it started or was reset: once the version changes,
// it answers VFW_E_ENUM_OUT_OF_SYNC until Reset. TDerived is the enumerator
// itself and supplies EnumIid() (its interface), OwnerVersion(pOwner), Next
// and Skip.
#ifndef FRAMEWORK_ENUMBASE_H
#define FRAMEWORK_ENUMBASE_H

#include <new>

#include "win32.h"
#include "unknown.h"

template <class TDerived, class TEnum, class TOwner>
class CEnumBase : public CUnknown, public TEnum {
public:
    // A new enumerator with one reference: at the start, or at pSource's
    // position when cloning. *ppEnum is null when memory runs out.
    static HRESULT Create(TOwner* pOwner, const TDerived* pSource, TEnum** ppEnum)
    {
        CheckPointer(ppEnum, E_POINTER);
        TDerived* pEnum = new (std::nothrow) TDerived(pOwner, pSource);
        *ppEnum = pEnum;
        if (pEnum == NULL) return E_OUTOFMEMORY;
        pEnum->AddRef();
        return S_OK;
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv)
    {
        CheckPointer(ppv, E_POINTER);
        if (IsEqualIID(riid, TDerived::EnumIid())) return GetInterface(static_cast<TEnum*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }

    STDMETHODIMP Reset()
    {
        m_lVersion = TDerived::OwnerVersion(m_pOwner);
        m_nPosition = 0;
        return S_OK;
    }

    STDMETHODIMP Clone(TEnum** ppEnum)
    {
        CheckPointer(ppEnum, E_POINTER);
        *ppEnum = NULL;
        if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
        return Create(m_pOwner, static_cast<const TDerived*>(this), ppEnum);
    }

protected:
    CEnumBase(LPCWSTR pName, TOwner* pOwner, const TDerived* pSource)
        : CUnknown(pName, NULL),
          m_pOwner(pOwner),
          m_nPosition(pSource ? Base(pSource)->m_nPosition : 0),
          m_lVersion(pSource ? Base(pSource)->m_lVersion : TDerived::OwnerVersion(pOwner))
    {
        m_pOwner->AddRef();
    }
    virtual ~CEnumBase() { m_pOwner->Release(); }

    bool OutOfSync() const { return TDerived::OwnerVersion(m_pOwner) != m_lVersion; }

    TOwner* m_pOwner;
    int m_nPosition;
    LONG m_lVersion;

private:
    static const CEnumBase* Base(const TDerived* p) { return p; }

    CEnumBase(const CEnumBase&);
    CEnumBase& operator=(const CEnumBase&);
};

#endif
