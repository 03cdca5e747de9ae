#include <gtest/gtest.h>
#include <windows.h>

#include <iterator>
#include <string>
#include <vector>

#include "fw/DllSearch.h"
#include "fw/FileFind.h"
#include "fw/RegisterWndClass.h"
#include "fw/WinApp.h"
#include "fw/Wnd.h"

namespace {

const UINT kPing = WM_USER + 1;
const UINT kBaseOnly = WM_USER + 2;
const UINT kSaveCommand = 5;
const UINT kQuitCommand = 6;

// A base window with a map of its own, and a derived one that chains to it.
class CBaseWnd : public CWnd {
 public:
  const MessageMap* GetMessageMap() const override {
    static const MessageMapEntry entries[] = {
        MapMessage(kPing, &CBaseWnd::OnPing),
        MapMessage(kBaseOnly, &CBaseWnd::OnBaseOnly),
    };
    static const MessageMap map = {CWnd::GetMessageMap(), entries, std::size(entries)};
    return &map;
  }

  BOOL Create() {
    return CreateEx(0, AfxRegisterWndClass(0), L"fw test", WS_POPUP, 0, 0, 10, 10, nullptr,
                    nullptr);
  }

  std::vector<std::string> m_calls;

 protected:
  LRESULT OnPing(WPARAM, LPARAM) {
    m_calls.push_back("base ping");
    return 1;
  }
  LRESULT OnBaseOnly(WPARAM wParam, LPARAM lParam) {
    m_calls.push_back("base only " + std::to_string(wParam) + " " + std::to_string(lParam));
    return 2;
  }
};

class CTestWnd : public CBaseWnd {
 public:
  const MessageMap* GetMessageMap() const override {
    static const MessageMapEntry entries[] = {
        MapCreate(&CTestWnd::OnCreate),
        MapMessage(kPing, &CTestWnd::OnPing),
        MapMessage(WM_SETTEXT, &CTestWnd::OnSetText),
        MapCommand(kSaveCommand, &CTestWnd::OnSave),
        MapCommand(kQuitCommand, &CTestWnd::OnQuitCommand),
        MapTimer(&CTestWnd::OnTimer),
        MapDestroy(&CTestWnd::OnDestroy),
    };
    static const MessageMap map = {CBaseWnd::GetMessageMap(), entries, std::size(entries)};
    return &map;
  }

  bool m_failCreate = false;
  std::vector<UINT_PTR> m_timers;
  int m_destroyed = 0;

 protected:
  int OnCreate(LPCREATESTRUCTW create) {
    m_calls.push_back("create");
    if (m_failCreate) return -1;
    return CWnd::OnCreate(create);
  }
  LRESULT OnPing(WPARAM wParam, LPARAM lParam) {
    m_calls.push_back("ping " + std::to_string(wParam) + " " + std::to_string(lParam));
    return 42;
  }
  // Sends another message to itself, then asks for default processing of
  // the outer one.
  LRESULT OnSetText(WPARAM, LPARAM) {
    m_calls.push_back("settext");
    SendMessageW(m_hWnd, kPing, 3, 4);
    return Default();
  }
  void OnSave() { m_calls.push_back("save"); }
  void OnQuitCommand() { DestroyWindow(m_hWnd); }
  void OnTimer(UINT_PTR timerId) {
    m_timers.push_back(timerId);
    KillTimer(m_hWnd, timerId);
    CWnd::OnTimer(timerId);
  }
  void OnDestroy() {
    ++m_destroyed;
    CWnd::OnDestroy();
  }
};

std::wstring WindowText(HWND hwnd) {
  wchar_t text[64] = {};
  GetWindowTextW(hwnd, text, 64);
  return text;
}

class CCountingApp : public CWinApp {
 public:
  int ExitInstance() override {
    ++m_exits;
    return CWinApp::ExitInstance();
  }
  int m_exits = 0;
};

TEST(MessageMapTest, MappedMessageReachesItsHandlerWithItsArguments) {
  CTestWnd wnd;
  ASSERT_TRUE(wnd.Create());
  EXPECT_EQ(wnd.m_calls, std::vector<std::string>{"create"});
  EXPECT_EQ(SendMessageW(wnd.m_hWnd, kPing, 7, 8), 42);
  EXPECT_EQ(wnd.m_calls.back(), "ping 7 8");
}

TEST(MessageMapTest, DerivedMapComesFirstAndUnmatchedRowsFallToTheBaseMap) {
  CTestWnd wnd;
  ASSERT_TRUE(wnd.Create());
  wnd.m_calls.clear();
  EXPECT_EQ(SendMessageW(wnd.m_hWnd, kPing, 0, 0), 42);       // both maps have it
  EXPECT_EQ(SendMessageW(wnd.m_hWnd, kBaseOnly, 5, 6), 2);    // only the base has it
  EXPECT_EQ(wnd.m_calls, (std::vector<std::string>{"ping 0 0", "base only 5 6"}));
}

TEST(MessageMapTest, UnmappedMessageGetsDefaultProcessing) {
  CBaseWnd wnd;  // its map has no WM_SETTEXT row
  ASSERT_TRUE(wnd.Create());
  EXPECT_TRUE(wnd.SetWindowText(L"renamed"));
  EXPECT_EQ(WindowText(wnd.m_hWnd), L"renamed");
  EXPECT_TRUE(wnd.m_calls.empty());
}

TEST(MessageMapTest, DefaultProcessesTheMessageItWasCalledForAfterNestedMessages) {
  CTestWnd wnd;
  ASSERT_TRUE(wnd.Create());
  wnd.m_calls.clear();
  EXPECT_TRUE(wnd.SetWindowText(L"after nesting"));
  EXPECT_EQ(WindowText(wnd.m_hWnd), L"after nesting");
  EXPECT_EQ(wnd.m_calls, (std::vector<std::string>{"settext", "ping 3 4"}));
}

TEST(MessageMapTest, CommandsMatchOnTheLowWordOfTheIdAndOthersChangeNothing) {
  CTestWnd wnd;
  ASSERT_TRUE(wnd.Create());
  wnd.m_calls.clear();
  EXPECT_EQ(SendMessageW(wnd.m_hWnd, WM_COMMAND, MAKEWPARAM(kSaveCommand, 1), 0), 0);
  EXPECT_EQ(wnd.m_calls, std::vector<std::string>{"save"});

  for (WPARAM id : {WPARAM{0}, WPARAM{7}, WPARAM{1123}, WPARAM{0xFFFFFFFF}}) {
    EXPECT_EQ(SendMessageW(wnd.m_hWnd, WM_COMMAND, id, 0), 0) << id;
  }
  EXPECT_EQ(wnd.m_calls, std::vector<std::string>{"save"});
  EXPECT_TRUE(IsWindow(wnd.m_hWnd));
  EXPECT_EQ(wnd.m_destroyed, 0);
}

TEST(MessageMapTest, TimerRowGetsTheTimerId) {
  CTestWnd wnd;
  ASSERT_TRUE(wnd.Create());
  ASSERT_NE(SetTimer(wnd.m_hWnd, 100099, 1, nullptr), 0u);
  MSG msg;
  for (int i = 0; i < 500 && wnd.m_timers.empty(); ++i) {
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    else Sleep(10);
  }
  EXPECT_EQ(wnd.m_timers, std::vector<UINT_PTR>{100099});
}

TEST(WndTest, FailedOnCreateFailsCreationAndLeavesNoWindow) {
  CTestWnd wnd;
  wnd.m_failCreate = true;
  EXPECT_FALSE(wnd.Create());
  EXPECT_EQ(wnd.m_hWnd, nullptr);
  EXPECT_EQ(FindWindowW(nullptr, L"fw test"), nullptr);
}

TEST(WndTest, DestroyingTheWindowRunsOnDestroyAndUnbindsTheObject) {
  CTestWnd wnd;
  ASSERT_TRUE(wnd.Create());
  HWND hwnd = wnd.m_hWnd;
  EXPECT_TRUE(DestroyWindow(hwnd));
  EXPECT_EQ(wnd.m_destroyed, 1);
  EXPECT_EQ(wnd.m_hWnd, nullptr);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST(WndTest, DeletingTheObjectDestroysItsWindow) {
  auto wnd = std::make_unique<CBaseWnd>();
  ASSERT_TRUE(wnd->Create());
  HWND hwnd = wnd->m_hWnd;
  wnd.reset();
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST(WinAppTest, DestroyingTheMainWindowEndsRun) {
  CCountingApp app;
  CTestWnd wnd;
  ASSERT_TRUE(wnd.Create());
  app.m_pMainWnd = &wnd;
  // Sent from inside the loop, as another program's command would be.
  PostMessageW(wnd.m_hWnd, WM_COMMAND, kQuitCommand, 0);
  EXPECT_EQ(app.Run(), 0);
  EXPECT_EQ(app.m_exits, 1);
  EXPECT_EQ(app.m_pMainWnd, nullptr);
  EXPECT_EQ(wnd.m_destroyed, 1);
}

TEST(WinAppTest, DestroyingAnotherWindowDoesNotEndRun) {
  CCountingApp app;
  CTestWnd mainWnd, other;
  ASSERT_TRUE(mainWnd.Create());
  ASSERT_TRUE(other.Create());
  app.m_pMainWnd = &mainWnd;
  PostMessageW(other.m_hWnd, WM_COMMAND, kQuitCommand, 0);
  // Posted after the first, so it arrives only if the loop is still running.
  PostMessageW(mainWnd.m_hWnd, WM_COMMAND, kQuitCommand, 0);
  EXPECT_EQ(app.Run(), 0);
  EXPECT_EQ(other.m_destroyed, 1);
  EXPECT_EQ(mainWnd.m_destroyed, 1);
}

TEST(WinAppTest, RunEndsAtOnceWithoutAMainWindow) {
  CCountingApp app;
  EXPECT_EQ(app.Run(), 0);
  EXPECT_EQ(app.m_exits, 1);

  // A main window object whose creation failed cannot end the loop either.
  CTestWnd failed;
  failed.m_failCreate = true;
  ASSERT_FALSE(failed.Create());
  app.m_pMainWnd = &failed;
  EXPECT_EQ(app.Run(), 0);
  EXPECT_EQ(app.m_exits, 2);
}

TEST(RegisterWndClassTest, OneClassPerStyleSetWithTheGivenStyle) {
  LPCWSTR plain = AfxRegisterWndClass(0);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(AfxRegisterWndClass(0), plain);  // cached, not registered again
  LPCWSTR dblclks = AfxRegisterWndClass(CS_DBLCLKS);
  ASSERT_NE(dblclks, nullptr);
  EXPECT_NE(std::wstring(dblclks), std::wstring(plain));
  HBRUSH brush = GetSysColorBrush(COLOR_WINDOW);
  LPCWSTR brushed = AfxRegisterWndClass(0, nullptr, brush);
  EXPECT_NE(std::wstring(brushed), std::wstring(plain));

  WNDCLASSEXW info = {};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), dblclks, &info));
  EXPECT_EQ(info.style, static_cast<UINT>(CS_DBLCLKS));
  EXPECT_EQ(info.lpfnWndProc, &CWnd::WndProc);
  ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), brushed, &info));
  EXPECT_EQ(info.hbrBackground, brush);
  EXPECT_EQ(info.hCursor, nullptr);
}

TEST(FileFindTest, FindsExistingFilesAndWildcardsOnly) {
  wchar_t folder[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
  std::wstring path = std::wstring(folder) + L"fw_filefind_test.ini";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);

  CFileFind finder;
  EXPECT_TRUE(finder.FindFile(path.c_str()));
  EXPECT_TRUE(finder.FindFile((std::wstring(folder) + L"fw_filefind_*.ini").c_str()));
  EXPECT_FALSE(finder.FindFile((std::wstring(folder) + L"fw_filefind_missing.ini").c_str()));
  EXPECT_FALSE(finder.FindFile(L""));
  // The search handle is not held: the file can be deleted at once.
  EXPECT_TRUE(DeleteFileW(path.c_str()));
  EXPECT_FALSE(finder.FindFile(path.c_str()));
}

}  // namespace

// Last in the program: the restriction holds for the rest of the process.
TEST(DllSearchTest, ABareNameIsNoLongerLookedForBesideTheExecutable) {
  HMODULE beside = LoadLibraryW(L"orvane_marker.dll");
  ASSERT_NE(beside, nullptr) << "the marker library lies beside the tests";
  FreeLibrary(beside);
  LoadLibrariesFromSystemOnly();
  EXPECT_EQ(LoadLibraryW(L"orvane_marker.dll"), nullptr);
  EXPECT_NE(LoadSystemLibrary(L"uiautomationcore.dll"), nullptr);
}
