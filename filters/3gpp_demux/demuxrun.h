// What the three delivery loops share: the range of samples a run covers,
// and the small steps every loop takes the same way.
#ifndef DEMUX_DEMUXRUN_H
#define DEMUX_DEMUXRUN_H

#include "win32.h"

// Stream time units of one AMR frame: 20 ms.
const REFERENCE_TIME DEMUX_AMR_FRAME_DURATION = 200000;
// At most this many file samples (AAC) or frames (AMR) per media sample.
const DWORD DEMUX_MAX_PACK = 10;

struct DemuxRunRange {
    // The filter's position when the run began: every pin's segment starts
    // here and every stream time is a presentation time less this.
    REFERENCE_TIME rtStart;
    REFERENCE_TIME rtStop;
    DWORD dwFirst;           // first sample: a sync sample at or before rtStart
    DWORD dwLast;            // last sample to deliver
    bool bEmpty;             // nothing to deliver: first > last, or no samples at all
};

// Stamps a media sample carrying [rtStart, rtStart + rtDuration) of the movie
// timeline: stream times relative to the run's start, and preroll exactly
// when the sample ends at or before it (it only leads the decoder there).
// The stream times set are returned through the pointers that are not null.
void DemuxStampSample(IMediaSample* pSample, const DemuxRunRange& range, REFERENCE_TIME rtStart,
                      REFERENCE_TIME rtDuration, REFERENCE_TIME* prtStreamStart = NULL,
                      REFERENCE_TIME* prtStreamStop = NULL);

#endif
