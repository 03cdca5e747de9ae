// A stop request that a worker thread pauses on between the steps of its
// work. It rests on an event, so a pause ends the moment stop is asked.
// Should the system fail to make the event, pauses become plain sleeps in
// short slices that look at the request, as before the event was used; the
// failure is logged once. Any thread may call.
#pragma once

#include <windows.h>

#include <atomic>

#include "fw/UniqueHandle.h"

class CStopSignal {
 public:
  CStopSignal();
  CStopSignal(const CStopSignal&) = delete;
  CStopSignal& operator=(const CStopSignal&) = delete;

  void Set();
  bool IsSet() const { return m_set; }
  // Pauses for up to ms (INFINITE: without end), or until wake (an event;
  // null: none) is signalled; true when stop was asked, before or during it.
  bool Pause(DWORD ms, HANDLE wake = nullptr);

 protected:
  // The event to rest on; null stands for a failed creation.
  explicit CStopSignal(HANDLE event);

 private:
  CKernelHandle m_event;
  std::atomic<bool> m_set{false};
};
