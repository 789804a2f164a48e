// A filter for framework tests: pins whose state hooks log their calls and
// can be made to fail, and that can be marked connected to any peer pin
// without a real connection.
#ifndef TESTS_TESTFILTERS_H
#define TESTS_TESTFILTERS_H

#include <memory>
#include <string>
#include <vector>

#include "basefilter.h"
#include "basepin.h"

class CLoggingPin : public CBasePin {
public:
    CLoggingPin(CBaseFilter* pFilter, CCritSec* pLock, const std::string& name, PIN_DIRECTION dir,
                std::vector<std::string>* pLog);
    ~CLoggingPin() override;

    HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT Run(REFERENCE_TIME tStart) override;

    // Marks the pin connected to pPeer (a reference is held) without any
    // negotiation; null marks it unconnected again.
    void FakeConnect(IPin* pPeer);

    HRESULT m_hrActive = S_OK;
    HRESULT m_hrInactive = S_OK;
    HRESULT m_hrRun = S_OK;

private:
    std::string m_name;
    std::vector<std::string>* m_pLog;
};

class CLoggingFilter : public CBaseFilter {
public:
    // The filter with one reference and cPins pins named "p0", "p1", ...
    static CLoggingFilter* Create(int cPins);

    int GetPinCount() override { return static_cast<int>(m_pins.size()); }
    CBasePin* GetPin(int n) override;
    CLoggingPin* Pin(int n) { return m_pins[static_cast<size_t>(n)].get(); }
    std::vector<std::string>& Log() { return m_log; }

private:
    explicit CLoggingFilter(int cPins);
    CCritSec m_csFilter;
    std::vector<std::string> m_log;
    std::vector<std::unique_ptr<CLoggingPin>> m_pins;
};

#endif
