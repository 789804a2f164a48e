// What the three delivery loops share: the range of samples a run covers,
// and the small steps every loop takes the same way.
#ifndef DEMUX_DEMUXRUN_H
#define DEMUX_DEMUXRUN_H

#include "win32.h"

class CDemuxOutputPin;

// Stream time units in one AMR media sample: ten 20-ms frames.
const REFERENCE_TIME DEMUX_AMR_SAMPLE_DURATION = 2000000;
// At most this many file samples (AAC) or frames (AMR) per media sample.
const DWORD DEMUX_MAX_PACK = 10;

struct DemuxRunRange {
    REFERENCE_TIME rtStart;  // the filter's position when the run began
    REFERENCE_TIME rtStop;
    DWORD dwFirst;           // first sample: a sync sample at or before rtStart
    DWORD dwLast;            // last sample to deliver
    bool bEmpty;             // nothing to deliver: first > last, or no samples at all
};

// Run start, first half: reads the positions and decides whether the run
// has anything to do. False when the pin is unconnected or trackless, or
// when the start lies at or past the end and end-of-stream was sent already.
// Otherwise clears the pin's end-of-stream flag.
bool DemuxBeginRun(CDemuxOutputPin* pPin, DemuxRunRange* pRange);

// Run start, second half: the last and first samples of the run.
void DemuxFindRunSamples(CDemuxOutputPin* pPin, DemuxRunRange* pRange);

// Run start of the audio loops, which open the segment at the filter's
// position: both halves with the new segment between them, and end-of-stream
// for an empty run. False when there is nothing to deliver.
bool DemuxBeginAudioRun(CDemuxOutputPin* pPin, DemuxRunRange* pRange);

// Posts the stream-error event for a failed read with its result code.
void DemuxNotifyStreamError(CDemuxOutputPin* pPin, HRESULT hr);

// Stream time arithmetic of the loops: (value) × rate in double precision,
// truncated back to 64 bits. Delivery always runs at rate 1.0.
REFERENCE_TIME DemuxScaleTime(REFERENCE_TIME rtValue);

#endif
