// The keys that stand for things Windows already does: Win+I (Settings), a
// screen snip (Win+Shift+S, or the Snipping Tool before Windows 10), and
// locking the workstation. Run on the window thread; they block it for the
// 10 ms pauses between injected keys and report no failure.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>

// One injected key: a virtual-key code, pressed or released.
struct KeyStep {
  BYTE vk;
  bool up;
};

extern const KeyStep kWinI[4];
extern const KeyStep kWinShiftS[6];

extern const wchar_t kSnippingToolSystem32[];
extern const wchar_t kSnippingToolSysnative[];

// The system calls of the snip and the lock. Real by default; tests (and
// the simulation build) stand in for a version, a WOW64 answer, the process
// start and the lock, none of which Wine can show.
struct ShellCalls {
  std::function<void(DWORD* major, DWORD* minor, DWORD* build)> getNtVersion;
  std::function<BOOL()> isWow64;
  std::function<HINSTANCE(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                          LPCWSTR directory, INT show)>
      shellExecute;
  std::function<BOOL(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                     LPSECURITY_ATTRIBUTES, BOOL inherit, DWORD flags, LPVOID environment,
                     LPCWSTR directory, LPSTARTUPINFOW, LPPROCESS_INFORMATION)>
      createProcess;
  std::function<BOOL()> lockWorkStation;

  ShellCalls();
};

// keybd_event for each step (scan code 0, extra information 0), each followed
// by a 10 ms pause.
void InjectKeys(const KeyStep* steps, size_t count);

template <size_t N>
void InjectKeys(const KeyStep (&steps)[N]) {
  InjectKeys(steps, N);
}

// Win+I.
void SendSettingsShortcut();

// Win+Shift+S on Windows 10; the Snipping Tool on 6.3 by ShellExecuteW, on
// any other version by CreateProcessW with a hidden window.
void StartScreenSnip(const ShellCalls& calls = ShellCalls());

void LockDesktop(const ShellCalls& calls = ShellCalls());
