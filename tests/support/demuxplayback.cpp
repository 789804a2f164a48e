#include "demuxplayback.h"

#include <gtest/gtest.h>

#include "fixturefacts.h"
#include "movietrack.h"
#include "unknown.h"

DemuxPlayback::DemuxPlayback()
{
    m_lObjectsAtStart = CBaseObject::ObjectsActive();
    m_pGraph = CHostGraph::Create();
    HRESULT hr = E_FAIL;
    m_pDemux = static_cast<CDemuxFilter*>(CDemuxFilter::CreateInstance(nullptr, &hr));
    if (m_pDemux) {
        m_pDemux->AddRef();
        m_pGraph->AddFilter(m_pDemux, L"demux");
    }
}

DemuxPlayback::~DemuxPlayback()
{
    m_pGraph->Clear();
    if (m_pSource) {
        EXPECT_EQ(0u, m_pSource->Release());
    }
    for (CRecordingSink* pSink : m_sinks) EXPECT_EQ(0u, pSink->Release());
    EXPECT_EQ(0u, m_pDemux->Release());
    EXPECT_EQ(0u, m_pGraph->Release());
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
    if (!pSource) return E_OUTOFMEMORY;
    m_pSource = pSource;
    m_pGraph->AddFilter(m_pSource, L"source");
    HRESULT hr = m_pGraph->ConnectDirect(m_pSource->OutputPin(), m_pDemux->GetPin(0), nullptr);
    if (FAILED(hr)) return hr;
    for (int i = 1; i < m_pDemux->GetPinCount(); ++i) {
        CRecordingSink* pSink = CRecordingSink::Create(options);
        if (!pSink) return E_OUTOFMEMORY;
        m_sinks.push_back(pSink);
        m_pGraph->AddFilter(pSink, L"sink");
        hr = ConnectOutput(m_sinks.size() - 1);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT DemuxPlayback::DisconnectInput()
{
    return m_pGraph->DisconnectPair(m_pDemux->GetPin(0));
}

HRESULT DemuxPlayback::ReconnectInput()
{
    HRESULT hr = m_pGraph->ConnectDirect(m_pSource->OutputPin(), m_pDemux->GetPin(0), nullptr);
    if (FAILED(hr)) return hr;
    if (m_pDemux->GetOutputPinCount() != m_sinks.size()) return E_UNEXPECTED;
    for (size_t i = 0; i < m_sinks.size(); ++i) {
        hr = ConnectOutput(i);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT DemuxPlayback::DisconnectOutput(size_t i)
{
    CDemuxOutputPin* pPin = OutputPin(i);
    return pPin ? m_pGraph->DisconnectPair(pPin) : VFW_E_NOT_FOUND;
}

HRESULT DemuxPlayback::ConnectOutput(size_t i)
{
    CDemuxOutputPin* pPin = OutputPin(i);
    if (!pPin || i >= m_sinks.size()) return VFW_E_NOT_FOUND;
    return m_pGraph->ConnectDirect(pPin, m_sinks[i]->InputPin(), nullptr);
}

bool DemuxPlayback::PlayToEnd(long nEndOfStreams, DWORD dwMilliseconds)
{
    if (FAILED(m_pGraph->Pause()) || FAILED(m_pGraph->Run())) return false;
    return WaitForAllEndOfStreams(nEndOfStreams, dwMilliseconds);
}

bool DemuxPlayback::WaitForAllEndOfStreams(long nEndOfStreams, DWORD dwMilliseconds)
{
    for (CRecordingSink* pSink : m_sinks) {
        if (!pSink->WaitForEndOfStream(nEndOfStreams, dwMilliseconds)) return false;
    }
    return true;
}

CDemuxOutputPin* DemuxPlayback::PinOfKind(bool bVideo)
{
    for (size_t i = 0; i < m_sinks.size(); ++i) {
        CDemuxOutputPin* pPin = OutputPin(i);
        if (pPin && (bVideo ? pPin->Track()->IsVideo() : pPin->Track()->IsAudio())) return pPin;
    }
    return nullptr;
}

CRecordingSink* DemuxPlayback::SinkOfKind(bool bVideo)
{
    for (size_t i = 0; i < m_sinks.size(); ++i) {
        CDemuxOutputPin* pPin = OutputPin(i);
        if (pPin && (bVideo ? pPin->Track()->IsVideo() : pPin->Track()->IsAudio())) return m_sinks[i];
    }
    return nullptr;
}

IMediaSeeking* DemuxPlayback::Seeking(size_t i)
{
    IMediaSeeking* pSeeking = nullptr;
    OutputPin(i)->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&pSeeking));
    return pSeeking;
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
