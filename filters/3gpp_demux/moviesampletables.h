// The sample location tables: sample sizes ("stsz"), sample-to-chunk runs
// ("stsc") and chunk offsets ("stco", "co64"). Each keeps its whole payload
// and reads entries in place. Samples are numbered from 0, chunks from 1 as
// the file numbers them.
#ifndef DEMUX_MOVIESAMPLETABLES_H
#define DEMUX_MOVIESAMPLETABLES_H

#include "moviebox.h"

class CSampleSizeBox : public CBox {
public:
    explicit CSampleSizeBox(const CBox& header);

    HRESULT Parse();
    // 0 when there is no such sample.
    DWORD GetSampleSize(DWORD dwSample) const;
    DWORD GetSampleCount() const { return m_dwSampleCount; }
    // The one size of every sample; 0 when each has its own.
    DWORD GetConstantSize() const { return m_dwSampleSize; }
    // The largest size the table claims, readable or not.
    DWORD GetMaxSampleSize() const { return m_dwMaxSampleSize; }

private:
    DWORD m_dwSampleSize;
    DWORD m_dwSampleCount;
    const BYTE* m_pSizes;
    DWORD m_dwMaxSampleSize;
};

class CSampleToChunkBox : public CBox {
public:
    explicit CSampleToChunkBox(const CBox& header);

    HRESULT Parse();
    // Chunk (1-based) and position within it of a sample; always S_OK. The
    // sample right after the last one asked for is answered in constant time.
    HRESULT GetChunkOfSample(DWORD dwSample, DWORD* pdwChunk, DWORD* pdwIndexInChunk);

private:
    DWORD m_dwEntryCount;
    const BYTE* m_pEntries;
    DWORD m_dwChunk;
    DWORD m_dwIndexInChunk;
    DWORD m_dwLastSample;
    DWORD m_dwEntry;

    DWORD FirstChunk(DWORD dwRun) const;
    DWORD SamplesPerChunk(DWORD dwRun) const;
    void SearchChunkOfSample(DWORD dwSample);
};

class CChunkOffsetBox : public CBox {
public:
    CChunkOffsetBox(const CBox& header, bool b64BitOffsets);

    HRESULT Parse();
    // All ones when the chunk is not in the table.
    ULONGLONG GetChunkOffset(DWORD dwChunk) const;
    bool Uses64BitOffsets() const { return m_b64BitOffsets; }

private:
    bool m_b64BitOffsets;
    DWORD m_dwEntryCount;
    const BYTE* m_pEntries;
};

// True when a payload of cbPayload bytes holds cbFixed bytes plus dwCount
// entries of cbEntry bytes; computed without overflow.
bool MoviePayloadHolds(ULONGLONG cbPayload, ULONGLONG cbFixed, DWORD dwCount, DWORD cbEntry);

#endif
