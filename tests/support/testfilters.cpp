#include "testfilters.h"

namespace {
// {5E0C7A11-9D3B-4C2E-8F61-7A0B1C2D3E4F}
const CLSID kClsidLoggingFilter = {0x5E0C7A11, 0x9D3B, 0x4C2E, {0x8F, 0x61, 0x7A, 0x0B, 0x1C, 0x2D, 0x3E, 0x4F}};

std::vector<WCHAR> Wide(const std::string& text)
{
    std::vector<WCHAR> w(text.begin(), text.end());
    w.push_back(0);
    return w;
}
}  // namespace

CLoggingPin::CLoggingPin(CBaseFilter* pFilter, CCritSec* pLock, const std::string& name, PIN_DIRECTION dir,
                         std::vector<std::string>* pLog)
    : CBasePin(L"CLoggingPin", pFilter, pLock, nullptr, Wide(name).data(), dir), m_name(name), m_pLog(pLog)
{
}

CLoggingPin::~CLoggingPin()
{
    FakeConnect(nullptr);
}

HRESULT CLoggingPin::Active()
{
    m_pLog->push_back(m_name + ".Active");
    return m_hrActive;
}

HRESULT CLoggingPin::Inactive()
{
    m_pLog->push_back(m_name + ".Inactive");
    return m_hrInactive;
}

HRESULT CLoggingPin::Run(REFERENCE_TIME tStart)
{
    m_pLog->push_back(m_name + ".Run(" + std::to_string(tStart) + ")");
    return m_hrRun;
}

void CLoggingPin::FakeConnect(IPin* pPeer)
{
    if (pPeer) pPeer->AddRef();
    if (m_Connected) m_Connected->Release();
    m_Connected = pPeer;
}

CLoggingFilter::CLoggingFilter(int cPins) : CBaseFilter(L"CLoggingFilter", nullptr, &m_csFilter, kClsidLoggingFilter)
{
    for (int i = 0; i < cPins; ++i) {
        m_pins.push_back(
            std::make_unique<CLoggingPin>(this, &m_csFilter, "p" + std::to_string(i), PINDIR_OUTPUT, &m_log));
    }
}

CLoggingFilter* CLoggingFilter::Create(int cPins)
{
    CLoggingFilter* pFilter = new CLoggingFilter(cPins);
    pFilter->AddRef();
    return pFilter;
}

CBasePin* CLoggingFilter::GetPin(int n)
{
    if (n < 0 || n >= GetPinCount()) return nullptr;
    return m_pins[static_cast<size_t>(n)].get();
}
