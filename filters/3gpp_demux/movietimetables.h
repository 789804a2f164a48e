// The sample timing tables, read window by window: decoding time-to-sample
// ("stts"), composition offsets ("ctts") and sync samples ("stss"). Media
// times are unsigned 32-bit values; their arithmetic wraps modulo 2^32.
#ifndef DEMUX_MOVIETIMETABLES_H
#define DEMUX_MOVIETIMETABLES_H

#include "moviebox.h"

const DWORD MOVIE_TABLE_WINDOW = 4096;

class CCompositionTimeToSampleBox : public CWindowedTableBox {
public:
    explicit CCompositionTimeToSampleBox(const CBox& header);

    // Offset of a sample's composition time from its decoding time; 0 past the table.
    DWORD GetCompositionOffset(DWORD dwSample);
};

class CDecodingTimeToSampleBox : public CWindowedTableBox {
public:
    explicit CDecodingTimeToSampleBox(const CBox& header);

    // Decoding time and delta of a sample; S_FALSE (outputs 0) past the table.
    HRESULT GetSampleTimeAndDelta(DWORD dwSample, DWORD* pdwTime, DWORD* pdwDelta);
    // The sample at a media time: the run by composition time, the sample in it by decoding time.
    DWORD GetSampleAtMediaTime(DWORD dwMediaTime);
    // The sum of every sample's delta, in 64 bits; the table ends at a window
    // that cannot be read.
    ULONGLONG GetTotalDuration();
    // The composition offsets that seeks go by; not owned, may be null.
    void SetCompositionTable(CCompositionTimeToSampleBox* pCompositionTime) { m_pCompositionTime = pCompositionTime; }

private:
    DWORD m_dwRunStartTime;
    CCompositionTimeToSampleBox* m_pCompositionTime;

    void Reset();
};

class CSyncSampleBox : public CWindowedTableBox {
public:
    explicit CSyncSampleBox(const CBox& header);

    // The last listed sync sample not after dwSample (0-based), 0 when none.
    DWORD GetSyncSampleAtOrBefore(DWORD dwSample);
};

#endif
