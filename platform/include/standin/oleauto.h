// Automation types: BSTR and its allocation functions, and IDispatch with
// just enough of VARIANT, DISPPARAMS and EXCEPINFO to declare its methods.
#ifndef PLATFORM_STANDIN_OLEAUTO_H
#define PLATFORM_STANDIN_OLEAUTO_H

#include "basetypes.h"
#include "guiddef.h"
#include "unknwn.h"

// A BSTR points at the characters; a 32-bit byte count sits just before them
// and a zero character follows them.
typedef OLECHAR* BSTR;
typedef DWORD LCID;
typedef LONG DISPID;
typedef LONG SCODE;
typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;

extern "C" {
BSTR WINAPI SysAllocString(const OLECHAR* psz);
BSTR WINAPI SysAllocStringLen(const OLECHAR* pch, UINT cch);
void WINAPI SysFreeString(BSTR bstr);
UINT WINAPI SysStringLen(BSTR bstr);
UINT WINAPI SysStringByteLen(BSTR bstr);
}

struct IDispatch;
struct ITypeInfo;  // only passed by pointer here

#define VT_EMPTY 0
#define VT_I4 3
#define VT_BSTR 8
#define VT_DISPATCH 9
#define VT_UNKNOWN 13

typedef struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        PVOID byref;
    };
} VARIANT;
typedef VARIANT VARIANTARG;

typedef struct tagDISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
} DISPPARAMS;

typedef struct tagEXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(struct tagEXCEPINFO*);
    SCODE scode;
} EXCEPINFO;

// {00020400-0000-0000-C000-000000000046}
DEFINE_GUID(IID_IDispatch, 0x00020400, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

struct IDispatch : public IUnknown {
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) PURE;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) PURE;
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) PURE;
    STDMETHOD(Invoke)(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                      VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) PURE;
};

#endif
