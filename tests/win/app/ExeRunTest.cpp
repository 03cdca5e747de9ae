// The built program started as a user would, and watched from outside.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

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

const wchar_t kMarker[] = L"orvane_marker.dll";

bool HoldsMarker(DWORD processId) {
  CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
  MODULEENTRY32W module = {};
  module.dwSize = sizeof module;
  for (BOOL more = Module32FirstW(snapshot.Get(), &module); more;
       more = Module32NextW(snapshot.Get(), &module)) {
    if (_wcsicmp(module.szModule, kMarker) == 0) return true;
  }
  return false;
}

// Has the running program load `library` on a thread of its own, searched
// as a load by its own code would be.
void LoadInto(HANDLE process, const std::wstring& library) {
  size_t bytes = (library.size() + 1) * sizeof(wchar_t);
  void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(remote, nullptr);
  ASSERT_TRUE(WriteProcessMemory(process, remote, library.c_str(), bytes, nullptr));
  // kernel32 lies at the same address in every process of one bitness.
  auto start = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW")));
  CKernelHandle thread(CreateRemoteThread(process, nullptr, 0, start, remote, 0, nullptr));
  ASSERT_TRUE(thread.IsValid()) << "error " << GetLastError();
  EXPECT_EQ(WaitForSingleObject(thread.Get(), kPatienceMs), WAIT_OBJECT_0);
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
}

// The marker library lies beside the program: a load by bare name must not
// find it there, one by full path must (or the check could not see it).
void ExpectNoLibraryFromItsFolder(const CStartedProgram& program) {
  LoadInto(program.Process(), kMarker);
  EXPECT_FALSE(HoldsMarker(program.Id())) << "a bare name was looked for beside the program";
  LoadInto(program.Process(), BesideTests(kMarker));
  EXPECT_TRUE(HoldsMarker(program.Id()));
}

// Where ExitProcess begins, in ntdll, which lies at the same address in all
// processes of one bitness.
void* ExitEntry() {
  return reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlExitUserProcess"));
}

bool Reaches(HANDLE thread, void* address) {
  for (DWORD waited = 0; waited < kPatienceMs; waited += 50) {
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    SuspendThread(thread);
    BOOL got = GetThreadContext(thread, &context);
    ResumeThread(thread);
#ifdef _WIN64
    if (got && context.Rip == reinterpret_cast<DWORD64>(address)) return true;
#else
    if (got && context.Eip == reinterpret_cast<DWORD>(address)) return true;
#endif
    Sleep(50);
  }
  return false;
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

TEST_F(ExeRunTest, UtilityLoadsNoLibraryFromItsFolder) {
  CStartedProgram program;
  HWND window = program.WaitForWindow();
  ASSERT_NE(window, nullptr);
  ExpectNoLibraryFromItsFolder(program);
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(program.WaitForExit(), 0u);
}

// The task tool ends at once (without arguments it only prints its usage).
// Its end, made a jump to itself before it starts, holds it there with all
// its own work done.
TEST_F(ExeRunTest, TaskToolLoadsNoLibraryFromItsFolder) {
  CStartedProgram program(CREATE_SUSPENDED, L"orvane_logon_task.exe");
  ASSERT_TRUE(program.Started());
  const unsigned char jumpToItself[] = {0xEB, 0xFE};
  ASSERT_TRUE(WriteProcessMemory(program.Process(), ExitEntry(), jumpToItself,
                                 sizeof jumpToItself, nullptr));
  program.Resume();
  ASSERT_TRUE(Reaches(program.MainThread(), ExitEntry()));
  ExpectNoLibraryFromItsFolder(program);
}

}  // namespace
