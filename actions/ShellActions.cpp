#include "actions/ShellActions.h"

#include <shellapi.h>

#include "fw/UniqueHandle.h"
#include "log/Log.h"
#include "fw/SystemInfo.h"

const KeyStep kWinI[4] = {{VK_LWIN, false}, {'I', false}, {'I', true}, {VK_LWIN, true}};
const KeyStep kWinShiftS[6] = {{VK_LWIN, false}, {VK_LSHIFT, false}, {'S', false},
                               {'S', true},      {VK_LSHIFT, true},  {VK_LWIN, true}};

const wchar_t kSnippingToolSystem32[] = L"c:\\windows\\system32\\SnippingTool.exe";
// A 32-bit process on 64-bit Windows sees the 32-bit system folder under
// system32; sysnative is the way to the 64-bit one, where the tool lives.
const wchar_t kSnippingToolSysnative[] = L"c:\\windows\\sysnative\\SnippingTool.exe";

namespace {

const DWORD kKeyPauseMs = 10;

}  // namespace

ShellCalls::ShellCalls()
    : getNtVersion(GetNtVersion),
      isWow64(IsWow64),
      shellExecute(ShellExecuteW),
      createProcess(CreateProcessW),
      lockWorkStation(LockWorkStation) {}

void InjectKeys(const KeyStep* steps, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    keybd_event(steps[i].vk, 0, steps[i].up ? KEYEVENTF_KEYUP : 0, 0);
    Sleep(kKeyPauseMs);
  }
}

void SendSettingsShortcut() { InjectKeys(kWinI); }

void StartScreenSnip(const ShellCalls& calls) {
  DWORD major = 0, minor = 0, build = 0;
  calls.getNtVersion(&major, &minor, &build);
  // Asked on every branch, also where the path goes unused.
  const wchar_t* path = calls.isWow64() ? kSnippingToolSysnative : kSnippingToolSystem32;

  if (major == 10) {
    LogWrite("Setting Win+Shift+S_(Win10)");
    InjectKeys(kWinShiftS);
    return;
  }
  if (major == 6 && minor == 3) {
    calls.shellExecute(nullptr, L"open", path, nullptr, nullptr, SW_SHOW);
    return;
  }
  STARTUPINFOW startup = {};
  static_assert(sizeof startup == (sizeof(void*) == 4 ? 68 : 104), "the record the system expects");
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process = {};
  wchar_t commandLine[] = L"";  // CreateProcessW may write into it
  if (calls.createProcess(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
    // The tool runs on by itself; we keep nothing of it.
    CKernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
  }
}

void LockDesktop(const ShellCalls& calls) { calls.lockWorkStation(); }
