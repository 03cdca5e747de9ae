// The HID platform calls answered by the virtual keyboard: enumeration asks
// its control pipe, the queries and feature reports go through the opened
// collection handle itself.
#include <string>

#include "fw/UniqueHandle.h"
#include "hid/HidPlatform.h"
#include "tools/vkbd/VkbdProtocol.h"

namespace {

// One overlapped operation on a handle of the caller's, waited for.
bool WaitFor(HANDLE pipe, BOOL started, OVERLAPPED& overlapped, DWORD* transferred) {
  if (!started && GetLastError() != ERROR_IO_PENDING) return false;
  return GetOverlappedResult(pipe, &overlapped, transferred, TRUE) != FALSE;
}

bool Write(HANDLE pipe, const void* data, DWORD size) {
  CKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.Get();
  DWORD written = 0;
  return WaitFor(pipe, WriteFile(pipe, data, size, nullptr, &overlapped), overlapped, &written) &&
         written == size;
}

// A request and its reply, one message each. (Wine's overlapped
// TransactNamedPipe completes after the write, without the reply.)
bool Transact(HANDLE pipe, const std::string& request, void* reply, DWORD replySize,
              DWORD* replied) {
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr)) return false;
  if (!Write(pipe, request.data(), static_cast<DWORD>(request.size()))) return false;
  CKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED overlapped = {};
  overlapped.hEvent = event.Get();
  return WaitFor(pipe, ReadFile(pipe, reply, replySize, nullptr, &overlapped), overlapped,
                 replied);
}

}  // namespace

GUID HidClassGuid() { return kHidInterfaceClass; }

std::vector<std::wstring> EnumerateHidInterfacePaths(const GUID&) {
  std::vector<std::wstring> paths;
  CFileHandle control;
  for (int attempt = 0; attempt < 20 && !control; ++attempt) {
    control.Reset(CreateFileW(kVkbdControlPipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!control && GetLastError() != ERROR_PIPE_BUSY) break;  // no keyboard running
    if (!control) WaitNamedPipeW(kVkbdControlPipe, 100);
  }
  if (!control) return paths;

  std::wstring text(32 * 1024, L'\0');
  DWORD size = 0;
  if (!Transact(control.Get(), std::string(1, kVkbdList), &text[0],
                static_cast<DWORD>(text.size() * sizeof(wchar_t)), &size)) {
    return paths;
  }
  text.resize(size / sizeof(wchar_t));
  for (size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos;
       start = end + 1) {
    paths.push_back(text.substr(start, end - start));
  }
  return paths;
}

bool bQueryHidCollection(HANDLE device, HidInterfaceFacts* facts) {
  uint16_t reply[4];
  DWORD size = 0;
  if (!Transact(device, std::string(1, kVkbdQuery), reply, sizeof reply, &size) ||
      size != sizeof reply) {
    return false;
  }
  *facts = {reply[0], reply[1], reply[2], reply[3]};
  return true;
}

bool bHidSetFeature(HANDLE device, void* report, ULONG length) {
  std::string message(1, static_cast<char>(kVkbdSetFeature));
  message.append(static_cast<const char*>(report), length);
  uint8_t taken = 0;
  DWORD size = 0;
  return Transact(device, message, &taken, 1, &size) && size == 1 && taken == 1;
}
