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

bool CStopSignal::Pause(DWORD ms) {
  if (m_event) return WaitForSingleObject(m_event.Get(), ms) == WAIT_OBJECT_0 || m_set;
  const DWORD kSlice = 50;
  for (DWORD slept = 0; slept < ms && !m_set; slept += kSlice) Sleep(std::min(kSlice, ms - slept));
  return m_set;
}
