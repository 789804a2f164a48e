#include "amrframer.h"

#include <string.h>

namespace {

// Storage-format frame sizes in bytes, header byte included, indexed by
// frame type + 16 * codec: the speech bits of each mode (3GPP TS 26.101,
// TS 26.201) rounded up to whole bytes, plus the header byte (RFC 4867,
// section 5). 0 marks the reserved types, which carry no payload either.
const BYTE g_abFrameSize[32] = {
    // AMR-NB: 4.75 ... 12.2 kbit/s, SID, reserved 9-14, NO_DATA
    13, 14, 16, 18, 20, 21, 27, 32, 6, 0, 0, 0, 0, 0, 0, 1,
    // AMR-WB: 6.60 ... 23.85 kbit/s, SID, reserved 10-13, SPEECH_LOST, NO_DATA
    18, 24, 33, 37, 41, 47, 51, 59, 61, 6, 0, 0, 0, 0, 1, 1,
};

const BYTE g_abMagicNb[6] = { '#', '!', 'A', 'M', 'R', '\n' };
const BYTE g_abMagicWb[9] = { '#', '!', 'A', 'M', 'R', '-', 'W', 'B', '\n' };

}  // namespace

CAmrFramer::CAmrFramer()
    : m_bStreamHeaderDone(FALSE),
      m_cbInputLeft(1024),
      m_cbPending(0),
      m_nReadOffset(0),
      m_cbCarry(0),
      m_cbPayload(0),
      m_byFrameHeader(0),
      m_bHeaderInHand(TRUE),
      m_cbUnreported(0)
{
    memset(m_abCarry, 0, sizeof(m_abCarry));
}

void CAmrFramer::Reset()
{
    m_bStreamHeaderDone = FALSE;
    m_cbInputLeft = 1024;
    m_cbPending = 0;
    m_nReadOffset = 0;
    m_cbCarry = 0;
    m_cbPayload = 0;
    m_byFrameHeader = 0;
    m_bHeaderInHand = TRUE;
    m_cbUnreported = 0;
}

// Copies cbWanted bytes of the current part (magic, header byte or payload)
// from pbSource to pbDestination, or, while a part is carried, completes it.
// A part the input ends inside goes to the carry buffer. The read position
// stays where the input ended: the only input is the caller's one buffer,
// so the missing bytes can only come from further on in it, never from its
// start again.
INT CAmrFramer::CopyInput(const BYTE* pbSource, BYTE* pbDestination, WORD* pcbCount,
                          WORD cbWanted)
{
    if (m_cbPending != 0) {
        WORD cbTake = m_cbPending;
        if (cbTake > m_cbInputLeft) {
            // Still not enough input: keep collecting.
            cbTake = m_cbInputLeft;
            memcpy(m_abCarry + m_cbCarry, pbSource, cbTake);
            m_cbCarry = static_cast<WORD>(m_cbCarry + cbTake);
            m_cbPending = static_cast<WORD>(m_cbPending - cbTake);
            m_nReadOffset = static_cast<WORD>(m_nReadOffset + cbTake);
            m_cbInputLeft = 0;
            *pcbCount = 0;
            return AMR_FRAME_CUT;
        }
        memcpy(pbDestination, m_abCarry, m_cbCarry);
        memcpy(pbDestination + m_cbCarry, pbSource, cbTake);
        *pcbCount = static_cast<WORD>(m_cbCarry + cbTake);
        m_nReadOffset = static_cast<WORD>(m_nReadOffset + cbTake);
        m_cbInputLeft = static_cast<WORD>(m_cbInputLeft - cbTake);
        m_cbPending = 0;
        m_cbCarry = 0;
        return AMR_FRAME_DONE;
    }

    if (m_cbInputLeft >= cbWanted) {
        memcpy(pbDestination, pbSource, cbWanted);
        m_cbInputLeft = static_cast<WORD>(m_cbInputLeft - cbWanted);
        m_nReadOffset = static_cast<WORD>(m_nReadOffset + cbWanted);
        *pcbCount = static_cast<WORD>(*pcbCount + cbWanted);
        return AMR_FRAME_DONE;
    }

    memcpy(m_abCarry, pbSource, m_cbInputLeft);
    m_cbCarry = m_cbInputLeft;
    m_cbPending = static_cast<WORD>(cbWanted - m_cbInputLeft);
    m_nReadOffset = static_cast<WORD>(m_nReadOffset + m_cbInputLeft);
    m_cbInputLeft = 0;
    *pcbCount = 0;
    return AMR_FRAME_CUT;
}

INT CAmrFramer::ReadStreamHeader(const BYTE* pbInput, UINT uCodec)
{
    const BYTE* pbMagic = (uCodec == AMR_CODEC_NB) ? g_abMagicNb : g_abMagicWb;
    const WORD cbMagic = static_cast<WORD>((uCodec == AMR_CODEC_NB) ? sizeof(g_abMagicNb)
                                                                    : sizeof(g_abMagicWb));
    BYTE abScratch[sizeof(g_abMagicWb)];
    WORD cbCount = 0;
    INT nResult = CopyInput(pbInput + m_nReadOffset, abScratch, &cbCount, cbMagic);
    if (nResult != AMR_FRAME_DONE) {
        return nResult;
    }
    if (memcmp(abScratch, pbMagic, cbMagic) != 0) {
        return AMR_FRAME_ERROR;
    }
    m_bStreamHeaderDone = TRUE;
    return AMR_FRAME_DONE;
}

INT CAmrFramer::ReadFrame(const BYTE* pbInput, BYTE* pbOutput, UINT uCodec, DWORD* pcbWritten)
{
    WORD cbCount = 0;
    INT nResult;

    if (m_cbPending != 0 && m_bHeaderInHand) {
        // The input ended inside the payload: finish it behind the saved header.
        pbOutput[0] = m_byFrameHeader;
        nResult = CopyInput(pbInput + m_nReadOffset, pbOutput + 1, &cbCount, m_cbPending);
        if (nResult != AMR_FRAME_DONE) {
            return nResult;
        }
        *pcbWritten = static_cast<DWORD>(cbCount) + 1;
        return AMR_FRAME_DONE;
    }

    nResult = CopyInput(pbInput + m_nReadOffset, &m_byFrameHeader, &cbCount, 1);
    if (nResult != AMR_FRAME_DONE) {
        m_bHeaderInHand = FALSE;
        return nResult;
    }
    m_bHeaderInHand = TRUE;

    const UINT uFrameType = (m_byFrameHeader >> 3) & 0x0F;
    const BYTE cbFrame = g_abFrameSize[uFrameType + 16 * uCodec];
    pbOutput[0] = m_byFrameHeader;
    m_cbPayload = static_cast<WORD>(cbFrame != 0 ? cbFrame - 1 : 0);
    if (m_cbPayload == 0) {
        *pcbWritten = 1;
        return AMR_FRAME_DONE;
    }

    cbCount = 0;
    nResult = CopyInput(pbInput + m_nReadOffset, pbOutput + 1, &cbCount, m_cbPayload);
    if (nResult != AMR_FRAME_DONE) {
        return nResult;
    }
    *pcbWritten = static_cast<DWORD>(cbCount) + 1;
    return AMR_FRAME_DONE;
}

INT CAmrFramer::GetNextFrame(const BYTE* pbInput, BYTE* pbOutput, UINT uCodec, UINT uMode,
                             DWORD* pcbWritten, WORD cbInputLeft)
{
    if (pcbWritten == NULL) {
        return AMR_FRAME_ERROR;
    }
    *pcbWritten = 0;
    if (pbInput == NULL || pbOutput == NULL || uCodec > AMR_CODEC_WB ||
        uMode != AMR_MODE_STORAGE) {
        return AMR_FRAME_ERROR;
    }

    // The budget follows the caller's own count of the bytes it has left,
    // on every call, rather than a fixed 1024 after Reset(): every frame
    // that lies inside the caller's buffer then comes out whole and in
    // order, whatever the buffer's length. The caller's count still holds
    // what was taken but not handed back (file magic, a cut frame), so that
    // is deducted; what remains is exactly the input beyond m_nReadOffset.
    // A frame is cut only where the caller's bytes really end, and the
    // 16-bit read position is never allowed to wrap.
    WORD cbAvailable = 0;
    if (cbInputLeft > m_cbUnreported) {
        cbAvailable = static_cast<WORD>(cbInputLeft - m_cbUnreported);
    }
    const WORD cbRoom = static_cast<WORD>(0xFFFF - m_nReadOffset);
    m_cbInputLeft = cbAvailable < cbRoom ? cbAvailable : cbRoom;
    const WORD nOffsetBefore = m_nReadOffset;

    INT nResult = AMR_FRAME_DONE;
    if (!m_bStreamHeaderDone) {
        nResult = ReadStreamHeader(pbInput, uCodec);
    }
    if (nResult == AMR_FRAME_DONE) {
        nResult = ReadFrame(pbInput, pbOutput, uCodec, pcbWritten);
    }

    // Every byte of a finished frame is handed back; taken bytes that were
    // not stay counted until they are.
    const WORD cbTaken = static_cast<WORD>(m_nReadOffset - nOffsetBefore);
    m_cbUnreported = static_cast<WORD>(m_cbUnreported + cbTaken - *pcbWritten);
    return nResult;
}
