#include "demuxplayback.h"

#include <gtest/gtest.h>

#include "fixturefacts.h"
#include "movietrack.h"

DemuxPlayback::DemuxPlayback() : m_lObjectsAtStart(CBaseObject::ObjectsActive())
{
    HRESULT hr = E_FAIL;
    m_pDemux = static_cast<CDemuxFilter*>(CDemuxFilter::CreateInstance(nullptr, &hr));
    if (m_pDemux) {
        m_pDemux->AddRef();
        m_graph.SetFilter(m_pDemux);
        m_pDemux->Release();
    }
}

DemuxPlayback::~DemuxPlayback()
{
    EXPECT_TRUE(m_graph.TearDown()) << "an object of the graph was still referenced";
    EXPECT_EQ(m_lObjectsAtStart, CBaseObject::ObjectsActive());
}

HRESULT DemuxPlayback::OpenFixture(const std::string& name, const SinkOptions& options)
{
    return OpenSource(CHostAsyncSource::CreateFromFile(FixturePath(name)), options);
}

HRESULT DemuxPlayback::OpenBytes(std::vector<uint8_t> bytes, const SinkOptions& options)
{
    return OpenSource(CHostAsyncSource::CreateFromMemory(std::move(bytes)), options);
}

HRESULT DemuxPlayback::OpenSource(CHostAsyncSource* pSource, const SinkOptions& options)
{
    HRESULT hr = m_graph.OpenSource(pSource);
    return SUCCEEDED(hr) ? m_graph.ConnectSinks(options) : hr;
}

bool DemuxPlayback::PlayToEnd(long nEndOfStreams, DWORD dwMilliseconds)
{
    return SUCCEEDED(m_graph.Play()) && WaitForAllEndOfStreams(nEndOfStreams, dwMilliseconds);
}

bool DemuxPlayback::WaitForAllEndOfStreams(long nEndOfStreams, DWORD dwMilliseconds)
{
    for (size_t i = 0; i < m_graph.SinkCount(); ++i) {
        if (!m_graph.Sink(i)->WaitForEndOfStream(nEndOfStreams, dwMilliseconds)) return false;
    }
    return true;
}

size_t DemuxPlayback::IndexOfKind(bool bVideo)
{
    for (size_t i = 0; i < OutputPinCount(); ++i) {
        CDemuxOutputPin* pPin = OutputPin(i);
        if (pPin && pPin->Track()->IsOfferedAs(bVideo)) return i;
    }
    return OutputPinCount();
}

CDemuxOutputPin* DemuxPlayback::PinOfKind(bool bVideo)
{
    size_t i = IndexOfKind(bVideo);
    return i < OutputPinCount() ? OutputPin(i) : nullptr;
}

CRecordingSink* DemuxPlayback::SinkOfKind(bool bVideo)
{
    size_t i = IndexOfKind(bVideo);
    return i < OutputPinCount() ? Sink(i) : nullptr;
}

std::vector<uint8_t> LengthsToStartCodes(std::vector<uint8_t> bytes)
{
    size_t pos = 0;
    while (pos + 4 <= bytes.size()) {
        size_t length = (size_t(bytes[pos]) << 24) | (size_t(bytes[pos + 1]) << 16) | (size_t(bytes[pos + 2]) << 8) |
                        bytes[pos + 3];
        bytes[pos] = 0;
        bytes[pos + 1] = 0;
        bytes[pos + 2] = 0;
        bytes[pos + 3] = 1;
        pos += 4 + length;
    }
    return bytes;
}
