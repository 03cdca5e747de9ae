// The input-report reader and its start.
#include <algorithm>
#include <iterator>

#include "hid/HidDevice.h"
#include "log/Log.h"

namespace {

// The live reader's results: the report line to the debugger output and the
// log, the event to the main window.
class CReaderSink : public IKeyReportSink {
 public:
  explicit CReaderSink(HWND notifyWindow) : m_notifyWindow(notifyWindow) {}

  void OnReportLine(const char* line) override {
    // Hex digits only: each character widens as it is. On the stack, as the
    // pass allocates nothing.
    wchar_t wide[std::size(ReportLine{}.text)];
    size_t i = 0;
    for (; line[i] && i + 1 < std::size(wide); ++i) wide[i] = static_cast<unsigned char>(line[i]);
    wide[i] = L'\0';
    OutputDebugStringW(wide);
    LogWrite("%S", wide);
  }
  void OnEvent(HotkeyEvent) override {}
  void OnPost(HotkeyEvent event) override {
    PostMessageW(m_notifyWindow, kKeyEventMessage, event, 0);
  }
  void OnLog(const char* message) override { LogWrite("%s", message); }

 private:
  HWND m_notifyWindow;
};

}  // namespace

DWORD WINAPI CHidDevice::ServiceThread(void* device) {
  auto* self = static_cast<CHidDevice*>(device);
  CReaderSink sink(self->m_hNotifyWnd);
  self->RunReader(sink);
  return 0;
}

void CHidDevice::RunReader(IKeyReportSink& sink) {
  // One report per 10 ms at most. A failed read is retried ever less often,
  // up to a second apart: a keyboard that is gone, and not yet told gone,
  // costs one wake-up a second; a passing fault recovers within one.
  const DWORD kPacingMs = 10, kLongestRetryMs = 1000;
  DWORD retryMs = kPacingMs;
  while (!m_stop.IsSet()) {
    uint32_t generation = 0;
    switch (ReadPass(sink, &generation)) {
      case PassResult::kReport:
        retryMs = kPacingMs;
        m_stop.Pause(kPacingMs);
        break;
      case PassResult::kNoHandle:
        retryMs = kPacingMs;
        // Without the event (the system could not make it), it looks again.
        m_stop.Pause(m_inputStored ? INFINITE : kPacingMs, m_inputStored.Get());
        break;
      case PassResult::kFailed: {
        m_stop.Pause(retryMs, m_inputStored.Get());
        std::lock_guard<std::mutex> lock(m_linkMutex);
        // Another handle starts the retries over.
        retryMs = generation != m_inputGeneration ? kPacingMs : std::min(retryMs * 2, kLongestRetryMs);
        break;
      }
      case PassResult::kReplaced:
        retryMs = kPacingMs;  // the next handle, at once
        break;
    }
  }
}

void CHidDevice::RequestStop() {
  m_stop.Set();
  std::lock_guard<std::mutex> lock(m_linkMutex);
  if (m_handleInput) CancelIoEx(m_handleInput.Get(), nullptr);
}

CHidDevice::PassResult CHidDevice::ReadPass(IKeyReportSink& sink, uint32_t* readGeneration) {
  HANDLE input;
  uint32_t generation;
  CKernelHandle event;
  OVERLAPPED overlapped = {};
  DWORD bytesRead = 0;
  bool pending = false;
  {
    // Loading the handle and issuing the read happen under the lock, so the
    // handle cannot be closed (and its value reused) in between.
    std::lock_guard<std::mutex> lock(m_linkMutex);
    input = m_handleInput.Get();
    if (input == INVALID_HANDLE_VALUE || m_stop.IsSet()) return PassResult::kNoHandle;
    generation = *readGeneration = m_inputGeneration;
    event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return PassResult::kFailed;
    overlapped.hEvent = event.Get();
    if (!ReadFile(input, m_readBuffer.get(), m_readLength, &bytesRead, &overlapped)) {
      if (GetLastError() != ERROR_IO_PENDING) return PassResult::kFailed;  // quietly
      pending = true;
    }
  }
  if (pending) {
    WaitForSingleObject(event.Get(), INFINITE);
    std::lock_guard<std::mutex> lock(m_linkMutex);
    // Given up by discovery or the stop while pending: the data, if any,
    // belongs to a handle that is gone.
    if (generation != m_inputGeneration || m_stop.IsSet()) return PassResult::kReplaced;
    GetOverlappedResult(input, &overlapped, &bytesRead, FALSE);
  }
  // Nothing read, as from a device that is gone: a failure, quietly.
  if (bytesRead == 0) return PassResult::kFailed;

  ProcessKeyReport(m_readBuffer.get(), m_readLength,
                   static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(input)), GetTickCount(),
                   m_repeatFilter, sink);
  return PassResult::kReport;
}

HANDLE CHidDevice::TryStartReader() {
  HANDLE thread = m_calls.createThread(ServiceThread, this);
  if (thread) {
    g_hThread = thread;
    m_ownsReaderThread = true;
    LogWrite("ServiceThread g_hThread :%d ", HandleForLog(thread));
  }
  return thread;
}

void CHidDevice::StartServiceThread() {
  if (TryStartReader()) return;
  LogWrite("ServiceThread Fall2_%d", static_cast<int>(GetLastError()));
  bHidCallBackThread();
}

DWORD CHidDevice::bHidCallBackThread() {
  DWORD firstResult = 0;
  int attempts = 0;
  for (;;) {
    LogWrite("bHidCallBackThread_in");
    ++attempts;
    if (TryStartReader()) break;
    DWORD error = GetLastError();
    if (attempts == 1) firstResult = error;
    LogWrite("ServiceThread Fall_%d", static_cast<int>(error));
    // The link object may be going away meanwhile; stop retrying then.
    if (m_stop.Pause(500)) break;
  }
  // Each attempt ends with its own line, the failed ones after the success.
  for (int i = 0; i < attempts; ++i) LogWrite("bHidCallBackThread_end");
  return firstResult;
}
