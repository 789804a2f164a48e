// One usable video or audio track: its sample tables, its sample
// description, its time scale and duration and its start offset, and the
// sample lookups the delivery threads make.
#ifndef DEMUX_MOVIETRACK_H
#define DEMUX_MOVIETRACK_H

#include "win32.h"
#include "moviebox.h"

class CMovie;
class CSampleSizeBox;
class CSyncSampleBox;
class CSampleToChunkBox;
class CDecodingTimeToSampleBox;
class CCompositionTimeToSampleBox;
class CChunkOffsetBox;
class CSampleDescriptionBox;
class CTrackFragments;

class CMovieTrack {
public:
    explicit CMovieTrack(CMovie* pMovie);
    ~CMovieTrack();

    HRESULT ParseTrack(CBox* pTrak);
    HRESULT ParseEditList(CBox* pEdts);
    HRESULT ParseMedia(CBox* pMdia);
    HRESULT ParseSampleTable(CBox* pStbl);

    // Copies sample dwSample (0-based) into pBuffer. S_FALSE for a missing or
    // empty sample, VFW_E_BUFFER_OVERFLOW when cbBuffer is too small.
    HRESULT ReadSample(DWORD dwSample, BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbSample);
    // Decoding time plus the start offset, and duration, in 100-ns units.
    HRESULT GetSampleTime(DWORD dwSample, REFERENCE_TIME* prtStart, REFERENCE_TIME* prtDuration);
    DWORD GetSampleAtTime(REFERENCE_TIME rtTime);
    DWORD GetSyncSampleAtTime(REFERENCE_TIME rtTime);
    REFERENCE_TIME GetDuration();
    // The size of the largest sample, but no more than the whole stream: a
    // size table may claim samples no file of this length can hold, and
    // buffers sized by the claim would cost memory the device lacks.
    DWORD GetLargestReadableSample();
    // The largest size the sample tables claim, "moov" and fragments alike.
    DWORD GetMaxSampleSize() const;

    // The "moov" samples followed by the fragment samples: the count every
    // user of the track goes by.
    DWORD GetSampleCount() const;
    // 0 when there is no such sample.
    DWORD GetSampleSize(DWORD dwSample);
    // The last sync sample not after dwSample (0 when none; dwSample itself
    // in a track whose every sample is a sync sample).
    DWORD GetSyncSampleAtOrBefore(DWORD dwSample);
    bool IsSyncSample(DWORD dwSample);
    // Track fragments that gave this track samples; 0 for a track without.
    DWORD GetFragmentCount() const;
    // Makes the track ready for fragment samples after its "moov" ones
    // (movietrackfragments.cpp); the defaults are those of its "trex".
    HRESULT BeginFragments();
    // A video (or audio) track with samples: what a demultiplexer offers as
    // a pin, the first such track of each kind whose type it delivers.
    bool IsOfferedAs(bool bVideo) const;

    bool HasFragments() const { return m_pFragments != NULL; }

    // The track's tables, owned by it; null where the file has none.
    CSampleSizeBox* GetSampleSizeBox() const { return m_pSampleSize; }
    CSyncSampleBox* GetSyncSampleBox() const { return m_pSyncSample; }
    CSampleToChunkBox* GetSampleToChunkBox() const { return m_pSampleToChunk; }
    CDecodingTimeToSampleBox* GetDecodingTimeBox() const { return m_pDecodingTime; }
    CCompositionTimeToSampleBox* GetCompositionTimeBox() const { return m_pCompositionTime; }
    CChunkOffsetBox* GetChunkOffsetBox() const { return m_pChunkOffset; }
    CSampleDescriptionBox* GetSampleDescription() const { return m_pSampleDescription; }
    // Null in a movie without "mvex".
    const CTrackFragments* GetFragments() const { return m_pFragments; }

    DWORD GetTrackId() const { return m_dwTrackId; }
    // From "mdhd", in the media time scale.
    ULONGLONG GetMediaDuration() const { return m_llMediaDuration; }
    DWORD GetMediaTimeScale() const { return m_dwMediaTimeScale; }
    // Where the edit list puts the first sample, in 100-ns units.
    LONGLONG GetStartOffset() const { return m_llStartOffset; }
    bool IsUsable() const { return m_bUsable != FALSE; }
    bool IsVideo() const { return m_bVideo != FALSE; }
    bool IsAudio() const { return m_bAudio != FALSE; }

private:
    // The movie's fragment parse finds tracks by their ID and fills their
    // fragments.
    friend class CMovie;
    friend struct MovieTestAccess;

    CSampleSizeBox* m_pSampleSize;
    CSyncSampleBox* m_pSyncSample;
    CSampleToChunkBox* m_pSampleToChunk;
    CDecodingTimeToSampleBox* m_pDecodingTime;
    CCompositionTimeToSampleBox* m_pCompositionTime;
    CChunkOffsetBox* m_pChunkOffset;
    CSampleDescriptionBox* m_pSampleDescription;
    CTrackFragments* m_pFragments;  // owned; null in a movie without "mvex"
    CMovie* m_pMovie;
    DWORD m_dwTrackId;  // from "tkhd"; fragments name their track by it
    ULONGLONG m_llMediaDuration;
    DWORD m_dwMediaTimeScale;
    LONGLONG m_llStartOffset;
    BOOL m_bUsable;
    BOOL m_bVideo;
    BOOL m_bAudio;

    HRESULT ParseLocationTables(CBox* pStbl);
    HRESULT ParseTimeTables(CBox* pStbl);
    HRESULT GetOffsetInChunk(DWORD dwSample, DWORD dwIndexInChunk, ULONGLONG* pllOffset);
    DWORD GetMoovSampleCount() const;
    HRESULT ReadFragmentSample(DWORD dwSample, BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbSample);
    HRESULT ReadSampleBytes(ULONGLONG llPosition, DWORD cbSample, BYTE* pBuffer, DWORD* pcbSample);

    // The offset within its chunk of the last sample read, so that reading
    // the samples of a chunk in order costs one addition each instead of a
    // sum over the chunk.
    DWORD m_dwOffsetSample;
    DWORD m_dwOffsetIndex;
    ULONGLONG m_llOffsetInChunk;

    CMovieTrack(const CMovieTrack&);
    CMovieTrack& operator=(const CMovieTrack&);
};

#endif
