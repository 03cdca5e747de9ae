// The keyboard's special-key reports: decoding, the repeat filter and the
// report line. Portable (no Windows headers) so the live reader, the replay
// tool and the probe run the same code, and it is tested natively.
#pragma once

#include <cstdint>
#include <optional>

// Event codes carried in wParam of the key-event message (0x500).
enum HotkeyEvent : uint32_t {
  kHotkeySettings = 1,
  kHotkeySnip = 2,
  kHotkeyLock = 4,
  kHotkeyMicMute = 8,
  kHotkeyFnLockOff = 16,
  kHotkeyFnLockOn = 32,
  kHotkeySmartFan = 48,
};

constexpr uint32_t kKeyEventMessage = 0x500;  // WM_USER + 0x100
constexpr int kReadBufferSize = 1000;
constexpr int kDefaultReadLength = 128;
constexpr uint32_t kRepeatWindowMs = 100;

// Looks at bytes 0 to 3 only; values are compared exactly, not as masks.
std::optional<HotkeyEvent> DecodeKeyReport(const uint8_t* report);

// A short human name for an event code ("Fn lock off"), for the tools.
const char* HotkeyEventName(uint32_t code);

// "128: 02 00 10 00 00 00 00 00(1A4)\n": the read length asked for, the first
// eight bytes and the handle value the report was read through. A fixed
// buffer, so that the reader's pass allocates nothing: the longest line,
// "-2147483648: ... (FFFFFFFF)\n", takes 47 characters.
struct ReportLine {
  char text[48];
};
ReportLine FormatReportLine(int32_t readLength, const uint8_t* report, uint32_t handleValue);

// Drops a code equal to the last posted one that comes less than 100 ms
// after that post. Only posting moves the tick, so quick repeats do not
// stretch the window; the difference is unsigned so the tick counter's wrap
// changes nothing.
class CKeyRepeatFilter {
 public:
  // True when the code is to be posted now (and records the post).
  bool bPass(uint32_t code, uint32_t now);

  uint32_t m_lastEvent = 0;
  uint32_t m_lastEventTick = 0;
};

// Where one report's results go: the live reader sends them to the debugger
// output, the log and the main window; the tools print them.
class IKeyReportSink {
 public:
  virtual ~IKeyReportSink() = default;
  virtual void OnReportLine(const char* line) = 0;
  virtual void OnEvent(HotkeyEvent event) = 0;
  virtual void OnPost(HotkeyEvent event) = 0;
  virtual void OnLog(const char* message) = 0;
};

// One completed read: copies what it looks at of readBuffer, the first eight
// bytes or readLength if fewer (the rest zero), writes the report line,
// decodes, filters and posts.
void ProcessKeyReport(const uint8_t* readBuffer, int32_t readLength, uint32_t handleValue,
                      uint32_t now, CKeyRepeatFilter& filter, IKeyReportSink& sink);
