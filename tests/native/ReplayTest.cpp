#include "testbed/replay/Replay.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

TEST(ParseReplayLine, ReadsTimeAndBytesInEitherSpacing) {
  ReplayLine line = ParseReplayLine("120 02 00 10 00 00 00 00 00");
  ASSERT_EQ(line.kind, ReplayLine::kReport);
  EXPECT_EQ(line.timeMs, 120u);
  EXPECT_EQ(line.bytes, (std::vector<uint8_t>{2, 0, 0x10, 0, 0, 0, 0, 0}));

  line = ParseReplayLine("  7\t0200Ab  \r");  // packed digits, tabs, CRLF ends
  ASSERT_EQ(line.kind, ReplayLine::kReport);
  EXPECT_EQ(line.bytes, (std::vector<uint8_t>{2, 0, 0xAB}));

  EXPECT_EQ(ParseReplayLine("").kind, ReplayLine::kSkip);
  EXPECT_EQ(ParseReplayLine("   \r").kind, ReplayLine::kSkip);
  EXPECT_EQ(ParseReplayLine("# Fn lock bounce").kind, ReplayLine::kSkip);
}

TEST(ParseReplayLine, BadLinesSayWhatIsWrong) {
  auto errorOf = [](const std::string& text) {
    ReplayLine line = ParseReplayLine(text);
    EXPECT_EQ(line.kind, ReplayLine::kError) << text;
    return line.error;
  };
  EXPECT_EQ(errorOf("-5 02 00"), "negative time '-5'");
  EXPECT_EQ(errorOf("0a 02 00"), "missing time: '0a' is not milliseconds");
  EXPECT_EQ(errorOf("120"), "no report bytes after the time");
  EXPECT_EQ(errorOf("120 02 0"), "odd number of hex digits in '0'");
  EXPECT_EQ(errorOf("120 02 0g"), "not hex: '0g'");
  EXPECT_EQ(errorOf("99999999999999999999 02"), "time '99999999999999999999' out of range");
}

TEST(ParseReplayLine, AcceptsAThousandBytesAndNoMore) {
  std::string line = "0";
  for (int i = 0; i < 1000; ++i) line += " ff";
  EXPECT_EQ(ParseReplayLine(line).bytes.size(), 1000u);
  EXPECT_EQ(ParseReplayLine(line + " 00").error, "report longer than 1000 bytes");
  EXPECT_EQ(ParseReplayLine("0 " + std::string(2002, 'a')).error,
            "report longer than 1000 bytes");
}

struct Replayed {
  int bad;
  std::string out;
  std::string err;
};

Replayed Replay(const std::string& recording) {
  std::istringstream in(recording);
  std::ostringstream out, err;
  int bad = RunReplay(in, "rec", out, err);
  return {bad, out.str(), err.str()};
}

TEST(RunReplay, BadLinesAreNamedAndTheRestIsStillReplayed) {
  Replayed r = Replay(
      "100 02 00 01 00\n"
      "zz 02\n"
      "50 02 00 02 00\n"     // backwards
      "200 02 00 04 00\n");
  EXPECT_EQ(r.bad, 2);
  EXPECT_EQ(r.err,
            "rec:2: error: missing time: 'zz' is not milliseconds\n"
            "rec:3: error: time goes backwards (50 after 100)\n");
  EXPECT_NE(r.out.find("line 1 @ 100 ms"), std::string::npos);
  EXPECT_NE(r.out.find("line 4 @ 200 ms"), std::string::npos);
  EXPECT_NE(r.out.find("wParam 4\n"), std::string::npos);
  EXPECT_EQ(r.out.find("line 3"), std::string::npos);
}

TEST(RunReplay, BounceIsDroppedWithTheRepeatLogLine) {
  Replayed r = Replay("0 02 08 00 00\n30 02 08 00 00\n130 02 08 00 00\n");
  EXPECT_EQ(r.bad, 0);
  EXPECT_EQ(r.out,
            "line 1 @ 0 ms\n"
            "  log:   128: 02 08 00 00 00 00 00 00(0)\n"
            "  event: 8 (microphone mute toggle)\n"
            "  post:  0x500 wParam 8\n"
            "  log:   PostMessage\n"
            "line 2 @ 30 ms\n"
            "  log:   128: 02 08 00 00 00 00 00 00(0)\n"
            "  event: 8 (microphone mute toggle)\n"
            "  drop:  repeat within 100 ms\n"
            "  log:   Repeat EP:0x8(100ms)\n"
            "line 3 @ 130 ms\n"
            "  log:   128: 02 08 00 00 00 00 00 00(0)\n"
            "  event: 8 (microphone mute toggle)\n"
            "  post:  0x500 wParam 8\n"
            "  log:   PostMessage\n");
}

TEST(RunReplay, ShortReportKeepsTheBytesOfTheLongerOneBeforeItLikeTheLiveBuffer) {
  Replayed r = Replay("0 02 00 20 00 00 00 00 09\n500 02 00\n");
  EXPECT_NE(r.out.find("line 2 @ 500 ms\n  log:   128: 02 00 20 00 00 00 00 09(0)\n"),
            std::string::npos);
}

TEST(RunReplay, TimesPastTheTickWrapBehaveLikeTheWrappedCounter) {
  // 4294967290 and 4294967300 are 10 ms apart; as 32-bit ticks they wrap.
  Replayed r = Replay("4294967290 02 00 04 00\n4294967300 02 00 04 00\n");
  EXPECT_NE(r.out.find("log:   Repeat EP:0x4(100ms)"), std::string::npos);
}

}  // namespace
