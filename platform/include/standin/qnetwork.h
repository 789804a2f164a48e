// IAMMediaContent: the descriptive strings of a media item (title, author
// and the rest) as an automation interface.
#ifndef PLATFORM_STANDIN_QNETWORK_H
#define PLATFORM_STANDIN_QNETWORK_H

#include "oleauto.h"

// {FA2AA8F4-8B62-11D0-A520-000000000000}
DEFINE_GUID(IID_IAMMediaContent, 0xFA2AA8F4, 0x8B62, 0x11D0, 0xA5, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00);

struct IAMMediaContent : public IDispatch {
    STDMETHOD(get_AuthorName)(BSTR* pbstrAuthorName) PURE;
    STDMETHOD(get_Title)(BSTR* pbstrTitle) PURE;
    STDMETHOD(get_Rating)(BSTR* pbstrRating) PURE;
    STDMETHOD(get_Description)(BSTR* pbstrDescription) PURE;
    STDMETHOD(get_Copyright)(BSTR* pbstrCopyright) PURE;
    STDMETHOD(get_BaseURL)(BSTR* pbstrBaseURL) PURE;
    STDMETHOD(get_LogoURL)(BSTR* pbstrLogoURL) PURE;
    STDMETHOD(get_LogoIconURL)(BSTR* pbstrLogoURL) PURE;
    STDMETHOD(get_WatermarkURL)(BSTR* pbstrWatermarkURL) PURE;
    STDMETHOD(get_MoreInfoURL)(BSTR* pbstrMoreInfoURL) PURE;
    STDMETHOD(get_MoreInfoBannerImage)(BSTR* pbstrMoreInfoBannerImage) PURE;
    STDMETHOD(get_MoreInfoBannerURL)(BSTR* pbstrMoreInfoBannerURL) PURE;
    STDMETHOD(get_MoreInfoText)(BSTR* pbstrMoreInfoText) PURE;
};

#endif
