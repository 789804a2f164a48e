#include "fuzzentries.h"

#include <climits>
#include <cstring>
#include <vector>

#include "mediatype.h"
#include "movie.h"
#include "moviesampledesc.h"
#include "moviesampletables.h"
#include "movietrack.h"

namespace fuzzentry {

namespace {

// The bytes as the parser's byte source, answering as a file reader does:
// a read that runs past the end copies what there is and returns S_FALSE.
class BufferSource : public ByteSource {
public:
    BufferSource(const uint8_t* pData, size_t cbData) : m_pData(pData), m_cbData(cbData) {}
    virtual ~BufferSource() {}

    HRESULT Read(LONGLONG llPosition, DWORD dwLength, BYTE* pBuffer) override
    {
        if (llPosition < 0) return E_INVALIDARG;
        if (static_cast<ULONGLONG>(llPosition) >= m_cbData) return S_FALSE;
        const size_t cbThere = m_cbData - static_cast<size_t>(llPosition);
        const size_t cbCopy = dwLength < cbThere ? dwLength : cbThere;
        if (cbCopy != 0) memcpy(pBuffer, m_pData + llPosition, cbCopy);
        return cbCopy == dwLength ? S_OK : S_FALSE;
    }
    LONGLONG Length() override { return static_cast<LONGLONG>(m_cbData); }

private:
    const uint8_t* m_pData;
    size_t m_cbData;
};

// Samples larger than this are read into a buffer this large, which the
// track must refuse without writing past it.
const DWORD kMaxReadBuffer = 1 << 20;

// a + b with the wrap-around of two's complement: the times come from the
// file and may sit at either end of the range.
REFERENCE_TIME Plus(REFERENCE_TIME a, REFERENCE_TIME b)
{
    return static_cast<REFERENCE_TIME>(static_cast<ULONGLONG>(a) + static_cast<ULONGLONG>(b));
}

// One buffer per track, as large as its largest sample (within the cap).
// A read of cbBuffer bytes is given the last cbBuffer bytes of it, so the
// address sanitizer sees any write past what the track was allowed.
struct ReadBuffer {
    std::vector<BYTE> bytes;
    BYTE* Tail(DWORD cbBuffer) { return bytes.data() + (bytes.size() - cbBuffer); }
};

void ExerciseSample(CMovieTrack* pTrack, DWORD dwSample, ReadBuffer* pBuffer)
{
    const DWORD cbMax = static_cast<DWORD>(pBuffer->bytes.size());
    DWORD cbSize = pTrack->GetSampleSize(dwSample);
    if (cbSize > cbMax) cbSize = cbMax;
    DWORD cbSample = 0;
    pTrack->ReadSample(dwSample, pBuffer->Tail(cbSize), cbSize, &cbSample);
    pTrack->ReadSample(dwSample, pBuffer->Tail(cbSize / 2), cbSize / 2, &cbSample);
    REFERENCE_TIME rtStart = 0;
    REFERENCE_TIME rtDuration = 0;
    if (SUCCEEDED(pTrack->GetSampleTime(dwSample, &rtStart, &rtDuration))) {
        pTrack->GetSampleAtTime(rtStart);
        pTrack->GetSyncSampleAtTime(Plus(rtStart, rtDuration / 2));
    }
}

void ExerciseTrack(CMovieTrack* pTrack)
{
    CMediaType mt;
    if (pTrack->GetSampleDescription()) pTrack->GetSampleDescription()->GetMediaType(&mt);

    const DWORD dwCount = pTrack->GetSampleCount();
    DWORD cbMax = pTrack->GetLargestReadableSample();
    if (cbMax > kMaxReadBuffer) cbMax = kMaxReadBuffer;
    ReadBuffer buffer;
    buffer.bytes.resize(cbMax + 1);  // never empty, so Tail(0) is a valid pointer

    // In order first, as the delivery threads read, then a spread that
    // jumps backwards and past the end.
    const DWORD dwInOrder = dwCount < 64 ? dwCount : 64;
    for (DWORD i = 0; i < dwInOrder; ++i) ExerciseSample(pTrack, i, &buffer);
    const DWORD adwSpread[] = {dwCount / 2, dwCount - 1, 0, dwCount / 3, dwCount, dwCount + 1,
                               dwCount - 2, 1, 0x7FFFFFFF, 0xFFFFFFFF};
    for (size_t i = 0; i < sizeof(adwSpread) / sizeof(adwSpread[0]); ++i)
        ExerciseSample(pTrack, adwSpread[i], &buffer);
    // Every 97th sample across the whole track, bounded in number.
    for (DWORD i = 0, n = 0; i < dwCount && n < 256; i += 97, ++n) ExerciseSample(pTrack, i, &buffer);

    const REFERENCE_TIME rtDuration = pTrack->GetDuration();
    const REFERENCE_TIME artTimes[] = {0,          -1,         1,         rtDuration / 3,         rtDuration / 2,
                                       rtDuration, LLONG_MAX,  LLONG_MIN, Plus(rtDuration, -1), Plus(rtDuration, 1)};
    for (size_t i = 0; i < sizeof(artTimes) / sizeof(artTimes[0]); ++i) {
        ExerciseSample(pTrack, pTrack->GetSampleAtTime(artTimes[i]), &buffer);
        ExerciseSample(pTrack, pTrack->GetSyncSampleAtTime(artTimes[i]), &buffer);
    }
}

}  // namespace

int ParseMovie(const uint8_t* pData, size_t cbData)
{
    BufferSource source(pData, cbData);
    CMovie movie(&source);
    if (FAILED(movie.Parse())) return 0;
    movie.GetDuration();
    for (DWORD i = 0; i < movie.GetTracks().size(); ++i) ExerciseTrack(movie.GetTracks()[i]);
    // Every string is read to its end, so a missing terminator shows.
    for (DWORD i = 0; i < 5; ++i) {
        LPCWSTR pwsz = movie.GetMetaString(i);
        while (pwsz && *pwsz) ++pwsz;
    }
    return 0;
}

}  // namespace fuzzentry
