// CMediaType: an AM_MEDIA_TYPE that owns its format block (COM task memory)
// and copies it deeply, and the free functions DirectShow code uses on plain
// AM_MEDIA_TYPE records.
#ifndef FRAMEWORK_MEDIATYPE_H
#define FRAMEWORK_MEDIATYPE_H

#include "win32.h"

class CMediaType : public AM_MEDIA_TYPE {
public:
    // The empty type: every field zero, fixed-size samples, sample size 1.
    CMediaType();
    CMediaType(const CMediaType& rt);
    // phr, when given, receives E_OUTOFMEMORY if the format block could not
    // be copied; the object is then the empty type.
    explicit CMediaType(const AM_MEDIA_TYPE& rt, HRESULT* phr = NULL);
    ~CMediaType();

    // A failed copy leaves the empty type (IsValid() false); use Set() to
    // learn about it.
    CMediaType& operator=(const CMediaType& rt);
    CMediaType& operator=(const AM_MEDIA_TYPE& rt);
    HRESULT Set(const AM_MEDIA_TYPE& rt);

    // Same major type, subtype, format type and format block (length and bytes).
    bool operator==(const CMediaType& rt) const;
    bool operator!=(const CMediaType& rt) const;

    // Releases the format block and returns to the empty type.
    void InitMediaType();
    BOOL IsValid() const;

    const GUID* Type() const { return &majortype; }
    const GUID* Subtype() const { return &subtype; }
    const GUID* FormatType() const { return &formattype; }
    void SetType(const GUID* pType);
    void SetSubtype(const GUID* pSubtype);
    void SetFormatType(const GUID* pFormatType);

    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }

    // Replaces the format block with a copy of cb bytes (cb 0 removes it).
    // On failure the old block stays and E_OUTOFMEMORY is returned.
    HRESULT SetFormat(const BYTE* pFormat, ULONG cb);
    // A block of cb bytes whose contents are undefined; the old one is freed.
    // Null on failure (the old block then stays) or when cb is 0.
    BYTE* AllocFormatBuffer(ULONG cb);
    // A block of cb bytes keeping the first min(old, new) bytes; any growth is
    // zero-filled. Null on failure (the old block then stays) or when cb is 0.
    BYTE* ReallocFormatBuffer(ULONG cb);
    void ResetFormatBuffer();

private:
    // The two above: the old contents kept (and growth zeroed) or not.
    BYTE* ResizeFormatBuffer(ULONG cb, bool bKeepContents);
};

// Releases the format block and the interface reference; the record itself stays.
void WINAPI FreeMediaType(AM_MEDIA_TYPE& mt);
// FreeMediaType, then frees the record, which must come from CoTaskMemAlloc.
void WINAPI DeleteMediaType(AM_MEDIA_TYPE* pmt);
// Deep copy into an uninitialised record, with a reference of its own on
// pUnk. On E_OUTOFMEMORY the target has every field of the source (and the
// reference) but no format block (cbFormat 0, pbFormat null).
HRESULT WINAPI CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource);
// A deep copy in task memory, for handing to a caller who frees it with
// DeleteMediaType; null on failure.
AM_MEDIA_TYPE* WINAPI CreateMediaType(const AM_MEDIA_TYPE* pSrc);

#endif
