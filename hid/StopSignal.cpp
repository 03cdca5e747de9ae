#include "hid/StopSignal.h"

#include <algorithm>

#include "log/Log.h"

CStopSignal::CStopSignal() : CStopSignal(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CStopSignal::CStopSignal(HANDLE event) : m_event(event) {
  if (!m_event) LogWrite("CreateEvent Fall_%d, plain pauses", static_cast<int>(GetLastError()));
}

void CStopSignal::Set() {
  m_set = true;
  if (m_event) SetEvent(m_event.Get());
}

bool CStopSignal::Pause(DWORD ms, HANDLE wake) {
  if (m_event) {
    HANDLE events[] = {m_event.Get(), wake};
    return WaitForMultipleObjects(wake ? 2 : 1, events, FALSE, ms) == WAIT_OBJECT_0 || m_set;
  }
  const DWORD kSlice = 50;
  for (DWORD slept = 0; (ms == INFINITE || slept < ms) && !m_set; slept += kSlice) {
    if (wake && WaitForSingleObject(wake, 0) == WAIT_OBJECT_0) break;
    Sleep(ms == INFINITE ? kSlice : std::min(kSlice, ms - slept));
  }
  return m_set;
}
