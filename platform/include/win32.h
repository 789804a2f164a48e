// The one header the module and the framework include for the operating
// system's names. On Windows the SDK supplies them; elsewhere the stand-ins
// under standin/ do, with Windows' sizes and layouts, so that no source
// outside platform/ needs a platform #ifdef.
#ifndef PLATFORM_WIN32_H
#define PLATFORM_WIN32_H

#if defined(_WIN32)
#include <windows.h>
#include <objbase.h>
#include <strsafe.h>
#include "device/devicekernel.h"
#include "device/deviceregistry.h"
#include <dshow.h>
#include <qnetwork.h>
#include <dvdmedia.h>
#include <mmreg.h>
#include "device/devicemediatypes.h"
#include "amoviesetup.h"
// The loader calls DllMain and the .def file names the exports.
#define MODULE_EXPORT
#define DECLARE_MODULE_ENTRY_POINT(fnDllMain)
#else
#include "standin/basetypes.h"
#include "standin/winerror.h"
#include "standin/guiddef.h"
#include "standin/kernel.h"
#include "standin/strings.h"
#include "standin/sync.h"
#include "standin/objbase.h"
#include "standin/mediatypes.h"
#include "standin/windef.h"
#include "standin/amvideo.h"
#include "standin/dvdmedia.h"
#include "standin/mmreg.h"
#include "standin/uuids.h"
#include "standin/unknwn.h"
#include "standin/comapi.h"
#include "standin/oleauto.h"
#include "standin/vfwmsgs.h"
#include "standin/evcode.h"
#include "standin/strmif.h"
#include "amoviesetup.h"
#include "standin/dshowuuids.h"
#include "standin/qnetwork.h"
#include "standin/winreg.h"
#include "standin/module.h"
#endif

#endif
