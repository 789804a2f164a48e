// The AMR delivery loop: file samples are cut into storage-format frames
// and repacked ten frames to a media sample, each media sample stamped with
// the time of its first frame for 20 ms a frame it carries.
#include "demuxoutputpin.h"

#include <new>
#include <string.h>

#include "amrframer.h"
#include "demuxfilter.h"
#include "demuxrun.h"
#include "movie.h"
#include "moviereport.h"
#include "moviesampledesc.h"
#include "moviesampletables.h"
#include "movietrack.h"

namespace {

const LPCWSTR kOutputPinSource = L"source\\filters\\3gpp_demux\\demuxoutputpin";
// Device builds report these failures under these source lines.
const int kLineFramerAlloc = 826;
const int kLineBufferAlloc = 837;

// One media sample being filled with frames, and the times they carry. A
// frame that does not fit in the media sample's buffer is held back with
// its time and opens the next media sample, so no buffer is ever overrun,
// however small the allocator made it.
struct FramePacker {
    BYTE abHeld[AMR_MAX_FRAME_BYTES];
    DWORD cbHeld;
    REFERENCE_TIME rtHeld;
    BYTE* pbOut;
    DWORD cbOut;
    DWORD cbWritten;
    REFERENCE_TIME rtFirst;  // time of the first frame written
    DWORD dwFrames;          // frames written

    // False when the frame had to be held back (the media sample is full).
    bool Put(const BYTE* pbFrame, DWORD cbFrame, REFERENCE_TIME rtFrame)
    {
        if (cbFrame > cbOut - cbWritten) {
            memcpy(abHeld, pbFrame, cbFrame);
            cbHeld = cbFrame;
            rtHeld = rtFrame;
            return false;
        }
        memcpy(pbOut + cbWritten, pbFrame, cbFrame);
        if (dwFrames == 0) rtFirst = rtFrame;
        cbWritten += cbFrame;
        ++dwFrames;
        return true;
    }
};

// Reads file sample *pi into the sample buffer, advances *pi and points the
// framer at the new bytes; *prtNext becomes the sample's time, that of its
// first frame (kept when the time cannot be looked up: the frames then
// follow the last one). Samples carry no file magic, so the framer never
// looks for one. An empty sample, or one cut off by the end of the stream
// (S_FALSE), leaves nothing to frame.
HRESULT ReadNextSample(CMovieTrack* pTrack, DWORD* pi, BYTE* pbBuffer, DWORD cbBuffer, CAmrFramer* pFramer,
                       DWORD* pcbLeft, REFERENCE_TIME* prtNext)
{
    DWORD cbRead = 0;
    HRESULT hr = pTrack->ReadSample(*pi, pbBuffer, cbBuffer, &cbRead);
    REFERENCE_TIME rtStart = 0;
    REFERENCE_TIME rtDuration = 0;
    if (SUCCEEDED(hr) && SUCCEEDED(pTrack->GetSampleTime(*pi, &rtStart, &rtDuration))) *prtNext = rtStart;
    ++*pi;
    if (SUCCEEDED(hr)) {
        pFramer->Reset();
        pFramer->m_bStreamHeaderDone = TRUE;
        *pcbLeft = hr == S_OK ? cbRead : 0;
    }
    return hr;
}

}  // namespace

HRESULT CDemuxOutputPin::DeliverAmrFrames()
{
    DemuxRunRange range;
    if (!BeginRun(&range)) return S_OK;

    CAmrFramer* pFramer = new (std::nothrow) CAmrFramer();
    if (pFramer == NULL) {
        DemuxReportError(kOutputPinSource, kLineFramerAlloc, L"ERROR[Demux] Failed to create AMR framer class.\r\n");
        NotifyStreamError(E_OUTOFMEMORY);
        return E_OUTOFMEMORY;
    }
    const DWORD cbMaxSample = m_pTrack->GetLargestReadableSample();
    const DWORD cbConfig = m_pTrack->GetSampleDescription() != NULL ? m_pTrack->GetSampleDescription()->GetConfigLength() : 0;
    // Ten of the largest samples; a size that cannot be represented is
    // treated like a failed allocation.
    const ULONGLONG llBuffer = 10ULL * (static_cast<ULONGLONG>(cbMaxSample) + cbConfig);
    BYTE* pbSampleBuffer = NULL;
    if (llBuffer <= 0x7FFFFFFFULL) pbSampleBuffer = new (std::nothrow) BYTE[llBuffer != 0 ? llBuffer : 1];
    if (pbSampleBuffer == NULL) {
        DemuxReportError(kOutputPinSource, kLineBufferAlloc,
                         L"ERROR[Demux] Failed to allocate memory for AMR sample buffer.\r\n");
        NotifyStreamError(E_OUTOFMEMORY);
        delete pFramer;
        return E_OUTOFMEMORY;
    }
    const DWORD cbSampleBuffer = static_cast<DWORD>(llBuffer);
    const UINT uCodec = (*m_mtTrack.Subtype() == MEDIASUBTYPE_AMR_NB) ? AMR_CODEC_NB : AMR_CODEC_WB;

    IMediaSample* pSample = NULL;
    FramePacker packer;
    packer.cbHeld = 0;
    packer.rtHeld = 0;
    DWORD i = range.dwFirst;
    DWORD cbLeft = 0;  // bytes of the current file sample not yet framed
    REFERENCE_TIME rtNext = 0;  // time of the next frame the framer gives
    bool bEndOfStream = true;

    // Frames left over from the last file sample (more than ten per sample)
    // still go out after the last index has been read.
    while (i <= range.dwLast || cbLeft != 0 || packer.cbHeld != 0) {
        DWORD dwRequest;
        if (m_bIsSeeking.Get() || CheckRequest(&dwRequest)) {
            bEndOfStream = false;
            break;
        }
        if (pSample) {
            pSample->Release();
            pSample = NULL;
        }
        if (GetDeliveryBuffer(&pSample, NULL, NULL, 0) != S_OK) break;
        BYTE* pbOut = NULL;
        pSample->GetPointer(&pbOut);
        const LONG lSize = pSample->GetSize();
        if (m_bIsSeeking.Get() || CheckRequest(&dwRequest)) {
            NKDbgPrintfW(L"[AMR]if(m_bIsSeeking || CheckRequest(&dwRequest)) FAILED \n");
            bEndOfStream = false;
            break;
        }
        packer.pbOut = pbOut;
        packer.cbOut = lSize > 0 ? static_cast<DWORD>(lSize) : 0;
        packer.cbWritten = 0;
        packer.rtFirst = 0;
        packer.dwFrames = 0;

        if (cbLeft == 0 && packer.cbHeld == 0) {
            HRESULT hr = ReadNextSample(m_pTrack, &i, pbSampleBuffer, cbSampleBuffer, pFramer, &cbLeft, &rtNext);
            if (FAILED(hr)) {
                NKDbgPrintfW(L"[AMR]FillSample FAILED......\n");
                break;
            }
        }

        bool bFull = false;
        for (DWORD k = 0; k < DEMUX_MAX_PACK && !bFull; ++k) {
            if (packer.cbHeld != 0) {
                DWORD cbHeld = packer.cbHeld;
                packer.cbHeld = 0;
                BYTE abFrame[AMR_MAX_FRAME_BYTES];
                memcpy(abFrame, packer.abHeld, cbHeld);
                bFull = !packer.Put(abFrame, cbHeld, packer.rtHeld);
            } else if (cbLeft != 0) {
                BYTE abFrame[AMR_MAX_FRAME_BYTES];
                DWORD cbProduced = 0;
                const WORD wLeft = static_cast<WORD>(cbLeft > 0xFFFF ? 0xFFFF : cbLeft);
                pFramer->GetNextFrame(pbSampleBuffer, abFrame, uCodec, AMR_MODE_STORAGE, &cbProduced, wLeft);
                if (cbProduced == 0 || cbProduced > cbLeft) {
                    // The sample ends inside a frame (or holds bytes the framer
                    // cannot reach): its unfinished tail is dropped, never
                    // completed from the next sample's bytes.
                    cbLeft = 0;
                } else {
                    cbLeft -= cbProduced;
                    bFull = !packer.Put(abFrame, cbProduced, rtNext);
                    rtNext = AddWrapping(rtNext, DEMUX_AMR_FRAME_DURATION);
                }
            }
            if (!bFull && k + 1 < DEMUX_MAX_PACK && cbLeft == 0 && packer.cbHeld == 0 && i <= range.dwLast) {
                HRESULT hr = ReadNextSample(m_pTrack, &i, pbSampleBuffer, cbSampleBuffer, pFramer, &cbLeft, &rtNext);
                if (FAILED(hr)) break;
            }
        }
        if (packer.cbWritten == 0 && packer.cbHeld != 0) {
            // Not even one frame fits an empty buffer: nothing can ever be delivered.
            NKDbgPrintfW(L"[AMR]FillSample FAILED......\n");
            break;
        }

        // Empty or unframeable file samples gave nothing to carry.
        if (packer.dwFrames == 0) continue;

        pSample->SetActualDataLength(static_cast<LONG>(packer.cbWritten));
        pSample->SetSyncPoint(TRUE);
        DemuxStampSample(pSample, range, packer.rtFirst, DEMUX_AMR_FRAME_DURATION * packer.dwFrames);
        pSample->SetDiscontinuity(TRUE);
        if (FAILED(DeliverSample(pSample))) {
            NKDbgPrintfW(L"[AMR]DeliverSample FAILED......\n");
            break;
        }
    }

    if (bEndOfStream) DeliverEndOfStream();
    delete pFramer;
    delete[] pbSampleBuffer;
    if (pSample) pSample->Release();
    return S_OK;
}
