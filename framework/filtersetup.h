// A filter's entries in the filter mapper, from its setup data: what
// IAMovieSetup::Register and Unregister of CBaseFilter do.
#ifndef FRAMEWORK_FILTERSETUP_H
#define FRAMEWORK_FILTERSETUP_H

#include "win32.h"

// Through CLSID_FilterMapper's IFilterMapper, between CoInitializeEx and
// CoUninitialize: UnregisterFilter first; when registering, then
// RegisterFilter, and RegisterPin followed by RegisterPinType for each of
// the pin's media types, pin by pin, stopping at the first failure.
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) counts as success (the mapper's
// answer for a filter it does not know) and is returned as S_OK.
HRESULT RegisterFilterWithMapper(const AMOVIESETUP_FILTER* pSetup, BOOL bRegister);

#endif
