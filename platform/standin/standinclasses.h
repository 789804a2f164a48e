// Creation functions of the COM classes the stand-in run time provides,
// for CoCreateInstance's class table.
#ifndef PLATFORM_STANDIN_STANDINCLASSES_H
#define PLATFORM_STANDIN_STANDINCLASSES_H

#include "win32.h"

// CLSID_MemoryAllocator.
HRESULT CreateStandinMemAllocator(IUnknown* pUnkOuter, REFIID riid, void** ppv);
// CLSID_FilterMapper: IFilterMapper over the registry; not aggregatable.
HRESULT CreateStandinFilterMapper(IUnknown* pUnkOuter, REFIID riid, void** ppv);

#endif
