// What a module's DllRegisterServer and DllUnregisterServer do, for the
// classes of its template table: the COM server keys under
// HKEY_CLASSES_ROOT\CLSID, and for each class with setup data its entries in
// the filter mapper, made through the object's own IAMovieSetup.
#ifndef FRAMEWORK_DLLSETUP_H
#define FRAMEWORK_DLLSETUP_H

#include "win32.h"
#include "classfactory.h"

// For each template in order: CLSID\{clsid} (default value the name),
// CLSID\{clsid}\InprocServer32 (default value the module's path from
// g_hInst, "ThreadingModel" "Both"), then IAMovieSetup Unregister and
// Register on a new object of the class. Stops at the first failure and
// returns the result of the last step.
HRESULT ModuleRegisterServer(const CFactoryTemplate* pTemplates, int cTemplates);

// For each template in reverse order: IAMovieSetup Unregister on a new
// object (when the class has setup data; a failure ends here), then
// CLSID\{clsid} and everything below it, which always succeeds.
HRESULT ModuleUnregisterServer(const CFactoryTemplate* pTemplates, int cTemplates);

#endif
