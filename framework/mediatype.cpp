// Media types with deeply copied format blocks. A copy also takes its own
// reference on the source's interface pointer, and freeing releases it; no
// media type of this system carries one, but a peer's may.
#include "mediatype.h"

#include <stddef.h>
#include <string.h>

#if defined(__arm__)
// Media types cross to filters built apart from this one: on the device the
// record must have its layout there (size -1 stops the build).
typedef char MediaTypeLayoutCheck[sizeof(AM_MEDIA_TYPE) == 72 && offsetof(AM_MEDIA_TYPE, pUnk) == 60 &&
                                  offsetof(AM_MEDIA_TYPE, cbFormat) == 64 && offsetof(AM_MEDIA_TYPE, pbFormat) == 68
                                  ? 1 : -1];
#endif

namespace {

void SetEmpty(AM_MEDIA_TYPE& mt)
{
    memset(&mt, 0, sizeof(AM_MEDIA_TYPE));
    mt.bFixedSizeSamples = TRUE;
    mt.lSampleSize = 1;
}

}  // namespace

void WINAPI FreeMediaType(AM_MEDIA_TYPE& mt)
{
    if (mt.pbFormat != NULL) {
        CoTaskMemFree(mt.pbFormat);
    }
    mt.pbFormat = NULL;
    mt.cbFormat = 0;
    if (mt.pUnk != NULL) {
        mt.pUnk->Release();
        mt.pUnk = NULL;
    }
}

void WINAPI DeleteMediaType(AM_MEDIA_TYPE* pmt)
{
    if (pmt == NULL) {
        return;
    }
    FreeMediaType(*pmt);
    CoTaskMemFree(pmt);
}

HRESULT WINAPI CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource)
{
    if (pmtTarget == NULL || pmtSource == NULL || pmtTarget == pmtSource) {
        return E_POINTER;
    }
    *pmtTarget = *pmtSource;
    if (pmtTarget->pUnk != NULL) {
        pmtTarget->pUnk->AddRef();
    }
    pmtTarget->pbFormat = NULL;
    pmtTarget->cbFormat = 0;
    if (pmtSource->cbFormat == 0 || pmtSource->pbFormat == NULL) {
        return S_OK;
    }
    BYTE* pFormat = static_cast<BYTE*>(CoTaskMemAlloc(pmtSource->cbFormat));
    if (pFormat == NULL) {
        return E_OUTOFMEMORY;
    }
    memcpy(pFormat, pmtSource->pbFormat, pmtSource->cbFormat);
    pmtTarget->pbFormat = pFormat;
    pmtTarget->cbFormat = pmtSource->cbFormat;
    return S_OK;
}

AM_MEDIA_TYPE* WINAPI CreateMediaType(const AM_MEDIA_TYPE* pSrc)
{
    if (pSrc == NULL) {
        return NULL;
    }
    AM_MEDIA_TYPE* pmt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (pmt == NULL) {
        return NULL;
    }
    if (FAILED(CopyMediaType(pmt, pSrc))) {
        CoTaskMemFree(pmt);
        return NULL;
    }
    return pmt;
}

CMediaType::CMediaType()
{
    SetEmpty(*this);
}

CMediaType::CMediaType(const CMediaType& rt) : AM_MEDIA_TYPE()
{
    SetEmpty(*this);
    Set(rt);
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& rt, HRESULT* phr)
{
    SetEmpty(*this);
    HRESULT hr = Set(rt);
    if (phr != NULL) {
        *phr = hr;
    }
}

CMediaType::~CMediaType()
{
    FreeMediaType(*this);
}

CMediaType& CMediaType::operator=(const CMediaType& rt)
{
    Set(rt);
    return *this;
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& rt)
{
    Set(rt);
    return *this;
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& rt)
{
    if (&rt == static_cast<const AM_MEDIA_TYPE*>(this)) {
        return S_OK;
    }
    FreeMediaType(*this);
    HRESULT hr = CopyMediaType(this, &rt);
    if (FAILED(hr)) {
        // Half a type (GUIDs without their format block) would pass for a
        // complete one; the empty type is plainly invalid instead.
        FreeMediaType(*this);
        SetEmpty(*this);
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

bool CMediaType::operator==(const CMediaType& rt) const
{
    if (!IsEqualGUID(majortype, rt.majortype) || !IsEqualGUID(subtype, rt.subtype) ||
        !IsEqualGUID(formattype, rt.formattype) || cbFormat != rt.cbFormat) {
        return false;
    }
    if (cbFormat == 0) {
        return true;
    }
    if (pbFormat == NULL || rt.pbFormat == NULL) {
        return pbFormat == rt.pbFormat;
    }
    return memcmp(pbFormat, rt.pbFormat, cbFormat) == 0;
}

bool CMediaType::operator!=(const CMediaType& rt) const
{
    return !(*this == rt);
}

void CMediaType::InitMediaType()
{
    FreeMediaType(*this);
    SetEmpty(*this);
}

BOOL CMediaType::IsValid() const
{
    return IsEqualGUID(majortype, GUID_NULL) ? FALSE : TRUE;
}

void CMediaType::SetType(const GUID* pType)
{
    majortype = (pType != NULL) ? *pType : GUID_NULL;
}

void CMediaType::SetSubtype(const GUID* pSubtype)
{
    subtype = (pSubtype != NULL) ? *pSubtype : GUID_NULL;
}

void CMediaType::SetFormatType(const GUID* pFormatType)
{
    formattype = (pFormatType != NULL) ? *pFormatType : GUID_NULL;
}

HRESULT CMediaType::SetFormat(const BYTE* pFormat, ULONG cb)
{
    if (cb == 0) {
        ResetFormatBuffer();
        return S_OK;
    }
    if (pFormat == NULL) {
        return E_POINTER;
    }
    // Copy into a new block before freeing the old: pFormat may point into it.
    BYTE* pNew = static_cast<BYTE*>(CoTaskMemAlloc(cb));
    if (pNew == NULL) {
        return E_OUTOFMEMORY;
    }
    memcpy(pNew, pFormat, cb);
    ResetFormatBuffer();
    pbFormat = pNew;
    cbFormat = cb;
    return S_OK;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG cb)
{
    return ResizeFormatBuffer(cb, false);
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG cb)
{
    return ResizeFormatBuffer(cb, true);
}

BYTE* CMediaType::ResizeFormatBuffer(ULONG cb, bool bKeepContents)
{
    if (cb == 0) {
        ResetFormatBuffer();
        return NULL;
    }
    if (cb == cbFormat && pbFormat != NULL) {
        return pbFormat;
    }
    BYTE* pNew = static_cast<BYTE*>(CoTaskMemAlloc(cb));
    if (pNew == NULL) {
        return NULL;
    }
    if (bKeepContents) {
        ULONG cbKeep = (pbFormat != NULL && cbFormat < cb) ? cbFormat : cb;
        if (pbFormat == NULL) {
            cbKeep = 0;
        }
        if (cbKeep > 0) {
            memcpy(pNew, pbFormat, cbKeep);
        }
        if (cb > cbKeep) {
            memset(pNew + cbKeep, 0, cb - cbKeep);
        }
    }
    ResetFormatBuffer();
    pbFormat = pNew;
    cbFormat = cb;
    return pbFormat;
}

void CMediaType::ResetFormatBuffer()
{
    if (pbFormat != NULL) {
        CoTaskMemFree(pbFormat);
    }
    pbFormat = NULL;
    cbFormat = 0;
}
