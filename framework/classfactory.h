// The class factory of a module's COM classes, driven by the module's
// template table (one CFactoryTemplate per class), and the module-wide
// counts that decide whether the module may be unloaded.
#ifndef FRAMEWORK_CLASSFACTORY_H
#define FRAMEWORK_CLASSFACTORY_H

#include "win32.h"
#include "unknown.h"

// Makes a new object, aggregated when pUnkOuter is set. Returns the object
// with no reference held, or NULL; *phr comes in as S_OK and reports failure.
typedef CUnknown*(WINAPI* LPFNNewCOMObject)(LPUNKNOWN pUnkOuter, HRESULT* phr);
// Called with TRUE when the module is attached to a process, FALSE at detach.
typedef void(WINAPI* LPFNInitRoutine)(BOOL bLoading, const CLSID* rclsid);

// One class of a module. An aggregate, so that a module's table is
// constant data.
struct CFactoryTemplate {
    const WCHAR* m_Name;
    const CLSID* m_ClsID;
    LPFNNewCOMObject m_lpfnNew;
    LPFNInitRoutine m_lpfnInit;                   // may be NULL
    const AMOVIESETUP_FILTER* m_pAMovieSetup_Filter;  // may be NULL: nothing for the filter mapper

    BOOL IsClassID(REFCLSID rclsid) const { return IsEqualCLSID(*m_ClsID, rclsid) ? TRUE : FALSE; }
};

// IClassFactory over one template entry. While it exists it counts as a
// live object of the module.
class CClassFactory : public IClassFactory, public CBaseObject {
public:
    explicit CClassFactory(const CFactoryTemplate* pTemplate);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv);
    STDMETHODIMP_(ULONG) AddRef();
    STDMETHODIMP_(ULONG) Release();

    STDMETHODIMP CreateInstance(LPUNKNOWN pUnkOuter, REFIID riid, void** ppv);
    STDMETHODIMP LockServer(BOOL fLock);

    // TRUE while LockServer(TRUE) calls outnumber LockServer(FALSE) calls.
    static BOOL IsLocked();

private:
    CClassFactory(const CClassFactory&);
    CClassFactory& operator=(const CClassFactory&);

    volatile LONG m_cRef;
    const CFactoryTemplate* m_pTemplate;
    static volatile LONG m_cLocked;
};

// What a module's DllGetClassObject and DllCanUnloadNow do.
HRESULT ModuleGetClassObject(const CFactoryTemplate* pTemplates, int cTemplates, REFCLSID rclsid, REFIID riid,
                             void** ppv);
// S_FALSE while the server is locked or any object of the module is alive.
HRESULT ModuleCanUnloadNow();

#endif
