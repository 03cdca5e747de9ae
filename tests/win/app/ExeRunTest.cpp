// The built program started as a user would, and watched from outside.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "fw/UniqueHandle.h"
#include "tests/win/support/StartedProgram.h"

namespace {

const wchar_t kTitle[] = L"Orvane_Keyboard_Hid";

struct WinEventHookTraits {
  using Type = HWINEVENTHOOK;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { UnhookWinEvent(h); }
};

int g_windowsCreated = 0;

void CALLBACK CountWindowCreation(HWINEVENTHOOK, DWORD, HWND, LONG object, LONG, DWORD, DWORD) {
  if (object == OBJID_WINDOW) ++g_windowsCreated;
}

class ExeRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(FindWindowW(nullptr, kTitle), nullptr) << "an instance runs already";
  }
};

// Administrator rights are asked for in the manifest; Wine ignores that,
// so a plain start must work.
TEST_F(ExeRunTest, StartedProgramHasItsHiddenToolWindow) {
  CStartedProgram program;
  ASSERT_TRUE(program.Started());
  HWND window = program.WaitForWindow();
  ASSERT_NE(window, nullptr);

  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE), WS_EX_TOOLWINDOW);
  EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & (WS_POPUP | WS_VISIBLE), static_cast<LONG>(WS_POPUP));
  RECT rect;
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.left, 100);
  EXPECT_EQ(rect.top, 100);
  EXPECT_EQ(rect.right, 200);
  EXPECT_EQ(rect.bottom, 200);
  EXPECT_TRUE(program.Running());
}

TEST_F(ExeRunTest, SecondStartEndsWithCodeZeroWithoutAWindowAndTheFirstRunsOn) {
  CStartedProgram first;
  HWND window = first.WaitForWindow();
  ASSERT_NE(window, nullptr);

  // Held at its start until the hook watches every window it makes.
  CStartedProgram second(CREATE_SUSPENDED);
  ASSERT_TRUE(second.Started());
  g_windowsCreated = 0;
  CUniqueHandle<WinEventHookTraits> hook(
      SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr, CountWindowCreation,
                      second.Id(), 0, WINEVENT_OUTOFCONTEXT));
  ASSERT_TRUE(hook.IsValid());
  second.Resume();
  EXPECT_EQ(second.WaitForExit(), 0u);
  EXPECT_EQ(g_windowsCreated, 0);

  EXPECT_TRUE(first.Running());
  EXPECT_EQ(FindWindowW(nullptr, kTitle), window);
}

TEST_F(ExeRunTest, ClosingTheWindowEndsTheProgramAndANewStartSucceeds) {
  {
    CStartedProgram program;
    HWND window = program.WaitForWindow();
    ASSERT_NE(window, nullptr);
    // Within the start-up worker's 10 s wait, which must not hold up the end.
    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    EXPECT_EQ(program.WaitForExit(), 0u);
  }

  CStartedProgram again;
  HWND window = again.WaitForWindow();
  ASSERT_NE(window, nullptr) << "the instance mutex outlived the first program";
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(again.WaitForExit(), 0u);
}

}  // namespace
