// Key latency inside one process: from the virtual keyboard writing a report
// to message 0x500 taken from a window thread's queue, and, given the X
// screen's frame buffer file, to the OSD bar's pixels on the screen; for the
// utility and for a minimal program doing the same (one reader of the same
// keyboard collection; a ready window shown). Prints one line per figure:
// "name p50_us p99_us".
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/MyWnd.h"
#include "fw/UniqueHandle.h"
#include "hid/HidDevice.h"
#include "tests/win/support/OsdTestSupport.h"
#include "testbed/vkbd/VirtualKeyboard.h"
#include "tests/win/support/MyWndPeer.h"

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
  std::fflush(stdout);
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
  // The arrival is stamped by the window thread; this one sleeps meanwhile,
  // leaving both cores to the work being timed.
  double Time(CVirtualKeyboard& keyboard, const std::vector<uint8_t>& report) {
    LARGE_INTEGER sent;
    QueryPerformanceCounter(&sent);
    keyboard.SendInputReport(report);
    WaitForSingleObject(m_arrival.Get(), INFINITE);
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
        SetEvent(m_arrival.Get());
      }
    }
    DestroyWindow(window);
  }

  std::atomic<HWND> m_window{nullptr};
  std::atomic<DWORD> m_threadId{0};
  CKernelHandle m_arrival{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
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
// opens the keyboard's key collection by its known path and loops on one
// overlapped read, posting 0x500 to a window for each report.
class CMinimalReader {
 public:
  CMinimalReader(CVirtualKeyboard& keyboard, HWND window) : m_keyboard(keyboard) {
    std::vector<VirtualCollection> collections = keyboard.Collections();
    const VirtualCollection& keys = *std::find_if(collections.begin(), collections.end(),
                                                  [](const VirtualCollection& c) { return c.sendsKeys; });
    m_device.Reset(CreateFileW(keys.path.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr));
    m_overlapped.hEvent = m_event.Get();
    m_thread = std::thread([this, window] {
      while (Transfer(ReadFile(m_device.Get(), m_buffer, sizeof m_buffer, nullptr, &m_overlapped))) {
        PostMessageW(window, kKeyEventMessage, m_buffer[2], 0);
      }
    });
    Sleep(100);  // the first read is pending
  }
  ~CMinimalReader() {
    m_keyboard.Unplug();  // the pending read fails
    m_thread.join();
  }
  CMinimalReader(const CMinimalReader&) = delete;
  CMinimalReader& operator=(const CMinimalReader&) = delete;

 private:
  bool Transfer(BOOL started) {
    DWORD size = 0;
    return (started || GetLastError() == ERROR_IO_PENDING) &&
           GetOverlappedResult(m_device.Get(), &m_overlapped, &size, TRUE);
  }

  CVirtualKeyboard& m_keyboard;
  CFileHandle m_device;
  CKernelHandle m_event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  OVERLAPPED m_overlapped = {};
  uint8_t m_buffer[kDefaultReadLength] = {};
  std::thread m_thread;
};

std::vector<double> MinimalReader(int count) {
  CVirtualKeyboard keyboard;
  keyboard.Plug();
  CReceiver receiver;
  CMinimalReader reader(keyboard, receiver.Window());
  return Presses(keyboard, receiver, count);
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

// One row of the X screen's pixels, across the middle of where the bar shows
// (osd/WTOSD.cpp: 75 px square, centred, 86 px above the bottom), read from
// the frame buffer file of the virtual screen (an XWD image that Xvfb
// -fbdir keeps as it draws) through Wine's drive Z:.
class CScreenRow {
 public:
  explicit CScreenRow(const std::string& path)
      : m_file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr)) {
    uint32_t header[20] = {};  // big-endian 32-bit fields
    ReadAt(0, header, sizeof header);
    auto field = [&header](int i) { return __builtin_bswap32(header[i]); };
    const uint32_t kBar = 75, kBottomMargin = 86;
    uint32_t width = field(4), height = field(5), bytesPerPixel = field(11) / 8;
    uint32_t pixels = field(0) + field(19) * 12;  // past the header and its colour table
    m_offset = pixels + (height - kBottomMargin - kBar / 2) * field(12) +
               (width - kBar) / 2 * bytesPerPixel;
    m_row.resize(kBar * bytesPerPixel);
  }

  const std::vector<uint8_t>& Read() {
    ReadAt(m_offset, m_row.data(), static_cast<DWORD>(m_row.size()));
    return m_row;
  }

 private:
  void ReadAt(DWORD offset, void* data, DWORD size) {
    OVERLAPPED at = {};
    at.Offset = offset;
    DWORD read = 0;
    ReadFile(m_file.Get(), data, size, &read, &at);
  }

  CFileHandle m_file;
  DWORD m_offset = 0;
  std::vector<uint8_t> m_row;
};

// Presses that each show a bar, timed from the report to the bar's pixels
// on the screen. hide takes the bar down; before each press the row is
// back to the empty screen's.
template <typename Hide>
std::vector<double> PressesToPixels(CVirtualKeyboard& keyboard, CScreenRow& row, int count,
                                    Hide hide) {
  const std::vector<uint8_t> empty = row.Read();
  std::vector<double> samples;
  for (int i = 0; i < count; ++i) {
    hide();
    while (row.Read() != empty) Sleep(1);
    Sleep(150);  // past the repeat window
    LARGE_INTEGER sent, shown;
    QueryPerformanceCounter(&sent);
    keyboard.SendInputReport({0x02, 0x00, uint8_t(i % 2 ? 0x10 : 0x20), 0x00});
    // Polled each millisecond: a busy loop here would hold one of the
    // machine's cores from the drawing being timed.
    while (row.Read() == empty) Sleep(1);
    QueryPerformanceCounter(&shown);
    samples.push_back(Microseconds(sent, shown));
  }
  return samples;
}

// The baseline's screen: a window thread that shows a ready-made 75 px
// grey square where the bar shows, for each 0x500.
class CMinimalBar {
 public:
  CMinimalBar() : m_thread([this] { Run(); }) {
    while (!m_window) Sleep(1);
  }
  ~CMinimalBar() {
    PostMessageW(m_window, WM_CLOSE, 0, 0);
    m_thread.join();
  }
  CMinimalBar(const CMinimalBar&) = delete;
  CMinimalBar& operator=(const CMinimalBar&) = delete;

  HWND Window() const { return m_window; }
  void Hide() { ShowWindow(m_window, SW_HIDE); }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kKeyEventMessage) ShowWindow(window, SW_SHOWNOACTIVATE);
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
  }

  void Run() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = L"OrvaneLatencyMinimalBar";
    RegisterClassW(&wc);
    const int kBar = 75, kBottomMargin = 86;
    m_window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
                               wc.lpszClassName, L"", WS_POPUP,
                               (GetSystemMetrics(SM_CXSCREEN) - kBar) / 2,
                               GetSystemMetrics(SM_CYSCREEN) - kBar - kBottomMargin, kBar, kBar,
                               nullptr, nullptr, nullptr, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  }

  std::atomic<HWND> m_window{nullptr};
  std::thread m_thread;
};

std::vector<double> MinimalToPixels(int count, CScreenRow& row) {
  CVirtualKeyboard keyboard;
  keyboard.Plug();
  CMinimalBar bar;
  CMinimalReader reader(keyboard, bar.Window());
  return PressesToPixels(keyboard, row, count, [&bar] { bar.Hide(); });
}

// The utility's main window on its own thread with its message loop, as in
// the program, its keyboard opened at once rather than 10 s on.
class CUtilityWindow {
 public:
  CUtilityWindow() : m_thread([this] { Run(); }) {
    while (!m_window) Sleep(1);
  }
  ~CUtilityWindow() {
    PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
  }
  CUtilityWindow(const CUtilityWindow&) = delete;
  CUtilityWindow& operator=(const CUtilityWindow&) = delete;

  // Takes the bar down as its timer does.
  void HideBar() { SendMessageW(m_window, WM_TIMER, CMyWnd::kOsdHideTimer, 0); }

 private:
  void Run() {
    m_threadId = GetCurrentThreadId();
    CMyWnd window;
    window.CreateHiddenWindow();
    Peer(window).m_startupStop.Set();
    Peer(window).m_usbOpen = Peer(window).m_hidDevice.bHidDeviceNotify(window.m_hWnd, &Peer(window).m_hDevNotify);
    m_window = window.m_hWnd;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  }

  std::atomic<HWND> m_window{nullptr};
  std::atomic<DWORD> m_threadId{0};
  std::thread m_thread;
};

std::vector<double> ReportToPixels(int count, CScreenRow& row) {
  CVirtualKeyboard keyboard;
  keyboard.Plug();
  CUtilityWindow utility;
  return PressesToPixels(keyboard, row, count, [&utility] { utility.HideBar(); });
}

// Without the frame buffer file: report to the bar's window visible, as
// Wine tells it (the pixels may follow later).
std::vector<double> ReportToVisible(int count) {
  CVirtualKeyboard keyboard;
  keyboard.Plug();
  CUtilityWindow utility;
  std::vector<double> samples;
  for (int i = 0; i < count; ++i) {
    utility.HideBar();
    while (OsdBarShowing()) Sleep(1);
    Sleep(150);  // past the repeat window
    LARGE_INTEGER sent, shown;
    QueryPerformanceCounter(&sent);
    keyboard.SendInputReport({0x02, 0x00, uint8_t(i % 2 ? 0x10 : 0x20), 0x00});
    while (!OsdBarShowing()) Sleep(0);
    QueryPerformanceCounter(&shown);
    samples.push_back(Microseconds(sent, shown));
  }
  return samples;
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 200;
  int visibleCount = argc > 2 ? std::atoi(argv[2]) : 40;
  Print("minimal_reader", MinimalReader(count));
  Print("report_to_post", ReportToPost(count));
  if (argc > 3) {  // the screen's frame buffer file, as a Windows path
    CScreenRow row(argv[3]);
    Print("minimal_to_pixels", MinimalToPixels(visibleCount, row));
    Print("report_to_pixels", ReportToPixels(visibleCount, row));
  } else {
    Print("report_to_visible", ReportToVisible(visibleCount));
  }
  return 0;
}
