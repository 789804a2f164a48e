// Movie metadata from the user data. Minimal bodies until the item-list and
// 3GPP asset readers are written: nothing is read, the strings stay absent.
#include "movie.h"

HRESULT CMovie::ParseUserData(CMovie* /*pMovie*/, CBox* /*pUdta*/)
{
    return S_OK;
}

HRESULT CMovie::ParseMetaBox(CBox* /*pMeta*/)
{
    return S_OK;
}

HRESULT CMovie::ParseItemList(CBox* /*pIlst*/)
{
    return S_OK;
}

HRESULT CMovie::ReadItemData(CBox* /*pItem*/, BYTE** ppValue, DWORD* pcbValue)
{
    *ppValue = NULL;
    *pcbValue = 0;
    return E_NOTIMPL;
}

HRESULT CMovie::ParseAssetStrings(CBox* /*pUdta*/)
{
    return S_OK;
}

HRESULT CMovie::ReadAssetString(CBox* /*pAsset*/, BYTE** ppString, DWORD* pcbString)
{
    *ppString = NULL;
    *pcbString = 0;
    return E_NOTIMPL;
}

LPWSTR CMovie::GetGenreName(WORD /*wCode*/)
{
    return NULL;
}

LPCWSTR CMovie::GetMetaString(DWORD dwIndex) const
{
    switch (dwIndex) {
    case 0:
        return m_pwszTitle;
    case 1:
        return m_pwszAlbum;
    case 2:
        return m_pwszAuthor;
    case 3:
        return m_pwszGenre;
    default:
        return NULL;
    }
}

void CMovie::ReleaseMetaData()
{
    delete[] m_pwszTitle;
    delete[] m_pwszAuthor;
    delete[] m_pwszAlbum;
    delete[] m_pwszGenre;
    m_pwszTitle = NULL;
    m_pwszAuthor = NULL;
    m_pwszAlbum = NULL;
    m_pwszGenre = NULL;
}
