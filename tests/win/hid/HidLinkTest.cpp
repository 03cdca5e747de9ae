// The keyboard link through the system's HID stack against the virtual
// keyboard: discovery, the feature report, the reader thread and its start.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <atomic>
#include <cstdio>
#include <future>
#include <mutex>
#include <new>
#include <set>
#include <thread>

#include "hid/HidDevice.h"
#include "hid/HidPlatform.h"
#include "tests/win/support/EventWindow.h"
#include "tests/win/support/HandleCount.h"
#include "tests/win/support/LogCapture.h"
#include "tests/win/support/Stopwatch.h"
#include "tests/win/support/ThreadWakeups.h"
#include "testbed/vhid/VhidControl.h"
#include "testbed/vkbd/VirtualKeyboard.h"

// Heap allocations made on the thread g_countedThread names (none when 0).
std::atomic<DWORD> g_countedThread{0};
std::atomic<int> g_countedAllocations{0};

void* operator new(std::size_t size) {
  if (g_countedThread != 0 && GetCurrentThreadId() == g_countedThread) ++g_countedAllocations;
  if (void* memory = HeapAlloc(GetProcessHeap(), 0, size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { HeapFree(GetProcessHeap(), 0, memory); }
void operator delete(void* memory, std::size_t) noexcept { HeapFree(GetProcessHeap(), 0, memory); }

namespace {

using Paths = std::vector<std::wstring>;

Paths Sorted(Paths paths) {
  std::sort(paths.begin(), paths.end());
  return paths;
}

const VirtualCollection& Role(const std::vector<VirtualCollection>& collections, uint16_t page) {
  return *std::find_if(collections.begin(), collections.end(), [page](const auto& c) {
    return c.facts.usagePage == page && c.facts.usage == 1;
  });
}

std::vector<uint8_t> Report(uint8_t b1, uint8_t b2, uint8_t b3, uint32_t tag = 0) {
  return {0x02, b1, b2, b3, uint8_t(tag >> 24), uint8_t(tag >> 16), uint8_t(tag >> 8), uint8_t(tag)};
}

// The keyboard hears of a close or a write a moment after the call returns:
// the value once it equals the expected one, or the last one after 2 s.
template <typename Query, typename Value>
Value Eventually(Query query, const Value& expected) {
  Value value = query();
  for (int i = 0; i < 200 && value != expected; ++i) {
    Sleep(10);
    value = query();
  }
  return value;
}

Paths KeyboardPair(const CVirtualKeyboard& keyboard) {
  auto collections = keyboard.Collections();
  return Sorted({Role(collections, 0xFF00).path, Role(collections, 0x0C).path});
}

TEST(Discovery, OpensTheVendorAndConsumerCollectionsAndLogsEach) {
  CVirtualKeyboard keyboard;
  ASSERT_TRUE(keyboard.Plug()) << keyboard.Error();
  CLogCapture log;
  CHidDevice link;
  EXPECT_EQ(link.bOpenHidDevice(), 1);
  EXPECT_NE(link.DevHandle(), INVALID_HANDLE_VALUE);
  EXPECT_NE(link.InputHandle(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(keyboard.OpenHandlesOnceSettled(KeyboardPair(keyboard)), KeyboardPair(keyboard));
  EXPECT_EQ(log.Messages(), (std::vector<std::string>{"Find_handleDev", "Find_handleInput"}));
}

TEST(Discovery, AcceptsEitherIdOfEachPairIndependently) {
  struct Case { uint16_t vendor, product; int expected; };
  for (Case c : {Case{0x3938, 0x1101, 1}, Case{0x3938, 0x6100, 1}, Case{0x17EF, 0x1101, 1},
                 Case{0x17EF, 0x6100, 1}, Case{0x17EF, 0x6101, 0}, Case{0x3938, 0x0001, 0},
                 Case{0x1234, 0x6100, 0}}) {
    CVirtualKeyboard keyboard(VHID_KEYBOARD, c.vendor, c.product);
    ASSERT_TRUE(keyboard.Plug());
    CHidDevice link;
    EXPECT_EQ(link.bOpenHidDevice(), c.expected) << std::hex << c.vendor << ":" << c.product;
    EXPECT_EQ(link.InputHandle() != INVALID_HANDLE_VALUE, c.expected == 1);
    Paths expected = c.expected == 1 ? Paths{Role(keyboard.Collections(), 0xFF00).path,
                                              Role(keyboard.Collections(), 0x0C).path}
                                     : Paths{};
    EXPECT_EQ(keyboard.OpenHandlesOnceSettled(expected), Sorted(expected));
  }
}

TEST(Discovery, TheLastQualifyingInterfaceTakesTheRole) {
  CVirtualKeyboard keyboard(VHID_KEYBOARD | VHID_BIT(kVhidSecondVendor));
  ASSERT_TRUE(keyboard.Plug());
  auto collections = keyboard.Collections();
  // Whichever of the two vendor collections the system lists later.
  Paths listed = EnumerateHidInterfacePaths(HidClassGuid());
  for (auto& path : listed) std::transform(path.begin(), path.end(), path.begin(), towlower);
  auto position = [&](const VirtualCollection& c) {
    return std::find(listed.begin(), listed.end(), c.path) - listed.begin();
  };
  const VirtualCollection& last =
      position(collections[0]) > position(collections[2]) ? collections[0] : collections[2];
  ASSERT_EQ(collections[2].facts.usagePage, 0xFF00);
  CHidDevice link;
  EXPECT_EQ(link.bOpenHidDevice(), 1);
  Paths expected = Sorted({last.path, Role(collections, 0x0C).path});
  EXPECT_EQ(keyboard.OpenHandlesOnceSettled(expected), expected);
}

TEST(Discovery, NoKeyboardGivesZeroNoHandlesAndNoLogLine) {
  CVirtualKeyboard keyboard;  // not plugged in
  CLogCapture log;
  CHidDevice link;
  EXPECT_EQ(link.bOpenHidDevice(), 0);
  EXPECT_EQ(link.DevHandle(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(link.InputHandle(), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(log.Messages().empty());
}

TEST(Discovery, ConsumerControlAloneHoldsTheInputHandleButGivesZero) {
  CVirtualKeyboard keyboard(VHID_BIT(kVhidConsumer));
  ASSERT_TRUE(keyboard.Plug());
  CHidDevice link;
  EXPECT_EQ(link.bOpenHidDevice(), 0);
  EXPECT_NE(link.InputHandle(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(link.DevHandle(), INVALID_HANDLE_VALUE);
}

TEST(Discovery, EachRunGivesUpTheHandlesOfTheRunBefore) {
  CVirtualKeyboard keyboard;
  ASSERT_TRUE(keyboard.Plug());
  CHidDevice link;
  link.bOpenHidDevice();
  const Paths pair = KeyboardPair(keyboard);
  EXPECT_EQ(keyboard.OpenHandlesOnceSettled(pair), pair);
  int handlesAfterFirst = CountProcessHandles(GetCurrentProcessId());
  for (int i = 0; i < 20; ++i) link.bOpenHidDevice();
  EXPECT_EQ(keyboard.OpenHandlesOnceSettled(pair), pair);
  EXPECT_GT(handlesAfterFirst, 2);
  EXPECT_EQ(CountProcessHandles(GetCurrentProcessId()), handlesAfterFirst);
}

TEST(Discovery, ConcurrentRunsNeverCloseAHandleTwice) {
  CVirtualKeyboard keyboard;
  ASSERT_TRUE(keyboard.Plug());
  CHidDevice link;
  auto runs = [&] {
    for (int i = 0; i < 100; ++i) link.bOpenHidDevice();
  };
  std::thread other(runs);
  runs();
  other.join();
  // A double close would have closed some other object's handle meanwhile
  // and left the server with a stray or missing client.
  EXPECT_EQ(keyboard.OpenHandlesOnceSettled(KeyboardPair(keyboard)), KeyboardPair(keyboard));
}

// Other clients, the system's own among them, hold the key collection open
// for reading and writing; an open that does not share writing fails on
// Windows. Wine checks no sharing on devices, so the calls are what is
// checked.
std::vector<std::pair<DWORD, DWORD>> g_opens;  // access and sharing of each
HANDLE WINAPI RecordedCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE pattern) {
  g_opens.emplace_back(access, share);
  return CreateFileW(path, access, share, security, disposition, flags, pattern);
}

TEST(Discovery, OpensEachCollectionForReadingAndWritingSharingBoth) {
  CVirtualKeyboard keyboard;
  ASSERT_TRUE(keyboard.Plug());
  HidCalls calls;
  calls.createFile = RecordedCreateFile;
  CHidDevice link(calls);
  EXPECT_EQ(link.bOpenHidDevice(), 1);
  ASSERT_GE(g_opens.size(), 2u);
  for (const auto& [access, share] : g_opens) {
    EXPECT_EQ(access, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
  }
}

TEST(FeatureReport, GoesThroughTheVendorCollection) {
  CVirtualKeyboard keyboard;
  ASSERT_TRUE(keyboard.Plug());
  CHidDevice link;
  uint8_t report[8] = {0x05, 0x01};
  EXPECT_EQ(link.SetFeature(report, sizeof report), 0);  // no handle yet
  ASSERT_EQ(link.bOpenHidDevice(), 1);
  EXPECT_EQ(link.SetFeature(report, sizeof report), 1);
  const std::vector<std::vector<uint8_t>> expected = {{0x05, 0x01, 0, 0, 0, 0, 0, 0}};
  EXPECT_EQ(Eventually([&] { return keyboard.FeatureReports(); }, expected), expected);
}

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(keyboard.Plug()) << keyboard.Error();
    link.m_hNotifyWnd = events.Get();
    ASSERT_EQ(link.bOpenHidDevice(), 1);
    link.StartServiceThread();
  }

  CVirtualKeyboard keyboard;
  CEventWindow events;
  CLogCapture log;
  CHidDevice link;  // destroyed first: its reader stops before the rest goes
};

TEST_F(ReaderTest, PostsEveryKeyInOrderAndIgnoresReportsThatNameNone) {
  const std::vector<std::vector<uint8_t>> reports = {
      Report(0, 1, 0), Report(0, 0, 0), Report(0, 2, 0), Report(0, 4, 0), Report(8, 0, 0),
      Report(0, 3, 0), Report(0, 0x10, 0), Report(1, 1, 0), Report(0, 0x20, 0), Report(0, 0, 1)};
  // At least ours: other clients may hold the key collection too (under
  // Wine, now and then, a system process that lists input devices).
  for (const auto& report : reports) ASSERT_GE(keyboard.SendInputReport(report), 1);
  EXPECT_EQ(events.Collect(7, 5000), (std::vector<WPARAM>{1, 2, 4, 8, 16, 32, 48}));
  EXPECT_TRUE(events.Collect(1, 200).empty());
  auto messages = log.Messages();
  EXPECT_EQ(std::count(messages.begin(), messages.end(), "PostMessage"), 7);
  char line[64];
  std::snprintf(line, sizeof line, "128: 02 08 00 00 00 00 00 00(%X)",
                static_cast<unsigned>(reinterpret_cast<UINT_PTR>(link.InputHandle())));
  EXPECT_NE(std::find(messages.begin(), messages.end(), line), messages.end());
}

TEST_F(ReaderTest, QuickRepeatsAreDroppedWithTheRepeatLine) {
  for (int i = 0; i < 5; ++i) keyboard.SendInputReport(Report(8, 0, 0));
  std::vector<WPARAM> posted = events.Collect(5, 1000);
  ASSERT_GE(posted.size(), 1u);
  EXPECT_LT(posted.size(), 5u);  // five reports 10 ms apart: most fall in the window
  auto messages = log.Messages();
  EXPECT_NE(std::find(messages.begin(), messages.end(), "Repeat EP:0x8(100ms)"), messages.end());
}

TEST_F(ReaderTest, UnpluggedReadsFailQuietlyAndANewDiscoveryResumes) {
  keyboard.SendInputReport(Report(0, 1, 0));
  ASSERT_EQ(events.Collect(1, 5000).size(), 1u);
  keyboard.Unplug();
  size_t linesAtUnplug = log.Messages().size();
  Sleep(300);  // thirty failed passes
  EXPECT_EQ(log.Messages().size(), linesAtUnplug);

  ASSERT_TRUE(keyboard.Plug());
  ASSERT_EQ(link.bOpenHidDevice(), 1);
  keyboard.SendInputReport(Report(0, 2, 0));
  EXPECT_EQ(events.Collect(1, 5000), (std::vector<WPARAM>{2}));
}

// The keyboard away costs the reader next to nothing: with no handle it
// sleeps until discovery stores one, and reads that fail on a handle whose
// device is gone are tried at most once a second. (Each try wakes the
// thread several times: the event, the read, the close.)
TEST(Reader, WithNothingToReadItSleepsUntilDiscoveryFindsTheKeyboard) {
  CVirtualKeyboard keyboard;  // not plugged in
  CEventWindow events;
  CHidDevice link;
  link.m_hNotifyWnd = events.Get();
  link.StartServiceThread();
  Sleep(100);
  long switches = BusiestThreadSwitchesOver(1500);
  std::printf("no handle: busiest thread switched %ld times in 1.5 s\n", switches);
  EXPECT_TRUE(switches >= 0 && switches <= 15) << "polling wakes it some 150 times";
  ASSERT_TRUE(keyboard.Plug());
  ASSERT_EQ(link.bOpenHidDevice(), 1);
  keyboard.SendInputReport(Report(0, 1, 0));
  EXPECT_EQ(events.Collect(1, 5000), (std::vector<WPARAM>{1})) << "the new handle is read from";
}

TEST_F(ReaderTest, AfterTheKeyboardWentReadsAreTriedAtMostOnceASecond) {
  keyboard.Unplug();  // the link still holds its handles
  Sleep(1500);        // the tries have spread out to a second apart
  long switches = BusiestThreadSwitchesOver(3000);
  std::printf("failed reads: busiest thread switched %ld times in 3 s\n", switches);
  EXPECT_TRUE(switches >= 0 && switches <= 40) << "tries every 10 ms wake it 300 times and more";
}

TEST_F(ReaderTest, ReadPendingOnAReplacedHandleEndsWithoutAnEvent) {
  Sleep(50);  // the reader now waits on its read
  ASSERT_EQ(link.bOpenHidDevice(), 1);
  keyboard.SendInputReport(Report(0, 4, 0));
  EXPECT_EQ(events.Collect(2, 500), (std::vector<WPARAM>{4}));
  auto messages = log.Messages();
  EXPECT_EQ(std::count(messages.begin(), messages.end(), "PostMessage"), 1);
}

// A read that completed with data just before discovery replaced its handle,
// the reader not yet awake (held here), belongs to the handle that is gone.
TEST_F(ReaderTest, ReadCompletedOnAReplacedHandlePostsNothing) {
  Sleep(50);  // the reader now waits on its read
  ASSERT_NE(SuspendThread(g_hThread), static_cast<DWORD>(-1));
  keyboard.SendInputReport(Report(0, 1, 0));
  Sleep(100);  // the read has its data
  ASSERT_EQ(link.bOpenHidDevice(), 1);
  ResumeThread(g_hThread);
  EXPECT_TRUE(events.Collect(1, 500).empty());
  keyboard.SendInputReport(Report(0, 2, 0));
  EXPECT_EQ(events.Collect(1, 5000), (std::vector<WPARAM>{2}));
}

// With the log off, a report costs the reader no heap allocation; the
// event each pass makes is a kernel object, not counted here but by the
// process's handles, which are as many after the reports as before.
TEST(Reader, PassesReportsWithoutAllocating) {
  CVirtualKeyboard keyboard;
  ASSERT_TRUE(keyboard.Plug());
  CEventWindow events;
  CHidDevice link;
  link.m_hNotifyWnd = events.Get();
  ASSERT_EQ(link.bOpenHidDevice(), 1);
  link.StartServiceThread();
  keyboard.SendInputReport(Report(0, 1, 0));  // what a first pass may set up is not counted
  ASSERT_EQ(events.Collect(1, 5000).size(), 1u);
  g_countedThread = GetThreadId(g_hThread);
  int handles = CountProcessHandles(GetCurrentProcessId());
  const size_t kReports = 50;
  for (size_t i = 0; i < kReports;) {  // in two bursts: the system keeps 32 reports for a handle
    for (size_t burstEnd = i + kReports / 2; i < burstEnd; ++i) {
      keyboard.SendInputReport(Report(0, i % 2 ? 0x10 : 0x20, 0));
    }
    EXPECT_EQ(events.Collect(kReports / 2, 5000).size(), kReports / 2);
  }
  g_countedThread = 0;
  EXPECT_EQ(g_countedAllocations, 0);
  EXPECT_LE(CountProcessHandles(GetCurrentProcessId()), handles + 2);  // a leak: one a report
}

TEST(Reader, DestroyingTheLinkWhileAReadIsPendingReturnsPromptly) {
  CVirtualKeyboard keyboard;
  ASSERT_TRUE(keyboard.Plug());
  auto* link = new CHidDevice;
  ASSERT_EQ(link->bOpenHidDevice(), 1);
  link->StartServiceThread();
  Sleep(50);
  auto destroyed = std::async(std::launch::async, [link] { delete link; });
  // Generous: a reader that is not stopped cooperatively never returns.
  EXPECT_EQ(destroyed.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(g_hThread, nullptr);
}

// Closing a handle ends a read pending on it only when no other handle to
// the same open file is left; discovery must end the read all the same.
TEST(Reader, AReadPendingOnAReplacedHandleEndsWhileACopyOfTheHandleLivesOn) {
  CVirtualKeyboard keyboard;
  ASSERT_TRUE(keyboard.Plug());
  auto* link = new CHidDevice;
  ASSERT_EQ(link->bOpenHidDevice(), 1);
  link->StartServiceThread();
  Sleep(50);  // the reader now waits on its read
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), link->InputHandle(), GetCurrentProcess(), &copy,
                              0, FALSE, DUPLICATE_SAME_ACCESS));
  CFileHandle heldCopy(copy);
  ASSERT_EQ(link->bOpenHidDevice(), 1);
  // A reader still stuck on the old read would never see the stop.
  auto destroyed = std::async(std::launch::async, [link] { delete link; });
  bool prompt = destroyed.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  heldCopy.Reset();  // ends a stuck read, so the test itself ends
  EXPECT_TRUE(prompt);
}

// Should the system fail to make the stop event, pauses are timed sleeps
// that still see the request.
TEST(StopSignal, WithoutItsEventPausesAreTimedAndStillEndOnTheRequest) {
  struct CEventless : CStopSignal {
    CEventless() : CStopSignal(nullptr) {}
  };
  CLogCapture log;
  CEventless stop;
  CStopwatch watch;
  EXPECT_FALSE(stop.Pause(200));
  EXPECT_GE(watch.ElapsedMs(), 195.0);
  std::thread requester([&stop] {
    Sleep(100);
    stop.Set();
  });
  EXPECT_TRUE(stop.Pause(INFINITE));
  requester.join();
  EXPECT_TRUE(stop.Pause(INFINITE));
  auto messages = log.Messages();
  ASSERT_EQ(messages.size(), 1u);  // the failure, once
  EXPECT_EQ(messages[0].rfind("CreateEvent Fall_", 0), 0u) << messages[0];
}

// Records what one reader loop hands on.
class CRecordingSink : public IKeyReportSink {
 public:
  void OnReportLine(const char* line) override {
    std::lock_guard<std::mutex> lock(mutex);
    lines.push_back(line);
  }
  void OnEvent(HotkeyEvent) override {}
  void OnPost(HotkeyEvent) override { ++posts; }
  void OnLog(const char*) override {}
  std::mutex mutex;
  std::vector<std::string> lines;
  std::atomic<int> posts{0};
};

TEST(Reader, DiscoveryRunsUnderAStreamOfReportsDeliverNoReportTwice) {
  CVirtualKeyboard keyboard;
  ASSERT_TRUE(keyboard.Plug());
  CHidDevice link;
  ASSERT_EQ(link.bOpenHidDevice(), 1);
  CRecordingSink sink;
  std::thread reader([&] { link.RunReader(sink); });

  std::atomic<bool> done{false};
  std::set<uint32_t> delivered;
  std::thread sender([&] {
    // Every report the keyboard sent: the count of handles it gives is
    // taken a moment before the class driver hands the report on.
    for (uint32_t tag = 1; !done; ++tag) {
      if (keyboard.SendInputReport(Report(0, tag % 2 ? 1 : 2, 0, tag)) >= 0) delivered.insert(tag);
      Sleep(1);
    }
  });
  for (int i = 0; i < 1000; ++i) link.bOpenHidDevice();
  Sleep(100);
  done = true;
  sender.join();
  link.RequestStop();
  reader.join();

  std::set<uint32_t> seen;
  for (const std::string& line : sink.lines) {
    unsigned b[8];
    ASSERT_EQ(std::sscanf(line.c_str(), "128: %x %x %x %x %x %x %x %x", &b[0], &b[1], &b[2],
                          &b[3], &b[4], &b[5], &b[6], &b[7]), 8) << line;
    uint32_t tag = (b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7];
    EXPECT_TRUE(seen.insert(tag).second) << "report " << tag << " read twice";
    EXPECT_TRUE(delivered.count(tag)) << "report " << tag << " was never sent";
  }
  EXPECT_GT(seen.size(), 0u);
  EXPECT_LE(sink.posts.load(), static_cast<int>(seen.size()));
}

// The bus answers what a buggy or hostile client sends with a failure and
// lives on: the keyboard still plugs in and types.
TEST(VirtualBus, MalformedRequestsFailAndTheKeyboardStillWorks) {
  CVirtualKeyboard keyboard;
  ASSERT_TRUE(keyboard.Error().empty()) << keyboard.Error();
  std::vector<uint8_t> big(70000, 0x02);
  ULONG out = 0;
  VHID_PLUG plug = {0x17EF, 0x6100, 0};  // no collection
  VHID_PLUG unknown = {0x17EF, 0x6100, 1u << 31};
  EXPECT_FALSE(keyboard.Control(IOCTL_VHID_PLUG, &plug, sizeof plug, nullptr, 0));
  EXPECT_FALSE(keyboard.Control(IOCTL_VHID_PLUG, &unknown, sizeof unknown, nullptr, 0));
  EXPECT_FALSE(keyboard.Control(IOCTL_VHID_PLUG, big.data(), 3, nullptr, 0));
  EXPECT_FALSE(keyboard.Control(IOCTL_VHID_SEND_INPUT, big.data(), 0, &out, sizeof out));
  EXPECT_FALSE(keyboard.Control(IOCTL_VHID_SEND_INPUT, big.data(), 9, &out, sizeof out));
  EXPECT_FALSE(keyboard.Control(IOCTL_VHID_SEND_INPUT, big.data(), static_cast<DWORD>(big.size()), &out, sizeof out));
  EXPECT_FALSE(keyboard.Control(IOCTL_VHID_SEND_INPUT, big.data(), 4, nullptr, 0));
  EXPECT_FALSE(keyboard.Control(IOCTL_VHID_REFUSE, big.data(), 2, nullptr, 0));
  EXPECT_FALSE(keyboard.Control(IOCTL_VHID_STATUS, nullptr, 0, big.data(), 7));
  EXPECT_FALSE(keyboard.Control(IOCTL_VHID_FEATURES, nullptr, 0, big.data(), 3));
  EXPECT_FALSE(keyboard.Control(ORVANE_VHID_CTL(77), big.data(), 16, big.data(), 16));
  EXPECT_EQ(keyboard.SendInputReport({0x05, 0x00, 0x10}), -1);  // not a report it sends
  ASSERT_TRUE(keyboard.Plug());
  CHidDevice link;
  EXPECT_EQ(link.bOpenHidDevice(), 1);
  EXPECT_GE(keyboard.SendInputReport({0x02, 0x00, 0x10}), 1);
}

// Fails the first n thread creations with ERROR_NOT_ENOUGH_MEMORY.
int g_failuresLeft = 0;
HANDLE FailingCreateThread(LPTHREAD_START_ROUTINE routine, void* argument) {
  if (g_failuresLeft > 0) {
    --g_failuresLeft;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return CreateThread(nullptr, 0, routine, argument, 0, nullptr);
}
HidCalls FailingThreadStarts() {
  HidCalls calls;
  calls.createThread = FailingCreateThread;
  return calls;
}

TEST(ReaderStart, FailedStartsRetryWithTheirLogSequence) {
  CLogCapture log;
  CHidDevice link(FailingThreadStarts());
  g_failuresLeft = 3;  // the first start and two fallback attempts
  link.StartServiceThread();
  ASSERT_NE(g_hThread, nullptr);
  std::string started = "ServiceThread g_hThread :" +
                        std::to_string(reinterpret_cast<INT_PTR>(g_hThread)) + " ";
  EXPECT_EQ(log.Messages(), (std::vector<std::string>{
                                "ServiceThread Fall2_8", "bHidCallBackThread_in",
                                "ServiceThread Fall_8", "bHidCallBackThread_in",
                                "ServiceThread Fall_8", "bHidCallBackThread_in", started,
                                "bHidCallBackThread_end", "bHidCallBackThread_end",
                                "bHidCallBackThread_end"}));
}

TEST(ReaderStart, FallbackResultIsThatOfItsFirstAttempt) {
  {
    CHidDevice link(FailingThreadStarts());
    g_failuresLeft = 1;
    EXPECT_EQ(link.bHidCallBackThread(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  }
  CHidDevice link;
  EXPECT_EQ(link.bHidCallBackThread(), 0u);
  EXPECT_NE(g_hThread, nullptr);
}

}  // namespace

namespace {

// Reports as fast as the keyboard sends them: every one is read, and each
// named key is either posted once or dropped as a repeat, never both. The
// system keeps the latest 32 reports for each handle, as Windows does by
// default, and the reader takes one each 10 ms: bursts of 30 come, each once
// the one before was read. ORVANE_FULL_RATE_REPORTS sets the count (make
// bench runs the long form).
TEST_F(ReaderTest, ReportsAtFullRateArePostedExactlyAsTheFilterLetsThemThrough) {
  const char* count = std::getenv("ORVANE_FULL_RATE_REPORTS");
  const int kReports = count ? std::atoi(count) : 300;
  std::vector<std::string> messages;
  auto linesRead = [&] {
    messages = log.Messages();
    return static_cast<int>(std::count_if(messages.begin(), messages.end(), [](const std::string& m) {
      return m.rfind("128: ", 0) == 0;
    }));
  };
  for (int i = 0; i < kReports;) {
    for (int burstEnd = std::min(i + 30, kReports); i < burstEnd; ++i) {
      // Runs of the same key with a key-up report now and then.
      uint8_t key = (i / 7) % 2 ? 0x10 : 0x20;
      keyboard.SendInputReport(i % 5 == 4 ? Report(0, 0, 0, i) : Report(0, key, 0, i));
    }
    for (int waited = 0; linesRead() < i && waited < 10000; waited += 20) Sleep(20);
  }
  int lines = 0, posts = 0, repeats = 0;
  for (const std::string& message : messages) {
    lines += message.rfind("128: ", 0) == 0;
    posts += message == "PostMessage";
    repeats += message.rfind("Repeat EP:", 0) == 0;
  }
  EXPECT_EQ(lines, kReports);
  EXPECT_EQ(posts + repeats, kReports - kReports / 5);  // every report that names a key
  EXPECT_GT(repeats, 0);
  std::vector<WPARAM> posted = events.Collect(posts + 1, 2000);
  EXPECT_EQ(static_cast<int>(posted.size()), posts);
}

}  // namespace
