#include "filtersetup.h"

#include "unknown.h"

namespace {

const HRESULT kNotRegistered = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

bool Succeeded(HRESULT hr)
{
    return SUCCEEDED(hr) || hr == kNotRegistered;
}

const CLSID& OrNull(const CLSID* pClsid)
{
    return pClsid != NULL ? *pClsid : GUID_NULL;
}

HRESULT RegisterPins(IFilterMapper* pMapper, const AMOVIESETUP_FILTER* pSetup)
{
    HRESULT hr = S_OK;
    for (UINT i = 0; i < pSetup->nPins && Succeeded(hr); ++i) {
        const AMOVIESETUP_PIN& pin = pSetup->lpPin[i];
        hr = pMapper->RegisterPin(*pSetup->clsID, pin.strName, pin.bRendered, pin.bOutput, pin.bZero, pin.bMany,
                                  OrNull(pin.clsConnectsToFilter), pin.strConnectsToPin);
        for (UINT j = 0; j < pin.nMediaTypes && Succeeded(hr); ++j) {
            hr = pMapper->RegisterPinType(*pSetup->clsID, pin.strName, OrNull(pin.lpMediaType[j].clsMajorType),
                                          OrNull(pin.lpMediaType[j].clsMinorType));
        }
    }
    return hr;
}

}  // namespace

HRESULT RegisterFilterWithMapper(const AMOVIESETUP_FILTER* pSetup, BOOL bRegister)
{
    CheckPointer(pSetup, E_POINTER);
    HRESULT hrInit = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    IFilterMapper* pMapper = NULL;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper, NULL, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                                  reinterpret_cast<void**>(&pMapper));
    if (SUCCEEDED(hr)) {
        // Registering always starts from a clean slate, so that a pin or
        // type dropped from the setup data does not linger.
        hr = pMapper->UnregisterFilter(*pSetup->clsID);
        if (bRegister) {
            hr = pMapper->RegisterFilter(*pSetup->clsID, pSetup->strName, pSetup->dwMerit);
            if (Succeeded(hr)) hr = RegisterPins(pMapper, pSetup);
        }
        pMapper->Release();
    }
    if (SUCCEEDED(hrInit)) CoUninitialize();
    return hr == kNotRegistered ? S_OK : hr;
}
