// Movie fragments: the samples that "moof" boxes add after a track's "moov"
// samples. A track keeps one fixed record per run ("trun") of its fragments;
// the per-sample entries stay in the file and are read through one window
// per track, as the time tables are, so memory grows with the number of runs
// (tens of bytes each), never with the number of samples.
#ifndef DEMUX_MOVIEFRAGMENTS_H
#define DEMUX_MOVIEFRAGMENTS_H

#include <new>

#include "win32.h"
#include "bytesource.h"

// "tfhd" flags.
const DWORD TFHD_BASE_DATA_OFFSET = 0x000001;
const DWORD TFHD_DESCRIPTION_INDEX = 0x000002;
const DWORD TFHD_DEFAULT_DURATION = 0x000008;
const DWORD TFHD_DEFAULT_SIZE = 0x000010;
const DWORD TFHD_DEFAULT_FLAGS = 0x000020;
const DWORD TFHD_DURATION_IS_EMPTY = 0x010000;
const DWORD TFHD_BASE_IS_MOOF = 0x020000;

// "trun" flags: which fields the run's header and each of its entries hold.
const DWORD TRUN_DATA_OFFSET = 0x000001;
const DWORD TRUN_FIRST_SAMPLE_FLAGS = 0x000004;
const DWORD TRUN_SAMPLE_DURATION = 0x000100;
const DWORD TRUN_SAMPLE_SIZE = 0x000200;
const DWORD TRUN_SAMPLE_FLAGS = 0x000400;
const DWORD TRUN_COMPOSITION_OFFSET = 0x000800;

// In a sample's flags: set for every sample that is not a sync sample.
const DWORD SAMPLE_FLAG_NON_SYNC = 0x00010000;

// Caps that keep a hostile file of tiny fragments from taking the device's
// memory: a day of half-second fragments stays far below them.
const DWORD MAX_FRAGMENT_RUNS = 0x40000;   // per track: 16 MB of records
const DWORD MAX_MOVIE_FRAGMENTS = 0x80000;  // "moof" boxes: 12 MB of places
// A "moof" up to this size is read in one piece while it is parsed.
const DWORD MAX_CACHED_FRAGMENT = 0x10000;

// No such sample (a sample number; also "no sync sample yet").
const DWORD FRAGMENT_NO_SAMPLE = 0xFFFFFFFF;

// What a sample takes where its run's entry is silent: from "trex", then
// overridden field by field by "tfhd".
struct CSampleDefaults {
    DWORD dwDuration;
    DWORD dwSize;
    DWORD dwFlags;
};

// One "trun" of a track, as kept for the whole play.
struct CFragmentRun {
    ULONGLONG llEntries;   // file position of the first entry
    ULONGLONG llData;      // file position of the first sample's bytes
    ULONGLONG llBaseTime;  // decoding time of the first sample, media units
    ULONGLONG llDuration;  // the samples' durations summed
    DWORD dwFirstSample;   // the track's number of the first sample
    DWORD dwCount;
    DWORD dwRunFlags;
    DWORD dwFirstFlags;    // the first sample's flags, with TRUN_FIRST_SAMPLE_FLAGS
    CSampleDefaults defaults;
    DWORD dwSyncAtEnd;     // the track's last sync sample up to this run's end, or FRAGMENT_NO_SAMPLE
};

// One sample of a run, decoded.
struct CFragmentSample {
    ULONGLONG llPosition;
    ULONGLONG llTime;  // decoding time, media units
    DWORD dwSize;
    DWORD dwDuration;
    DWORD dwFlags;
};

// Makes room for one more record in a growable array of plain records,
// doubling it; E_OUTOFMEMORY leaves the array as it was.
template <class T>
HRESULT GrowRecords(T** ppItems, DWORD dwCount, DWORD* pdwCapacity)
{
    if (dwCount < *pdwCapacity) {
        return S_OK;
    }
    const DWORD dwNewCapacity = *pdwCapacity == 0 ? 16 : *pdwCapacity * 2;
    if (dwNewCapacity <= *pdwCapacity || dwNewCapacity > 0xFFFFFFFF / sizeof(T)) {
        return E_OUTOFMEMORY;
    }
    T* pNew = new (std::nothrow) T[dwNewCapacity];
    if (pNew == NULL) {
        return E_OUTOFMEMORY;
    }
    for (DWORD i = 0; i < dwCount; ++i) {
        pNew[i] = (*ppItems)[i];
    }
    delete[] *ppItems;
    *ppItems = pNew;
    *pdwCapacity = dwNewCapacity;
    return S_OK;
}

// Bytes of one "trun" entry for these run flags.
DWORD FragmentEntrySize(DWORD dwRunFlags);

// A window of up to MOVIE_TABLE_WINDOW file bytes holding run entries.
class CFragmentEntryWindow {
public:
    CFragmentEntryWindow();
    ~CFragmentEntryWindow();

    // The buffer is had once, before any run is read, so that running out of
    // memory is told apart from a run that cannot be read.
    HRESULT Allocate();

    // The cbEntry bytes at llPosition, read with the window that starts there
    // when they are not loaded; the window never reaches llLimit (the end of
    // the run's entries). Null when they cannot be read.
    const BYTE* At(ByteSource* pSource, ULONGLONG llPosition, DWORD cbEntry, ULONGLONG llLimit);

private:
    BYTE* m_pBuffer;
    ULONGLONG m_llStart;
    DWORD m_cbLoaded;

    CFragmentEntryWindow(const CFragmentEntryWindow&);
    CFragmentEntryWindow& operator=(const CFragmentEntryWindow&);
};

// The fragment samples of one track and the lookups over them. Sample numbers
// are the track's: they go on from the "moov" samples.
class CTrackFragments {
public:
    // dwFirstSample and llFirstTime: where the fragments start, after the
    // "moov" samples; dwSyncBefore: the last "moov" sync sample.
    CTrackFragments(ByteSource* pSource, DWORD dwFirstSample, ULONGLONG llFirstTime, DWORD dwSyncBefore);
    ~CTrackFragments();

    HRESULT Allocate() { return m_window.Allocate(); }

    // Completes a run whose header fields are set (entries, data, base time,
    // count, flags, defaults): reads its entries once to sum its durations,
    // find its sync samples and largest sample, and cuts it at the first
    // sample whose bytes lie past the end of the file. E_OUTOFMEMORY leaves
    // the track as it was; S_FALSE when no sample is left. *pllBytes: the
    // bytes of the samples kept.
    // pParseSource reads the entries (the fragment's copy in memory).
    HRESULT AddRun(CFragmentRun* pRun, ULONGLONG* pllBytes, ByteSource* pParseSource);

    DWORD SampleCount() const { return m_dwNextSample - m_dwFirstSample; }
    DWORD FirstSample() const { return m_dwFirstSample; }
    // Decoding time at the end of the last run (where the next one starts
    // when it gives no time of its own).
    ULONGLONG EndTime() const { return m_llEndTime; }
    // Decoding time of the last run's first sample; runs must not start before it.
    ULONGLONG LastRunTime() const;
    DWORD MaxSampleSize() const { return m_cbMaxSample; }

    // dwSample is a track sample number at or after FirstSample().
    HRESULT GetSample(DWORD dwSample, CFragmentSample* pSample);
    // The sample whose decoding time span holds llTime; FRAGMENT_NO_SAMPLE
    // before the first run and past the end.
    DWORD GetSampleAtTime(ULONGLONG llTime);
    // The last sync sample not after dwSample, the "moov" ones included;
    // FRAGMENT_NO_SAMPLE when none.
    DWORD GetSyncAtOrBefore(DWORD dwSample);

    // The track's defaults from "trex"; a track that no "trex" named has none.
    void SetTrexDefaults(const CSampleDefaults& defaults)
    {
        m_trexDefaults = defaults;
        m_bHasDefaults = true;
    }
    const CSampleDefaults& TrexDefaults() const { return m_trexDefaults; }
    bool HasDefaults() const { return m_bHasDefaults; }
    // Track fragments that gave samples.
    void CountFragment() { ++m_dwFragmentCount; }
    DWORD FragmentCount() const { return m_dwFragmentCount; }
    // A run was lost for want of memory: the track would play with a hole,
    // so the movie drops it.
    bool LostRuns() const { return m_bOutOfMemory; }

private:
    CSampleDefaults m_trexDefaults;
    bool m_bHasDefaults;
    DWORD m_dwFragmentCount;
    bool m_bOutOfMemory;

    HRESULT ReadEntry(const CFragmentRun& run, DWORD dwIndex, DWORD* pdwDuration, DWORD* pdwSize, DWORD* pdwFlags,
                      ByteSource* pSource);
    DWORD FindRun(DWORD dwSample) const;
    template <typename T>
    DWORD LastRunAtOrBefore(T CFragmentRun::*pKey, T value) const;
    HRESULT Append(const CFragmentRun& run);

    ByteSource* m_pSource;
    CFragmentRun* m_pRuns;
    DWORD m_dwRunCount;
    DWORD m_dwRunCapacity;
    DWORD m_dwFirstSample;
    DWORD m_dwNextSample;
    ULONGLONG m_llEndTime;
    DWORD m_dwSyncBefore;
    DWORD m_cbMaxSample;
    bool m_bRunsCapped;
    CFragmentEntryWindow m_window;

    // The last sample decoded, so that a walk in order costs one entry each.
    DWORD m_dwCursorRun;
    DWORD m_dwCursorIndex;
    ULONGLONG m_llCursorOffset;
    ULONGLONG m_llCursorTime;

    CTrackFragments(const CTrackFragments&);
    CTrackFragments& operator=(const CTrackFragments&);
};

// Reads inside one span of the file served from a copy in memory, the others
// from the file: a "moof" is read once while its boxes are parsed, instead of
// a dozen small reads of its headers and entries.
class CSpanCache : public ByteSource {
public:
    explicit CSpanCache(ByteSource* pSource);
    virtual ~CSpanCache();

    // Copies the span when it is at most cbMax bytes and memory allows;
    // otherwise every read goes to the file.
    void Load(ULONGLONG llStart, ULONGLONG cbSpan, DWORD cbMax);
    virtual HRESULT Read(LONGLONG llPosition, DWORD dwLength, BYTE* pBuffer);
    virtual LONGLONG Length();

private:
    ByteSource* m_pSource;
    BYTE* m_pSpan;
    ULONGLONG m_llStart;
    DWORD m_cbSpan;

    CSpanCache(const CSpanCache&);
    CSpanCache& operator=(const CSpanCache&);
};

// Where the top-level scan met each "moof": read once the tracks are known.
class CMovieFragmentList {
public:
    CMovieFragmentList();
    ~CMovieFragmentList();

    // E_OUTOFMEMORY drops this fragment only; S_FALSE past MAX_MOVIE_FRAGMENTS.
    HRESULT Add(ULONGLONG llOffset, LONGLONG llSize, DWORD cbHeader);
    DWORD Count() const { return m_dwCount; }
    ULONGLONG Offset(DWORD dwIndex) const { return m_pItems[dwIndex].llOffset; }
    LONGLONG Size(DWORD dwIndex) const { return m_pItems[dwIndex].llSize; }
    DWORD HeaderLength(DWORD dwIndex) const { return m_pItems[dwIndex].cbHeader; }
    void Clear();

private:
    struct CItem {
        ULONGLONG llOffset;
        LONGLONG llSize;
        DWORD cbHeader;
    };
    CItem* m_pItems;
    DWORD m_dwCount;
    DWORD m_dwCapacity;

    CMovieFragmentList(const CMovieFragmentList&);
    CMovieFragmentList& operator=(const CMovieFragmentList&);
};

#endif
