// Key latency inside one process: from the virtual keyboard writing a report
// to message 0x500 taken from a window thread's queue, for the utility's
// reader and for a minimal reader of the same keyboard collection, and to
// the OSD bar being visible. Prints one line per figure: "name p50_us p99_us".
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/MyWnd.h"
#include "fw/UniqueHandle.h"
#include "hid/HidDevice.h"
#include "tests/win/support/OsdTestSupport.h"
#include "tools/vkbd/VirtualKeyboard.h"
#include "tools/vkbd/VkbdProtocol.h"

namespace {

double Microseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return (to.QuadPart - from.QuadPart) * 1e6 / frequency.QuadPart;
}

void Print(const char* name, std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  double p50 = samples[samples.size() / 2];
  double p99 = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
  std::printf("%s %.0f %.0f\n", name, p50, p99);
}

// A window thread that stamps each 0x500 it takes from its queue.
class CReceiver {
 public:
  CReceiver() : m_thread([this] { Run(); }) {
    while (!m_window) Sleep(1);
  }
  ~CReceiver() {
    PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
  }
  CReceiver(const CReceiver&) = delete;
  CReceiver& operator=(const CReceiver&) = delete;

  HWND Window() const { return m_window; }

  // Microseconds from the keyboard sending report to its 0x500 arriving.
  double Time(CVirtualKeyboard& keyboard, const std::vector<uint8_t>& report) {
    int before = m_received;
    LARGE_INTEGER sent;
    QueryPerformanceCounter(&sent);
    keyboard.SendInputReport(report);
    while (m_received == before) Sleep(0);
    return Microseconds(sent, m_arrived);
  }

 private:
  void Run() {
    m_threadId = GetCurrentThreadId();
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    m_window = window;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (msg.message == kKeyEventMessage) {
        QueryPerformanceCounter(&m_arrived);
        ++m_received;
      }
    }
    DestroyWindow(window);
  }

  std::atomic<HWND> m_window{nullptr};
  std::atomic<DWORD> m_threadId{0};
  std::atomic<int> m_received{0};
  LARGE_INTEGER m_arrived = {};
  std::thread m_thread;
};

// Alternate keys, so that every press passes the repeat filter; 20 ms
// apart, so that each finds the reader waiting on its pending read again.
std::vector<double> Presses(CVirtualKeyboard& keyboard, CReceiver& receiver, int count) {
  std::vector<double> samples;
  for (int i = 0; i < count; ++i) {
    Sleep(20);
    uint8_t key = (i % 2) ? 0x10 : 0x20;
    samples.push_back(receiver.Time(keyboard, {0x02, 0x00, key, 0x00}));
  }
  return samples;
}

// The baseline: the least a program can do for the same result. One thread
// opens the keyboard's key collection, asks its query once (the keyboard
// sends reports only then), and loops on one overlapped read, posting 0x500
// for each report.
std::vector<double> MinimalReader(int count) {
  CVirtualKeyboard keyboard;
  keyboard.Plug();
  const std::vector<VirtualCollection>& collections = keyboard.Collections();
  const VirtualCollection& keys = *std::find_if(
      collections.begin(), collections.end(), [](const VirtualCollection& c) { return c.sendsKeys; });
  CFileHandle pipe(CreateFileW(keys.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr);
  CKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.Get();
  DWORD size = 0;
  if (!WriteFile(pipe.Get(), &kVkbdQuery, 1, nullptr, &overlapped)) {
    GetOverlappedResult(pipe.Get(), &overlapped, &size, TRUE);
  }
  uint8_t buffer[kDefaultReadLength];
  if (!ReadFile(pipe.Get(), buffer, sizeof buffer, nullptr, &overlapped)) {
    GetOverlappedResult(pipe.Get(), &overlapped, &size, TRUE);  // the query's answer
  }

  CReceiver receiver;
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop) {
      DWORD read = 0;
      if (!ReadFile(pipe.Get(), buffer, sizeof buffer, nullptr, &overlapped) &&
          GetLastError() != ERROR_IO_PENDING) {
        break;
      }
      if (!GetOverlappedResult(pipe.Get(), &overlapped, &read, TRUE)) break;
      PostMessageW(receiver.Window(), kKeyEventMessage, buffer[2], 0);
    }
  });
  Sleep(100);
  std::vector<double> samples = Presses(keyboard, receiver, count);
  stop = true;
  keyboard.Unplug();  // the pending read fails
  reader.join();
  return samples;
}

// The same through the utility's link and reader thread.
std::vector<double> ReportToPost(int count) {
  CVirtualKeyboard keyboard;
  keyboard.Plug();
  CReceiver receiver;
  CHidDevice link;
  link.m_hNotifyWnd = receiver.Window();
  link.bOpenHidDevice();
  link.StartServiceThread();
  Sleep(100);
  return Presses(keyboard, receiver, count);
}

// Report written by the keyboard to the OSD bar visible, through the whole
// main window (its own thread and message loop, as in the program).
std::vector<double> ReportToVisible(int count) {
  CVirtualKeyboard keyboard;
  keyboard.Plug();
  std::atomic<CMyWnd*> wnd{nullptr};
  std::atomic<DWORD> windowThread{0};
  std::thread owner([&] {
    windowThread = GetCurrentThreadId();
    CMyWnd window;
    window.CreateHiddenWindow();
    window.m_startupStop.Set();  // opened here, not 10 s on
    window.m_usbOpen = window.m_hidDevice.bHidDeviceNotify(window.m_hWnd, &window.m_hDevNotify);
    wnd = &window;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    wnd = nullptr;
  });
  while (!wnd) Sleep(1);
  std::vector<double> samples;
  for (int i = 0; i < count; ++i) {
    SendMessageW(wnd.load()->m_hWnd, WM_TIMER, CMyWnd::kOsdHideTimer, 0);
    while (OsdBarShowing()) Sleep(1);
    Sleep(150);  // past the repeat window
    LARGE_INTEGER sent, shown;
    QueryPerformanceCounter(&sent);
    keyboard.SendInputReport({0x02, 0x00, uint8_t(i % 2 ? 0x10 : 0x20), 0x00});
    while (!OsdBarShowing()) Sleep(0);
    QueryPerformanceCounter(&shown);
    samples.push_back(Microseconds(sent, shown));
  }
  PostThreadMessageW(windowThread, WM_QUIT, 0, 0);
  owner.join();
  return samples;
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 200;
  int visibleCount = argc > 2 ? std::atoi(argv[2]) : 40;
  Print("minimal_reader", MinimalReader(count));
  Print("report_to_post", ReportToPost(count));
  Print("report_to_visible", ReportToVisible(visibleCount));
  return 0;
}
