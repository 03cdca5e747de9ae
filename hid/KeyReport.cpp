#include "hid/KeyReport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

std::optional<HotkeyEvent> DecodeKeyReport(const uint8_t* report) {
  if (report[0] != 0x02) return std::nullopt;
  if (report[1] == 0x08) return kHotkeyMicMute;
  if (report[1] != 0x00) return std::nullopt;
  switch (report[2]) {
    case 0x01: return kHotkeySettings;
    case 0x02: return kHotkeySnip;
    case 0x04: return kHotkeyLock;
    case 0x10: return kHotkeyFnLockOff;
    case 0x20: return kHotkeyFnLockOn;
    case 0x00: return report[3] == 0x01 ? std::optional(kHotkeySmartFan) : std::nullopt;
    default: return std::nullopt;
  }
}

const char* HotkeyEventName(uint32_t code) {
  switch (code) {
    case kHotkeySettings: return "settings, Win+I";
    case kHotkeySnip: return "screen snip";
    case kHotkeyLock: return "lock workstation";
    case kHotkeyMicMute: return "microphone mute toggle";
    case kHotkeyFnLockOff: return "Fn lock off";
    case kHotkeyFnLockOn: return "Fn lock on";
    case kHotkeySmartFan: return "smart-fan toggle, Fn+Q";
    default: return "unknown";
  }
}

ReportLine FormatReportLine(int32_t readLength, const uint8_t* report, uint32_t handleValue) {
  ReportLine line;
  std::snprintf(line.text, sizeof line.text, "%d: %02x %02x %02x %02x %02x %02x %02x %02x(%X)\n",
                readLength, report[0], report[1], report[2], report[3], report[4], report[5],
                report[6], report[7], handleValue);
  return line;
}

bool CKeyRepeatFilter::bPass(uint32_t code, uint32_t now) {
  if (code == m_lastEvent && now - m_lastEventTick < kRepeatWindowMs) return false;
  m_lastEvent = code;
  m_lastEventTick = now;
  return true;
}

void ProcessKeyReport(const uint8_t* readBuffer, int32_t readLength, uint32_t handleValue,
                      uint32_t now, CKeyRepeatFilter& filter, IKeyReportSink& sink) {
  // The line shows eight bytes and decoding reads four: nothing more is copied.
  uint8_t copy[8] = {};
  std::memcpy(copy, readBuffer, std::clamp(readLength, 0, static_cast<int32_t>(sizeof copy)));

  sink.OnReportLine(FormatReportLine(readLength, copy, handleValue).text);

  std::optional<HotkeyEvent> event = DecodeKeyReport(copy);
  if (!event) return;
  sink.OnEvent(*event);
  if (!filter.bPass(*event, now)) {
    char message[64];
    std::snprintf(message, sizeof message, "Repeat EP:0x%X(%dms)", filter.m_lastEvent,
                  static_cast<int>(kRepeatWindowMs));
    sink.OnLog(message);
    return;
  }
  sink.OnPost(*event);
  sink.OnLog("PostMessage");
}
