// The reference-counted object base of every COM object built on the
// framework.
//
// CUnknown implements a non-delegating QueryInterface/AddRef/Release
// (INonDelegatingUnknown). The object's COM interfaces forward their own
// IUnknown methods to the owner (DECLARE_IUNKNOWN): the outer object when
// aggregated, otherwise the object's inner unknown, which calls the
// non-delegating methods. A subclass adds its interfaces by overriding
// NonDelegatingQueryInterface and falling back to the base class.
#ifndef FRAMEWORK_UNKNOWN_H
#define FRAMEWORK_UNKNOWN_H

#include "win32.h"

#define CheckPointer(p, ret)  \
    do {                      \
        if ((p) == NULL) {    \
            return (ret);     \
        }                     \
    } while (0)

struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

// Counts the framework objects alive in the process, so that the module
// can tell whether it may be unloaded.
class CBaseObject {
public:
    // pObjectName is kept as given (not copied); it names the object for debugging.
    explicit CBaseObject(LPCWSTR pObjectName);
    virtual ~CBaseObject();
    static LONG ObjectsActive();

protected:
    LPCWSTR m_pObjectName;

private:
    CBaseObject(const CBaseObject&);
    CBaseObject& operator=(const CBaseObject&);

    static volatile LONG m_cObjects;
};

class CUnknown : public INonDelegatingUnknown, public CBaseObject {
public:
    // pUnk is the outer unknown when the object is aggregated, else NULL.
    CUnknown(LPCWSTR pObjectName, LPUNKNOWN pUnk);
    virtual ~CUnknown();

    // Where the interfaces' IUnknown methods go.
    LPUNKNOWN GetOwner() const { return m_pUnknown; }

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv);
    STDMETHODIMP_(ULONG) NonDelegatingAddRef();
    STDMETHODIMP_(ULONG) NonDelegatingRelease();

protected:
    volatile LONG m_cRef;

private:
    // The object's identity when it is not aggregated, and what an outer
    // object holds when it is: a real IUnknown whose methods are the
    // non-delegating ones.
    class CInnerUnknown : public IUnknown {
    public:
        explicit CInnerUnknown(CUnknown* pOwner) : m_pOwner(pOwner) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv);
        STDMETHODIMP_(ULONG) AddRef();
        STDMETHODIMP_(ULONG) Release();

    private:
        CUnknown* m_pOwner;
    };

    CInnerUnknown m_innerUnknown;
    LPUNKNOWN m_pUnknown;
};

// Stores pUnk in *ppv with a reference added.
HRESULT GetInterface(LPUNKNOWN pUnk, void** ppv);

// The IUnknown methods of a class built on CUnknown, forwarded to the owner.
#define DECLARE_IUNKNOWN                                                                     \
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) { return GetOwner()->QueryInterface(riid, ppv); } \
    STDMETHODIMP_(ULONG) AddRef() { return GetOwner()->AddRef(); }                           \
    STDMETHODIMP_(ULONG) Release() { return GetOwner()->Release(); }

#endif
