// Base types of the OpenMAX IL 1.1 interface. Every integer type has the
// width the IL defines on every build (the device is ILP32; the host build
// may be LP64, where only pointers grow), so the structures keep their
// 32-bit layout apart from their pointer fields.
#ifndef OMX_TYPES_H
#define OMX_TYPES_H

#include <stddef.h>

#if defined(_WIN32)
#define OMX_APIENTRY __cdecl
#else
#define OMX_APIENTRY
#endif

// Functions the core exports to applications.
#ifndef OMX_API
#ifdef __cplusplus
#define OMX_API extern "C"
#else
#define OMX_API extern
#endif
#endif

#define OMX_IN
#define OMX_OUT
#define OMX_INOUT

#define OMX_ALL 0xFFFFFFFF

typedef unsigned char OMX_U8;
typedef signed char OMX_S8;
typedef unsigned short OMX_U16;
typedef signed short OMX_S16;
typedef unsigned int OMX_U32;
typedef signed int OMX_S32;
typedef unsigned long long OMX_U64;
typedef signed long long OMX_S64;

typedef enum OMX_BOOL {
    OMX_FALSE = 0,
    OMX_TRUE = !OMX_FALSE,
    OMX_BOOL_MAX = 0x7FFFFFFF
} OMX_BOOL;

typedef void* OMX_PTR;
typedef char* OMX_STRING;
typedef unsigned char* OMX_BYTE;
typedef void* OMX_HANDLETYPE;
typedef unsigned char OMX_UUIDTYPE[128];
typedef OMX_S64 OMX_TICKS;
typedef OMX_PTR OMX_NATIVE_DEVICETYPE;
typedef OMX_PTR OMX_NATIVE_WINDOWTYPE;

typedef enum OMX_DIRTYPE {
    OMX_DirInput = 0,
    OMX_DirOutput = 1,
    OMX_DirMax = 0x7FFFFFFF
} OMX_DIRTYPE;

typedef enum OMX_ENDIANTYPE {
    OMX_EndianBig = 0,
    OMX_EndianLittle = 1,
    OMX_EndianMax = 0x7FFFFFFF
} OMX_ENDIANTYPE;

typedef enum OMX_NUMERICALDATATYPE {
    OMX_NumericalDataSigned = 0,
    OMX_NumericalDataUnsigned = 1,
    OMX_NumercialDataMax = 0x7FFFFFFF
} OMX_NUMERICALDATATYPE;

// Version of the IL or of a component; nVersion reads the four bytes as one
// little-endian word, so 1.1.0.0 is 0x00000101.
typedef union OMX_VERSIONTYPE {
    struct {
        OMX_U8 nVersionMajor;
        OMX_U8 nVersionMinor;
        OMX_U8 nRevision;
        OMX_U8 nStep;
    } s;
    OMX_U32 nVersion;
} OMX_VERSIONTYPE;

// The version this build of the interface speaks.
#define OMX_VERSION_MAJOR 1
#define OMX_VERSION_MINOR 1
#define OMX_VERSION_REVISION 0
#define OMX_VERSION_STEP 0
#define OMX_VERSION 0x00000101

// Checks that hold wherever the interface is compiled: an array of negative
// size stops the build (no static_assert in C++03).
#define OMX_LAYOUT_CHECK(name, cond) typedef char name[(cond) ? 1 : -1]

OMX_LAYOUT_CHECK(OMX_CheckU32Size, sizeof(OMX_U32) == 4);
OMX_LAYOUT_CHECK(OMX_CheckS64Size, sizeof(OMX_S64) == 8);
OMX_LAYOUT_CHECK(OMX_CheckBoolSize, sizeof(OMX_BOOL) == 4);
OMX_LAYOUT_CHECK(OMX_CheckVersionSize, sizeof(OMX_VERSIONTYPE) == 4);

#endif
