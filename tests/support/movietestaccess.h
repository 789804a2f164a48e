// Reaches the state of a track and its sample description that only the
// parser sets: for tests and benchmarks that assemble a track from table
// boxes, or force a state no file can reach.
#ifndef DEMUX_TESTS_MOVIETESTACCESS_H
#define DEMUX_TESTS_MOVIETESTACCESS_H

#include "moviesampledesc.h"
#include "moviesampletables.h"
#include "movietimetables.h"
#include "movietrack.h"

struct MovieTestAccess {
    // The track owns and deletes whatever tables it is given.
    static void SetLocationTables(CMovieTrack& track, CSampleSizeBox* pSizes, CSampleToChunkBox* pChunks,
                                  CChunkOffsetBox* pOffsets)
    {
        track.m_pSampleSize = pSizes;
        track.m_pSampleToChunk = pChunks;
        track.m_pChunkOffset = pOffsets;
    }
    static void SetTimeTables(CMovieTrack& track, DWORD dwTimeScale, LONGLONG llStartOffset,
                              CDecodingTimeToSampleBox* pDecoding, CCompositionTimeToSampleBox* pComposition,
                              CSyncSampleBox* pSync)
    {
        track.m_dwMediaTimeScale = dwTimeScale;
        track.m_llStartOffset = llStartOffset;
        track.m_pDecodingTime = pDecoding;
        track.m_pCompositionTime = pComposition;
        track.m_pSyncSample = pSync;
        pDecoding->SetCompositionTable(pComposition);
    }
    static CSampleDescriptionBox*& SampleDescription(CMovieTrack& track) { return track.m_pSampleDescription; }
    static CMediaType* MediaType(CSampleDescriptionBox& desc) { return desc.m_pMediaType; }
    static void SetStartCode(CSampleDescriptionBox& desc, DWORD dwStartCode) { desc.m_dwStartCode = dwStartCode; }
    static void SetConfigLength(CSampleDescriptionBox& desc, DWORD cbConfig) { desc.m_cbConfig = cbConfig; }
};

#endif
