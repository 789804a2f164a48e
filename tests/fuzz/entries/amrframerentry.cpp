#include "fuzzentries.h"

#include <cstdlib>
#include <vector>

#include "amrframer.h"

namespace fuzzentry {

namespace {

// Cuts one sample as the AMR delivery loop does: the caller's count of
// bytes left goes down by what each frame hands back; a cut frame ends the
// sample. A framer that keeps answering without progress is stopped by the
// call cap and reported.
void FrameSample(CAmrFramer* pFramer, const std::vector<BYTE>& sample, UINT uCodec, bool bMagic)
{
    pFramer->Reset();
    pFramer->m_bStreamHeaderDone = bMagic ? FALSE : TRUE;
    // Exactly the room the framer is promised, so a write past it shows.
    std::vector<BYTE> frame(AMR_MAX_FRAME_BYTES);
    WORD cbLeft = static_cast<WORD>(sample.size());
    for (size_t nCalls = 0; cbLeft != 0; ++nCalls) {
        if (nCalls > sample.size()) abort();  // every frame takes at least one byte
        DWORD cbWritten = 0;
        const INT nResult =
            pFramer->GetNextFrame(sample.data(), frame.data(), uCodec, AMR_MODE_STORAGE, &cbWritten, cbLeft);
        if (nResult != AMR_FRAME_DONE) {
            if (cbWritten != 0) abort();
            // Asking again after a cut must not read further either.
            pFramer->GetNextFrame(sample.data(), frame.data(), uCodec, AMR_MODE_STORAGE, &cbWritten, cbLeft);
            break;
        }
        if (cbWritten == 0 || cbWritten > AMR_MAX_FRAME_BYTES || cbWritten > cbLeft) abort();
        cbLeft = static_cast<WORD>(cbLeft - cbWritten);
    }
}

}  // namespace

int FrameAmr(const uint8_t* pData, size_t cbData)
{
    if (cbData < 2) return 0;
    const UINT uCodec = pData[0] & 1 ? AMR_CODEC_WB : AMR_CODEC_NB;
    const bool bMagic = (pData[0] & 2) != 0;
    // Samples of 1 to 256 bytes when chosen, else the whole rest as one.
    const size_t cbSplit = pData[0] & 4 ? static_cast<size_t>(pData[1]) + 1 : 0;
    pData += 2;
    cbData -= 2;
    if (cbData > 0xFFFF) cbData = 0xFFFF;

    CAmrFramer framer;
    size_t pos = 0;
    do {
        size_t cbSample = cbData - pos;
        if (cbSplit != 0 && cbSample > cbSplit) cbSample = cbSplit;
        // A buffer of its own per sample, sized exactly, so reads past it show.
        std::vector<BYTE> sample(pData + pos, pData + pos + cbSample);
        FrameSample(&framer, sample, uCodec, bMagic);
        pos += cbSample;
    } while (pos < cbData);
    // A wrong codec or packing is refused, never read.
    DWORD cbWritten = 1;
    BYTE abFrame[AMR_MAX_FRAME_BYTES];
    if (framer.GetNextFrame(pData, abFrame, 2, AMR_MODE_STORAGE, &cbWritten, 1) != AMR_FRAME_ERROR || cbWritten != 0)
        abort();
    return 0;
}

}  // namespace fuzzentry
