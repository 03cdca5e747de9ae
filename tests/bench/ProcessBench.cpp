// Start-up time and memory of the utility (the build with the virtual
// keyboard) against the minimal hidden-window program, measured from outside
// the way a person's task manager would. Prints one "name value" line per
// figure.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/win/support/HandleCount.h"
#include "tests/win/support/StartedProgram.h"
#include "tests/win/support/VkbdProcess.h"

namespace {

struct Counters {
  SIZE_T privateBytes = 0;
  int handles = 0;
  DWORD gdiObjects = 0;
  DWORD userObjects = 0;
};

Counters Sample(DWORD processId) {
  Counters counters;
  CKernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  // The commit charge: what Windows shows as private bytes (Wine leaves
  // PrivateUsage at 0 but keeps this).
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  if (GetProcessMemoryInfo(process.Get(), &memory, sizeof memory)) {
    counters.privateBytes = memory.PagefileUsage;
  }
  counters.handles = CountProcessHandles(processId);
  counters.gdiObjects = GetGuiResources(process.Get(), GR_GDIOBJECTS);
  counters.userObjects = GetGuiResources(process.Get(), GR_USEROBJECTS);
  return counters;
}

void Print(const char* prefix, const Counters& counters) {
  std::printf("%s_private_kb %lu\n", prefix, static_cast<unsigned long>(counters.privateBytes / 1024));
  std::printf("%s_handles %d\n", prefix, counters.handles);
  std::printf("%s_gdi_objects %lu\n", prefix, counters.gdiObjects);
  std::printf("%s_user_objects %lu\n", prefix, counters.userObjects);
}

// Milliseconds from CreateProcess to the program's window; median of runs.
double StartupMs(const wchar_t* program, const wchar_t* title, int runs) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    DWORD start = GetTickCount();
    CStartedProgram started(0, program);
    HWND window = nullptr;
    while (!(window = FindWindowW(nullptr, title)) && GetTickCount() - start < kPatienceMs) Sleep(1);
    times.push_back(GetTickCount() - start);
    PostMessageW(window, WM_CLOSE, 0, 0);
    started.WaitForExit();
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// The minimal program, with words that add what the utility does (see
// MinimalWindow.cpp), sampled once it has waited for messages a while.
Counters SampleMinimal(const wchar_t* words) {
  CStartedProgram minimal(0, L"minimal_window.exe", words);
  HWND window = nullptr;
  while (!(window = FindWindowW(nullptr, L"Orvane_Minimal"))) Sleep(10);
  Sleep(2000);
  Counters counters = Sample(minimal.Id());
  PostMessageW(window, WM_CLOSE, 0, 0);
  minimal.WaitForExit();
  return counters;
}

// Single samples of the minimal program vary by some 100 KB: the middle of three.
SIZE_T MedianPrivateBytes(const wchar_t* words) {
  std::vector<SIZE_T> samples;
  for (int i = 0; i < 3; ++i) samples.push_back(SampleMinimal(words).privateBytes);
  std::sort(samples.begin(), samples.end());
  return samples[1];
}

// Waits until the process has used no CPU for a while: it has worked off
// what was queued for it.
void WaitUntilIdle(DWORD processId) {
  CKernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
  ULONGLONG last = ~0ULL;
  for (int quiet = 0; quiet < 4;) {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(process.Get(), &created, &exited, &kernel, &user);
    ULONGLONG used = (ULONGLONG(kernel.dwHighDateTime) << 32 | kernel.dwLowDateTime) +
                     (ULONGLONG(user.dwHighDateTime) << 32 | user.dwLowDateTime);
    quiet = used == last ? quiet + 1 : 0;
    last = used;
    Sleep(500);
  }
}

}  // namespace

int main(int argc, char** argv) {
  int events = argc > 1 ? std::atoi(argv[1]) : 10000;

  std::printf("startup_minimal_ms %.0f\n", StartupMs(L"minimal_window.exe", L"Orvane_Minimal", 5));
  std::printf("startup_utility_ms %.0f\n",
              StartupMs(L"Orvane_Keyboard_Hid.exe", L"Orvane_Keyboard_Hid", 5));

  Counters minimal = SampleMinimal(L"");
  minimal.privateBytes = MedianPrivateBytes(L"");
  Print("minimal", minimal);
  // What the utility adds to the minimal program at start, one item at a
  // time and all together; the rest of the difference is its own code and data.
  const wchar_t kLibraries[] =
      L"load:advapi32.dll load:gdi32.dll load:gdiplus.dll load:ole32.dll load:oleaut32.dll "
      L"load:shell32.dll load:wtsapi32.dll";
  const struct {
    const char* name;
    std::wstring words;
  } kItems[] = {
      {"minimal_ended_thread", L"threads:1"},
      {"minimal_waiting_thread", L"waiting:1"},
      {"minimal_second_window", L"window"},
      {"minimal_device_notification", L"notify"},
      {"minimal_libraries", kLibraries},
      {"minimal_com", L"com"},
      {"minimal_as_utility", std::wstring(L"threads:1 waiting:1 window notify ") + kLibraries},
  };
  for (const auto& item : kItems) {
    std::printf("%s_private_kb %lu\n", item.name,
                static_cast<unsigned long>(MedianPrivateBytes(item.words.c_str()) / 1024));
  }

  CVkbdProcess keyboard;
  keyboard.Command("plug");
  CStartedProgram utility(0, L"Orvane_Keyboard_Hid.exe");
  HWND window = utility.WaitForWindow();
  keyboard.WaitForFeatureReports(1, 60000);
  WaitUntilIdle(utility.Id());
  Print("utility_start", Sample(utility.Id()));
  // Microphone, lock, snip, Fn lock on and off in turn: each passes the
  // repeat filter, the microphone goes through Core Audio's objects every
  // time, and each Fn-lock event takes the OSD bar down and makes it anew.
  const char* const kPresses[] = {"press 02 08 00 00", "press 02 00 04 00", "press 02 00 02 00",
                                  "press 02 00 20 00", "press 02 00 10 00"};
  const int kPressKinds = sizeof kPresses / sizeof kPresses[0];
  // The first uses start COM and the audio service and load the bar's class
  // and images once: growth counts after. Samples are taken past the hide,
  // 3 s after the last request.
  for (int i = 0; i < 30; ++i) keyboard.Command(kPresses[i % kPressKinds]);
  Sleep(4000);
  WaitUntilIdle(utility.Id());
  Print("utility_warm", Sample(utility.Id()));
  for (int i = 0; i < events; ++i) keyboard.Command(kPresses[i % kPressKinds]);
  Sleep(4000);
  WaitUntilIdle(utility.Id());
  Print("utility_after", Sample(utility.Id()));
  std::printf("events %d\n", events);
  PostMessageW(window, WM_CLOSE, 0, 0);
  utility.WaitForExit();
  return 0;
}
