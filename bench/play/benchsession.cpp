#include "benchsession.h"

#include "pinfacts.h"
#include "textformat.h"

double SecondsBetween(BenchClock::time_point from, BenchClock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

HRESULT CBenchSession::Open(const std::string& path, bool bLogReads, std::string* pError, bool bReadBytes)
{
    HRESULT hr = m_session.CreateFilter(pError);
    if (FAILED(hr)) return hr;
    BenchClock::time_point tStart = BenchClock::now();
    hr = m_session.OpenFile(path, pError);
    m_dOpenSeconds = SecondsBetween(tStart, BenchClock::now());
    if (FAILED(hr)) return hr;
    m_session.Source()->LogReads(bLogReads);
    SinkOptions options;
    options.bRecordSamples = false;
    if (!bReadBytes) options.onEvent = [](const SinkEvent&, const SampleRecord*, const BYTE*) {};
    return m_session.ConnectSinks(options, pError);
}

Json CBenchSession::PinsJson() const
{
    Json pins = Json::array();
    for (size_t i = 0; i < m_session.SinkCount(); ++i) {
        PinFacts facts = DescribePin(m_session, i);
        const CRecordingSink* pSink = m_session.Sink(i);
        pins.push_back(Json{{"kind", facts.kind},
                            {"file_samples", facts.samples},
                            {"media_samples", pSink->SamplesReceived()},
                            {"bytes", pSink->BytesReceived()}});
    }
    return pins;
}

Json CBenchSession::StreamErrorsJson() const
{
    Json errors = Json::array();
    for (const CHostGraph::Event& event : m_session.Graph()->Events()) {
        if (event.lCode == EC_STREAM_ERROR_STOPPED) errors.push_back(HresultWithName(static_cast<HRESULT>(event.lParam1)));
    }
    return errors;
}
