// The built utility started as a user would, and watched from outside.
#pragma once

#include <windows.h>

#include <cwchar>
#include <string>

#include "fw/UniqueHandle.h"
#include "tests/win/support/ExeTestSupport.h"
#include "tests/win/support/TestJob.h"

// Generous: Wine starts processes slowly on a busy machine.
const DWORD kPatienceMs = 20000;

// One started process; ended if a test leaves it running.
class CStartedProgram {
 public:
  // program: a path, or a name beside the test programs.
  explicit CStartedProgram(DWORD creationFlags = 0,
                           const wchar_t* program = L"Orvane_Keyboard_Hid.exe",
                           const std::wstring& arguments = L"") {
    std::wstring path = wcschr(program, L'\\') ? program : BesideTests(program);
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    m_started = CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                               creationFlags, nullptr, nullptr, &startup, &info);
    if (m_started) AssignProcessToJobObject(TestJob(), info.hProcess);
    m_process.Reset(info.hProcess);
    m_thread.Reset(info.hThread);
    m_id = info.dwProcessId;
  }
  ~CStartedProgram() {
    if (Running()) {
      TerminateProcess(m_process.Get(), 1);
      WaitForSingleObject(m_process.Get(), kPatienceMs);
    }
  }

  bool Started() const { return m_started; }
  bool Running() const {
    return m_process && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT;
  }

  // The program's main window, once it has made it and waits for messages
  // (the title is findable before the window's creation is over); null if it
  // never does or the process ends first.
  HWND WaitForWindow() const {
    for (DWORD waited = 0; waited < kPatienceMs && Running(); waited += 50) {
      if (HWND window = OwnWindow()) {
        WaitForInputIdle(m_process.Get(), kPatienceMs);
        return window;
      }
      Sleep(50);
    }
    return OwnWindow();
  }

  // Exit code, or STILL_ACTIVE if it does not end in time. Messages are
  // dispatched meanwhile, for window-event hooks of this thread.
  DWORD WaitForExit() const {
    HANDLE process = m_process.Get();
    DWORD start = GetTickCount();
    DWORD elapsed;
    while ((elapsed = GetTickCount() - start) < kPatienceMs &&
           MsgWaitForMultipleObjects(1, &process, FALSE, kPatienceMs - elapsed, QS_ALLINPUT) ==
               WAIT_OBJECT_0 + 1) {
      DispatchWaiting();
    }
    DispatchWaiting();  // what was posted just before the end
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);
    return code;
  }

  void Resume() const { ResumeThread(m_thread.Get()); }
  HANDLE Process() const { return m_process.Get(); }
  HANDLE MainThread() const { return m_thread.Get(); }
  DWORD Id() const { return m_id; }

 private:
  static void DispatchWaiting() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }

  HWND OwnWindow() const {
    HWND window = FindWindowW(nullptr, L"Orvane_Keyboard_Hid");
    DWORD owner = 0;
    if (window) GetWindowThreadProcessId(window, &owner);
    return owner == m_id ? window : nullptr;
  }

  bool m_started = false;
  CKernelHandle m_process;
  CKernelHandle m_thread;
  DWORD m_id = 0;
};

