// Walks an AMR sample buffer one storage-format frame at a time and copies
// each frame, header byte first, to the caller's output. The AMR delivery
// loop repacks frames ten to a media sample with it. No filter state here.
#ifndef DEMUX_AMRFRAMER_H
#define DEMUX_AMRFRAMER_H

#include "win32.h"

// Results of CAmrFramer::GetNextFrame.
const INT AMR_FRAME_DONE = 0;
const INT AMR_FRAME_ERROR = -1;   // wrong file magic, unknown codec or packing
const INT AMR_FRAME_CUT = -2;     // the input ended inside the frame

// Codec selectors and the one packing this system uses.
const UINT AMR_CODEC_NB = 0;
const UINT AMR_CODEC_WB = 1;
const UINT AMR_MODE_STORAGE = 3;

// Largest storage-format frame (AMR-WB frame type 8), header byte included.
const UINT AMR_MAX_FRAME_BYTES = 61;

class CAmrFramer {
public:
    CAmrFramer();
    ~CAmrFramer() {}

    // Starts a new input buffer; a partly read frame is dropped.
    void Reset();

    // Copies the next frame of pbInput to pbOutput (room for
    // AMR_MAX_FRAME_BYTES). cbInputLeft is the number of input bytes the
    // caller has not yet been handed back through *pcbWritten.
    INT GetNextFrame(const BYTE* pbInput, BYTE* pbOutput, UINT uCodec, UINT uMode,
                     DWORD* pcbWritten, WORD cbInputLeft);

    // Set by the caller when the input carries no file magic ("#!AMR\n").
    BOOL m_bStreamHeaderDone;

private:
    INT CopyInput(const BYTE* pbSource, BYTE* pbDestination, WORD* pcbCount, WORD cbWanted);
    INT ReadStreamHeader(const BYTE* pbInput, UINT uCodec);
    INT ReadFrame(const BYTE* pbInput, BYTE* pbOutput, UINT uCodec, DWORD* pcbWritten);

    BYTE m_abCarry[1024];
    WORD m_cbInputLeft;
    WORD m_cbPending;
    WORD m_nReadOffset;
    WORD m_cbCarry;
    WORD m_cbPayload;
    BYTE m_byFrameHeader;
    BOOL m_bHeaderInHand;
    // Bytes taken from the current input that the caller has not been
    // handed back: the file magic, and the bytes of a frame cut at the end
    // of the input. The caller's count is reduced by them to get the bytes
    // really left at m_nReadOffset.
    WORD m_cbUnreported;

    CAmrFramer(const CAmrFramer&);
    CAmrFramer& operator=(const CAmrFramer&);
};

#endif
