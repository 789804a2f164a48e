#include "amevent.h"

CAMEvent::CAMEvent(BOOL bManualReset) : m_hEvent(CreateEventW(NULL, bManualReset, FALSE, NULL))
{
}

CAMEvent::~CAMEvent()
{
    if (m_hEvent) CloseHandle(m_hEvent);
}

void CAMEvent::Set()
{
    EventModify(m_hEvent, EVENT_SET);
}

void CAMEvent::Reset()
{
    EventModify(m_hEvent, EVENT_RESET);
}

BOOL CAMEvent::Wait(DWORD dwTimeout)
{
    return WaitForSingleObject(m_hEvent, dwTimeout) == WAIT_OBJECT_0 ? TRUE : FALSE;
}
