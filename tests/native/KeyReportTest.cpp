#include "hid/KeyReport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::optional<HotkeyEvent> Decode(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  const uint8_t report[4] = {b0, b1, b2, b3};
  return DecodeKeyReport(report);
}

TEST(DecodeKeyReport, EveryRowOfTheTable) {
  EXPECT_EQ(Decode(0x02, 0x08, 0x00, 0x00), kHotkeyMicMute);
  EXPECT_EQ(Decode(0x02, 0x08, 0xFF, 0x7E), kHotkeyMicMute);  // bytes 2, 3 ignored
  EXPECT_EQ(Decode(0x02, 0x00, 0x01, 0x00), kHotkeySettings);
  EXPECT_EQ(Decode(0x02, 0x00, 0x01, 0x55), kHotkeySettings);
  EXPECT_EQ(Decode(0x02, 0x00, 0x02, 0x00), kHotkeySnip);
  EXPECT_EQ(Decode(0x02, 0x00, 0x04, 0x01), kHotkeyLock);
  EXPECT_EQ(Decode(0x02, 0x00, 0x10, 0x00), kHotkeyFnLockOff);
  EXPECT_EQ(Decode(0x02, 0x00, 0x20, 0xAA), kHotkeyFnLockOn);
  EXPECT_EQ(Decode(0x02, 0x00, 0x00, 0x01), kHotkeySmartFan);
}

TEST(DecodeKeyReport, ReportsThatNameNoKey) {
  EXPECT_EQ(Decode(0x02, 0x00, 0x00, 0x00), std::nullopt);  // all keys up
  EXPECT_EQ(Decode(0x02, 0x00, 0x03, 0x00), std::nullopt);  // two bits: exact compare
  EXPECT_EQ(Decode(0x02, 0x00, 0x11, 0x00), std::nullopt);
  EXPECT_EQ(Decode(0x02, 0x00, 0x00, 0x02), std::nullopt);
  EXPECT_EQ(Decode(0x02, 0x00, 0x00, 0x03), std::nullopt);
  EXPECT_EQ(Decode(0x02, 0x01, 0x01, 0x00), std::nullopt);  // byte 1 neither 0 nor 8
  EXPECT_EQ(Decode(0x02, 0x09, 0x00, 0x00), std::nullopt);
  EXPECT_EQ(Decode(0x02, 0x18, 0x00, 0x00), std::nullopt);
  EXPECT_EQ(Decode(0x01, 0x00, 0x01, 0x00), std::nullopt);  // other report IDs
  EXPECT_EQ(Decode(0x03, 0x08, 0x00, 0x00), std::nullopt);
  EXPECT_EQ(Decode(0x00, 0x00, 0x00, 0x01), std::nullopt);
}

TEST(DecodeKeyReport, OnlyDocumentedPatternsOfAllByteTwoValues) {
  int events = 0;
  for (int b2 = 0; b2 < 256; ++b2) {
    if (Decode(0x02, 0x00, static_cast<uint8_t>(b2), 0x00)) ++events;
  }
  EXPECT_EQ(events, 5);  // 0x01, 0x02, 0x04, 0x10, 0x20
}

TEST(FormatReportLine, PrintsReadLengthEightBytesAndHandleInUpperHex) {
  const uint8_t report[8] = {0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_STREQ(FormatReportLine(128, report, 0x1A4).text, "128: 02 00 01 00 00 00 00 00(1A4)\n");
  const uint8_t other[8] = {0xAB, 0xCD, 0xEF, 0x10, 0x0A, 0xFF, 0x01, 0x7F};
  EXPECT_STREQ(FormatReportLine(8, other, 0xDEADBEEF).text, "8: ab cd ef 10 0a ff 01 7f(DEADBEEF)\n");
  EXPECT_STREQ(FormatReportLine(INT32_MIN, other, 0xFFFFFFFF).text,  // the longest line, whole
               "-2147483648: ab cd ef 10 0a ff 01 7f(FFFFFFFF)\n");
}

TEST(RepeatFilter, SameCodeWithinTheWindowIsDroppedAndDoesNotMoveTheTick) {
  CKeyRepeatFilter filter;
  EXPECT_TRUE(filter.bPass(8, 0));
  EXPECT_FALSE(filter.bPass(8, 50));
  EXPECT_EQ(filter.m_lastEventTick, 0u);
  EXPECT_FALSE(filter.bPass(8, 99));
  EXPECT_TRUE(filter.bPass(8, 100));  // strictly less than 100 drops
  EXPECT_EQ(filter.m_lastEventTick, 100u);
}

TEST(RepeatFilter, DifferentCodesAlwaysPass) {
  CKeyRepeatFilter filter;
  EXPECT_TRUE(filter.bPass(1, 0));
  EXPECT_TRUE(filter.bPass(2, 10));
  EXPECT_TRUE(filter.bPass(1, 20));
  EXPECT_EQ(filter.m_lastEvent, 1u);
  EXPECT_EQ(filter.m_lastEventTick, 20u);
}

TEST(RepeatFilter, HeldKeyEvery30msPostsAtTheFirstRepeatPastTheWindow) {
  CKeyRepeatFilter filter;
  std::vector<uint32_t> posted;
  for (uint32_t t = 0; t <= 360; t += 30) {
    if (filter.bPass(16, t)) posted.push_back(t);
  }
  EXPECT_EQ(posted, (std::vector<uint32_t>{0, 120, 240, 360}));
}

TEST(RepeatFilter, FirstEventPassesEvenAtTickZeroAndAcrossTheWrap) {
  CKeyRepeatFilter filter;
  EXPECT_TRUE(filter.bPass(48, 0));  // the initial last event 0 never matches

  CKeyRepeatFilter wrapping;
  EXPECT_TRUE(wrapping.bPass(4, 0xFFFFFFC0u));
  EXPECT_FALSE(wrapping.bPass(4, 0x00000010u));  // 80 ms later, across the wrap
  EXPECT_TRUE(wrapping.bPass(4, 0x00000030u));   // 112 ms later
}

// Records what ProcessKeyReport hands on, in order.
class CRecordingSink : public IKeyReportSink {
 public:
  void OnReportLine(const char* line) override { calls.push_back(std::string("line ") + line); }
  void OnEvent(HotkeyEvent e) override { calls.push_back("event " + std::to_string(e)); }
  void OnPost(HotkeyEvent e) override { calls.push_back("post " + std::to_string(e)); }
  void OnLog(const char* message) override { calls.push_back(std::string("log ") + message); }
  std::vector<std::string> calls;
};

TEST(ProcessKeyReport, PostedEventGivesLineEventPostThenPostMessageLog) {
  uint8_t buffer[kReadBufferSize] = {0x02, 0x00, 0x10};
  CKeyRepeatFilter filter;
  CRecordingSink sink;
  ProcessKeyReport(buffer, 128, 0x1A4, 1000, filter, sink);
  EXPECT_EQ(sink.calls, (std::vector<std::string>{"line 128: 02 00 10 00 00 00 00 00(1A4)\n",
                                                  "event 16", "post 16", "log PostMessage"}));
}

TEST(ProcessKeyReport, RepeatLogsTheLastEventInHexAndTheConstantWindow) {
  uint8_t buffer[kReadBufferSize] = {0x02, 0x00, 0x00, 0x01};
  CKeyRepeatFilter filter;
  CRecordingSink first, second;
  ProcessKeyReport(buffer, 128, 1, 5000, filter, first);
  ProcessKeyReport(buffer, 128, 1, 5060, filter, second);
  EXPECT_EQ(second.calls.back(), "log Repeat EP:0x30(100ms)");
  EXPECT_EQ(second.calls.size(), 3u);  // line, event, repeat: no post
}

TEST(ProcessKeyReport, NoEventLeavesTheFilterUntouched) {
  uint8_t buffer[kReadBufferSize] = {0x02, 0x00, 0x03, 0x00};
  CKeyRepeatFilter filter;
  filter.m_lastEvent = 8;
  filter.m_lastEventTick = 77;
  CRecordingSink sink;
  ProcessKeyReport(buffer, 128, 1, 5000, filter, sink);
  EXPECT_EQ(sink.calls, (std::vector<std::string>{"line 128: 02 00 03 00 00 00 00 00(1)\n"}));
  EXPECT_EQ(filter.m_lastEvent, 8u);
  EXPECT_EQ(filter.m_lastEventTick, 77u);
}

TEST(ProcessKeyReport, CopiesOnlyReadLengthBytesAndNeverPastTheBuffer) {
  uint8_t buffer[kReadBufferSize];
  std::memset(buffer, 0xEE, sizeof buffer);
  buffer[0] = 0x02;
  buffer[1] = 0x08;
  CKeyRepeatFilter filter;
  CRecordingSink shortRead;
  ProcessKeyReport(buffer, 3, 7, 0, filter, shortRead);
  EXPECT_EQ(shortRead.calls.front(), "line 3: 02 08 ee 00 00 00 00 00(7)\n");

  CRecordingSink hugeLength;  // clamped to the 1000-byte buffer (ASan watches)
  ProcessKeyReport(buffer, 5000, 7, 500, filter, hugeLength);
  EXPECT_EQ(hugeLength.calls.front(), "line 5000: 02 08 ee ee ee ee ee ee(7)\n");
}

}  // namespace
