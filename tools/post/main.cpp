// orvane_post TITLE MESSAGE [WPARAM [LPARAM]]: posts one message to the
// window with that title, as a companion program or the system would (for
// example "orvane_post Orvane_Keyboard_Hid 0x111 6002" asks the utility to
// end). Numbers may be decimal or 0x-hex. Exit code 1 when no such window
// or the post fails (a window that runs elevated takes only the messages it
// lets in from lower ones), with the system's error.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <cwctype>

#include "fw/DllSearch.h"

namespace {

bool ParseNumber(const wchar_t* text, unsigned long* value) {
  wchar_t* end = nullptr;
  errno = 0;
  *value = std::wcstoul(text, &end, 0);
  return errno == 0 && end != text && *end == L'\0';
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  LoadLibrariesFromSystemOnly();  // it runs from the install folder, started by SYSTEM too
  unsigned long numbers[3] = {0, 0, 0};
  bool good = argc >= 3 && argc <= 5;
  for (int i = 2; good && i < argc; ++i) good = ParseNumber(argv[i], &numbers[i - 2]);
  if (!good) {
    std::fprintf(stderr, "usage: orvane_post TITLE MESSAGE [WPARAM [LPARAM]]\n");
    return 2;
  }
  HWND window = FindWindowW(nullptr, argv[1]);
  if (!window) {
    std::fprintf(stderr, "orvane_post: no window titled \"%ls\"\n", argv[1]);
    return 1;
  }
  if (PostMessageW(window, numbers[0], numbers[1], numbers[2])) return 0;
  DWORD error = GetLastError();
  wchar_t text[512] = L"";
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, text, 512, nullptr);
  while (length > 0 && std::iswspace(text[length - 1])) text[--length] = L'\0';  // its line end
  std::fprintf(stderr, "orvane_post: the post failed with error %lu: %ls\n", error, text);
  return 1;
}
