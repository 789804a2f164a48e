// QueryInterface for the stand-in COM objects that have one interface
// besides IUnknown.
#ifndef PLATFORM_STANDIN_SINGLEINTERFACE_H
#define PLATFORM_STANDIN_SINGLEINTERFACE_H

#include "win32.h"

// *ppv = pObject with a reference added for IUnknown and riidObject;
// E_NOINTERFACE (and *ppv null) for anything else.
template <class TInterface>
HRESULT QuerySingleInterface(TInterface* pObject, REFIID riidObject, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, riidObject)) {
        *ppv = pObject;
        pObject->AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

#endif
