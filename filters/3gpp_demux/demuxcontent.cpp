// IAMMediaContent on CDemuxFilter: the movie's title and author.
#include "demuxfilter.h"

#include "movie.h"

// Under the filter lock: the movie goes away when the input pin disconnects.
HRESULT CDemuxFilter::GetMetaBstr(DWORD dwIndex, BSTR* pbstr)
{
    CheckPointer(pbstr, E_POINTER);
    *pbstr = NULL;
    CAutoLock lock(&m_csFilter);
    LPCWSTR pwsz = m_pMovie != NULL ? m_pMovie->GetMetaString(dwIndex) : NULL;
    if (pwsz == NULL) return VFW_E_NOT_FOUND;
    BSTR bstr = SysAllocString(pwsz);
    if (bstr == NULL) return E_OUTOFMEMORY;
    *pbstr = bstr;
    return S_OK;
}

STDMETHODIMP CDemuxFilter::get_AuthorName(BSTR* pbstrAuthorName)
{
    return GetMetaBstr(META_AUTHOR, pbstrAuthorName);
}

STDMETHODIMP CDemuxFilter::get_Title(BSTR* pbstrTitle)
{
    return GetMetaBstr(META_TITLE, pbstrTitle);
}

STDMETHODIMP CDemuxFilter::GetTypeInfoCount(UINT*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxFilter::GetTypeInfo(UINT, LCID, ITypeInfo**)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxFilter::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxFilter::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxFilter::get_Rating(BSTR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxFilter::get_Description(BSTR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxFilter::get_Copyright(BSTR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxFilter::get_BaseURL(BSTR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxFilter::get_LogoURL(BSTR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxFilter::get_LogoIconURL(BSTR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxFilter::get_WatermarkURL(BSTR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxFilter::get_MoreInfoURL(BSTR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxFilter::get_MoreInfoBannerImage(BSTR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxFilter::get_MoreInfoBannerURL(BSTR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxFilter::get_MoreInfoText(BSTR*)
{
    return E_NOTIMPL;
}
