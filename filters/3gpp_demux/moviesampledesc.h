// The sample description of a track ("stsd"): its one sample entry turned
// into the media type the output pin offers, plus the decoder configuration
// bytes sent ahead of the first video sample and the H.264 start-code switch.
#ifndef DEMUX_MOVIESAMPLEDESC_H
#define DEMUX_MOVIESAMPLEDESC_H

#include "win32.h"
#include "mediatype.h"
#include "moviebox.h"

class CSampleDescriptionBox : public CBox {
public:
    // Takes the header of the generic "stsd" child; nothing is read yet.
    explicit CSampleDescriptionBox(const CBox& header);
    virtual ~CSampleDescriptionBox();

    // Reads the one sample entry. E_FAIL for a malformed or unknown entry,
    // E_UNEXPECTED for H.264 with 3-byte NAL lengths, E_OUTOFMEMORY.
    HRESULT Parse();
    // Deep copy of the media type into pTarget (its old block is released).
    HRESULT GetMediaType(CMediaType* pTarget);
    // Overwrites each 4-byte NAL length in place with m_dwStartCode (big-endian).
    HRESULT RewriteNalLengths(BYTE* pData, DWORD cbData);

    // The parsed type itself; null before a successful parse.
    const CMediaType* MediaType() const { return m_pMediaType; }
    // The decoder configuration bytes, sent ahead of the first video sample.
    const BYTE* GetConfig() const { return m_pConfig; }
    DWORD GetConfigLength() const { return m_cbConfig; }
    // The start code that replaces each NAL length; 0 to leave lengths alone.
    DWORD GetStartCode() const { return m_dwStartCode; }

    // Copies the decoder-specific information out of an "esds" payload
    // (starting at its version and flags) into m_pConfig.
    HRESULT CopyDecoderSpecificInfo(const BYTE* pEsds, int cbEsds);

private:
    friend struct MovieTestAccess;

    HRESULT ParseVisualEntryMjpg(CBox* pEntry);
    HRESULT ParseVisualEntryMp4v(CBox* pEntry);
    HRESULT ParseVisualEntryAvc(CBox* pEntry);
    HRESULT ParseVisualEntryH263(CBox* pEntry);
    HRESULT ParseAudioEntryAmr(CBox* pEntry);
    HRESULT ParseAudioEntryMp4a(CBox* pEntry);

    CMediaType* m_pMediaType;
    BYTE* m_pConfig;
    DWORD m_cbConfig;
    DWORD m_dwStartCode;

    typedef HRESULT (CSampleDescriptionBox::*EntryParser)(CBox* pEntry);
    struct EntryHandler {
        DWORD dwType;
        EntryParser pfnParse;
    };
    static const EntryHandler s_handlers[];

    void FreeConfig();
    // Sets the video major type, the subtype, FORMAT_VideoInfo and the
    // 88-byte header built from the entry's width and height.
    HRESULT ParsePlainVisualEntry(CBox* pEntry, LPCWSTR pwszLabel, const GUID& subtype, const char* pszCompression);
    HRESULT SetVideoInfoType(const GUID& subtype, const char* pszCompression, const BYTE* pPayload);
    // Appends m_pConfig behind the first cbHeader bytes of the format block.
    HRESULT AppendConfigToFormat(ULONG cbHeader);

    CSampleDescriptionBox(const CSampleDescriptionBox&);
    CSampleDescriptionBox& operator=(const CSampleDescriptionBox&);
};

// Reads iCount bits (at most 32) most significant first from pBase at byte
// *pdwBytePos, bit *pdwBitPos (0 = top bit), advancing both positions. The
// caller guarantees the bytes are there.
DWORD ReadBits(const BYTE* pBase, int iCount, DWORD* pdwBytePos, DWORD* pdwBitPos);

// Searches pData from dwStart one byte at a time for either four-character
// code while the position is below cbData - 4; returns the position just past
// the match, or 0 when there is none or nothing follows it inside that bound.
DWORD FindEntryConfigType(const BYTE* pData, DWORD cbData, DWORD dwStart, DWORD dwType1, DWORD dwType2);

#endif
