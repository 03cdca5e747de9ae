// Key latency inside one process: from the virtual keyboard writing a report
// to the reader posting message 0x500 (received by a window thread), and to
// the OSD bar being visible, against a bare named-pipe round trip measured
// the same way. Prints one line per figure: "name p50_us p99_us".
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/MyWnd.h"
#include "hid/HidDevice.h"
#include "tests/win/support/OsdTestSupport.h"
#include "tools/vkbd/VirtualKeyboard.h"

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

// The baseline: a message written into a named pipe and taken out by a
// thread that waits on an overlapped read, as the reader does.
std::vector<double> PipeRoundTrips(int count) {
  const wchar_t name[] = L"\\\\.\\pipe\\orvane-latency-baseline";
  HANDLE server = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 4096, 4096, 0,
                                   nullptr);
  HANDLE client = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  std::vector<double> samples;
  std::atomic<bool> received{false};
  LARGE_INTEGER arrived;
  std::thread reader([&] {
    uint8_t buffer[128];
    for (int i = 0; i < count; ++i) {
      HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      OVERLAPPED overlapped = {};
      overlapped.hEvent = event;
      DWORD read = 0;
      if (!ReadFile(client, buffer, sizeof buffer, &read, &overlapped)) {
        WaitForSingleObject(event, INFINITE);
        GetOverlappedResult(client, &overlapped, &read, FALSE);
      }
      CloseHandle(event);
      QueryPerformanceCounter(&arrived);
      received = true;
    }
  });
  uint8_t report[8] = {0x02, 0x00, 0x10};
  for (int i = 0; i < count; ++i) {
    Sleep(5);
    received = false;
    LARGE_INTEGER sent;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD written;
    QueryPerformanceCounter(&sent);
    if (!WriteFile(server, report, sizeof report, nullptr, &overlapped)) {
      GetOverlappedResult(server, &overlapped, &written, TRUE);
    }
    CloseHandle(overlapped.hEvent);
    while (!received) Sleep(0);
    samples.push_back(Microseconds(sent, arrived));
  }
  reader.join();
  CloseHandle(client);
  CloseHandle(server);
  return samples;
}

// Report written by the keyboard to message 0x500 taken from the queue.
std::vector<double> ReportToPost(int count) {
  CVirtualKeyboard keyboard;
  keyboard.Plug();
  std::vector<double> samples;
  std::atomic<HWND> window{nullptr};
  std::atomic<DWORD> receiverId{0};
  std::atomic<int> posted{0};
  LARGE_INTEGER arrived;
  std::thread receiver([&] {
    receiverId = GetCurrentThreadId();
    window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                             nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (msg.message == kKeyEventMessage) {
        QueryPerformanceCounter(&arrived);
        ++posted;
      }
    }
    DestroyWindow(window);
  });
  while (!window) Sleep(1);
  {
    CHidDevice link;
    link.m_hNotifyWnd = window;
    link.bOpenHidDevice();
    link.StartServiceThread();
    Sleep(100);
    for (int i = 0; i < count; ++i) {
      Sleep(20);  // the reader waits on its pending read again
      int before = posted;
      uint8_t key = (i % 2) ? 0x10 : 0x20;  // alternate: every press passes the filter
      LARGE_INTEGER sent;
      QueryPerformanceCounter(&sent);
      keyboard.SendInputReport({0x02, 0x00, key, 0x00});
      while (posted == before) Sleep(0);
      samples.push_back(Microseconds(sent, arrived));
    }
  }
  PostThreadMessageW(receiverId, WM_QUIT, 0, 0);
  receiver.join();
  return samples;
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
  Print("pipe_round_trip", PipeRoundTrips(count));
  Print("report_to_post", ReportToPost(count));
  Print("report_to_visible", ReportToVisible(visibleCount));
  return 0;
}
