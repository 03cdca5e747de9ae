#include "log/Log.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const int kSwitchAtStart = g_bLogEnabled;  // constant-initialised before any test
const char kFolder[] = "C:\\LOG";
const char kFile[] = "C:\\LOG\\Orvane_Keyboard.log";
const char kStamp[] = "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]:[0-9]{3} ::  ";

bool IsFolder(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

std::string ReadLog() {
  std::ifstream in(kFile, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteRaw(const char* path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Lines of the file without their CR LF; fails the test on a bare LF.
std::vector<std::string> LogLines() {
  std::string bytes = ReadLog();
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(bytes.substr(start, end - start));
  }
  EXPECT_EQ(start, bytes.size()) << "the file does not end in CR LF";
  return lines;
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteFileA(kFile);
    if (IsFolder(kFolder)) RemoveDirectoryA(kFolder); else DeleteFileA(kFolder);
    ASSERT_FALSE(Exists(kFolder));
    g_bLogEnabled = 1;
  }
  void TearDown() override { g_bLogEnabled = kSwitchAtStart; }
};

TEST_F(LogTest, NormalBuildStartsWithTheSwitchOff) { EXPECT_EQ(kSwitchAtStart, 0); }

TEST_F(LogTest, SwitchOffFormatsNothingAndCreatesNothing) {
  for (int value : {0, 2, -1}) {
    g_bLogEnabled = value;
    // Arguments that do not fit the format would crash if they were formatted.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"  // they do not fit on purpose
    LogWrite("%s %S %s", 1, 2, 3);
#pragma GCC diagnostic pop
    LogAppendLine(L"line", 1);
  }
  EXPECT_FALSE(Exists(kFolder));
}

TEST_F(LogTest, FirstLineCreatesFolderAndFileWithExactlyThatLine) {
  LogWrite("OnCreate over");
  EXPECT_TRUE(IsFolder(kFolder));
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(std::string(kStamp) + "OnCreate over")))
      << lines[0];
}

TEST_F(LogTest, FolderWithoutFileGetsTheFileAndOneLine) {
  ASSERT_TRUE(CreateDirectoryA(kFolder, nullptr));
  LogWrite("TIMER_WAKEUP");
  ASSERT_EQ(LogLines().size(), 1u);
}

TEST_F(LogTest, ExistingFileKeepsItsLinesAndGrowsAtTheEnd) {
  ASSERT_TRUE(CreateDirectoryA(kFolder, nullptr));
  WriteRaw(kFile, "earlier run\r\n");
  LogWrite("m_handleDev:%d,m_handleInput:%d", -1, 420);
  LogWrite("Repeat EP:0x%X(%dms)", 48, 100);
  LogWrite("%x", 0xBEEF);
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "earlier run");
  EXPECT_EQ(lines[1].substr(17), "m_handleDev:-1,m_handleInput:420");
  EXPECT_EQ(lines[2].substr(17), "Repeat EP:0x30(100ms)");
  EXPECT_EQ(lines[3].substr(17), "beef");
}

TEST_F(LogTest, ModeOneStartsTheFileAfresh) {
  LogWrite("first");
  LogAppendLine(L"fresh", 1);
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(17), "fresh");
}

TEST_F(LogTest, FolderNameTakenByAFileFailsSilentlyAndLaterCallsWork) {
  WriteRaw(kFolder, "not a folder");
  LogWrite("lost");
  EXPECT_FALSE(IsFolder(kFolder));
  ASSERT_TRUE(DeleteFileA(kFolder));
  LogWrite("kept");
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(17), "kept");
}

TEST_F(LogTest, MessageOf1023CharactersIsWrittenWholeAndLongerIsCut) {
  std::string exact(1023, 'x');
  LogWrite("%s", exact.c_str());
  LogWrite("%s", (std::string(1023, 'y') + "zzz").c_str());
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(17), exact);
  EXPECT_EQ(lines[1].substr(17), std::string(1023, 'y'));
}

TEST_F(LogTest, PercentSignAfterFormattingIsWrittenUnchanged) {
  LogWrite("%S", L"100% %d %s done");
  EXPECT_EQ(LogLines().at(0).substr(17), "100% %d %s done");
}

// A conversion the formatter does not know ends the line as it stands: an
// argument after it would be read as another's.
TEST_F(LogTest, AnUnknownConversionEndsTheLineWhereItStands) {
  LogWrite("fan %d %f then %d", 1, 2.5, 3);
  LogWrite("who %ls then %s", L"me", "you");
  LogWrite("width %*d then %s", 4, 5, "six");
  LogWrite("size %I64d then %d", 6LL, 7);
  LogWrite("known %ld %lld %hd %lu", 1L, 2LL, static_cast<short>(3), 4UL);
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].substr(17), "fan 1 ");
  EXPECT_EQ(lines[1].substr(17), "who ");
  EXPECT_EQ(lines[2].substr(17), "width ");
  EXPECT_EQ(lines[3].substr(17), "size ");
  EXPECT_EQ(lines[4].substr(17), "known 1 2 3 4");
}

TEST_F(LogTest, MessageEndingInLineFeedGivesAnEmptyLineAfterIt) {
  LogWrite("%S", L"128: 02 00 01 00 00 00 00 00(1A4)\n");
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(17), "128: 02 00 01 00 00 00 00 00(1A4)");
  EXPECT_EQ(lines[1], "");
}

// Run in the default code page 1252, and also where the ANSI code page is
// 1251 (ORVANE_EXPECT_ACP tells), in which the Cyrillic name has bytes of its
// own; in 1252 it becomes "?"s, and the line is still written.
TEST_F(LogTest, WideArgumentsAreStoredInTheAnsiCodePage) {
  if (const char* expectedCodePage = std::getenv("ORVANE_EXPECT_ACP")) {
    ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expectedCodePage)));
  }
  const wchar_t kLatin[] = L"Jos\u00e9";
  const wchar_t kCyrillic[] = L"\u0418\u0432\u0430\u043d";
  LogWrite("User Same Open User(%S) Now User(%S)", kLatin, kCyrillic);
  char latin[16] = {}, cyrillic[16] = {};
  WideCharToMultiByte(CP_ACP, 0, kLatin, -1, latin, sizeof latin, nullptr, nullptr);
  WideCharToMultiByte(CP_ACP, 0, kCyrillic, -1, cyrillic, sizeof cyrillic, nullptr, nullptr);
  // Each run's code page checked against values known apart from the call.
  if (GetACP() == 1251) {
    EXPECT_STREQ(cyrillic, "\xC8\xE2\xE0\xED");
  } else if (GetACP() == 1252) {
    EXPECT_STREQ(latin, "Jos\xE9");
    EXPECT_STREQ(cyrillic, "????");
  } else {
    ADD_FAILURE() << "no known value for code page " << GetACP();
  }
  EXPECT_EQ(LogLines().at(0).substr(17),
            std::string("User Same Open User(") + latin + ") Now User(" + cyrillic + ")");
}

TEST_F(LogTest, EnsureLogFolderCreatesTheFileWhenTheFolderIsThere) {
  EXPECT_EQ(EnsureLogFolder(L"LOG\\Orvane_Keyboard.log"), 1);  // folder walked
  EXPECT_TRUE(IsFolder(kFolder));
  EXPECT_FALSE(Exists(kFile));  // the file name is never made a folder
  EXPECT_EQ(EnsureLogFolder(L"LOG\\Orvane_Keyboard.log"), 0);
  EXPECT_TRUE(Exists(kFile));
  EXPECT_EQ(ReadLog(), "");
}

TEST_F(LogTest, LinesFromThreeThreadsAreEachAppendedWhole) {
  const int kThreads = 3;
  const int kLinesEach = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLinesEach; ++i) LogWrite("thread %d line %d of the stress run", t, i);
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLinesEach));
  // Stamped in the order written (the stamp leads each line).
  EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end(), [](const auto& a, const auto& b) {
    return a.compare(0, 12, b, 0, 12) < 0;
  }));
  std::regex pattern(std::string(kStamp) + "thread ([0-2]) line ([0-9]+) of the stress run");
  std::set<std::pair<int, int>> seen;
  std::vector<int> nextLine(kThreads, 0);
  for (const std::string& line : lines) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, pattern)) << line;
    int thread = std::stoi(match[1]);
    int number = std::stoi(match[2]);
    EXPECT_EQ(number, nextLine[thread]++) << "lines of one thread out of order";
    seen.emplace(thread, number);
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLinesEach));
}

}  // namespace
