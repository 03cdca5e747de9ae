#include "log/Log.h"

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "fw/FileFind.h"
#include "fw/UniqueHandle.h"
#include "log/LogStamp.h"

// Off at start; only the diagnostic build of the utility turns it on.
int g_bLogEnabled = 0;

namespace {

const wchar_t kDriveRoot[] = L"C:\\";
const wchar_t kLogRelativePath[] = L"LOG\\Orvane_Keyboard.log";

// Lines come from the window thread and both worker threads.
std::mutex g_logMutex;

std::wstring Widen(const char* text, UINT codePage) {
  int size = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring wide(size, L'\0');
  MultiByteToWideChar(codePage, 0, text, -1, &wide[0], size);
  wide.resize(size - 1);
  return wide;
}

}  // namespace

std::string ToAnsi(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string narrow(size, '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr);
  narrow.resize(size - 1);
  return narrow;
}

namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

// What vsnprintf would make of format and args, with three differences: a
// "%S" argument reaches the text through the ANSI code page, as the rest
// of the line does, not through the runtime's "C" locale, which knows no
// character beyond ASCII; a conversion that cannot be rendered costs only
// itself, not the line; and a conversion this does not know (a float, a
// "*" width, a wide "%ls", a length such as I64 or z) ends the line there,
// as it stands, since the size of its argument, and so of every one after
// it, is unknown. Cut at 1023 characters, as the buffer was.
std::string FormatMessageText(const char* format, va_list args)
    __attribute__((format(printf, 1, 0)));
std::string FormatMessageText(const char* format, va_list args) {
  std::string text;
  for (const char* p = format; *p;) {
    if (*p != '%') {
      text += *p++;
      continue;
    }
    const char* start = p++;
    while (*p && std::strchr("-+ #0123456789.", *p)) ++p;
    const char* lengthStart = p;
    while (*p && std::strchr("hl", *p)) ++p;
    if (!*p) {
      text += start;  // a lone conversion at the end stands as written
      break;
    }
    const std::string length(lengthStart, p);
    std::string spec(start, ++p);
    const bool integer = std::strchr("cdiouxX", spec.back()) &&
                         (length.empty() || (spec.back() != 'c' && length.size() <= 2 &&
                                             length != "lh" && length != "hl"));
    char piece[1024];
    int written = -1;
#pragma GCC diagnostic push
// Each spec is one conversion cut from the format, which LogWrite's callers have checked.
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    if (spec.back() == '%' && length.empty()) {
      text += '%';
      continue;
    } else if (spec.back() == 'S' && length.empty()) {
      const wchar_t* wide = va_arg(args, const wchar_t*);
      spec.back() = 's';
      written = std::snprintf(piece, sizeof piece, spec.c_str(), wide ? ToAnsi(wide).c_str() : "(null)");
    } else if (spec.back() == 's' && length.empty()) {
      written = std::snprintf(piece, sizeof piece, spec.c_str(), va_arg(args, const char*));
    } else if (integer && length == "ll") {
      written = std::snprintf(piece, sizeof piece, spec.c_str(), va_arg(args, long long));
    } else if (integer) {
      written = std::snprintf(piece, sizeof piece, spec.c_str(), va_arg(args, int));
    } else if (spec.back() == 'p' && length.empty()) {
      written = std::snprintf(piece, sizeof piece, spec.c_str(), va_arg(args, void*));
    } else {
      break;
    }
#pragma GCC diagnostic pop
    if (written > 0) text.append(piece, std::min<size_t>(written, sizeof piece - 1));
  }
  if (text.size() > 1023) text.resize(1023);
  return text;
}

}  // namespace

void LogWrite(const char* format, ...) {
  if (g_bLogEnabled != 1) return;

  va_list args;
  va_start(args, format);
  std::string message = FormatMessageText(format, args);
  va_end(args);

  LogAppendLine(Widen(message.c_str(), CP_THREAD_ACP).c_str(), 0);
}

void LogAppendLine(const wchar_t* text, int mode) {
  if (g_bLogEnabled != 1) return;

  std::wstring path = std::wstring(kDriveRoot) + kLogRelativePath;

  // Stamped under the lock, so the lines' stamps run in file order.
  std::lock_guard<std::mutex> lock(g_logMutex);
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::string stamp = FormatLogStamp(now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  std::string line = ToAnsi(Widen(stamp.c_str(), CP_ACP) + text);

  if (!CFileFind().FindFile(path.c_str())) EnsureLogFolder(kLogRelativePath);
  std::unique_ptr<FILE, FileCloser> file(
      std::fopen(ToAnsi(path).c_str(), mode == 1 ? "wt" : "at"));
  if (!file) return;
  // Written literally: a percent sign in the message stays as it is.
  std::fputs(line.c_str(), file.get());
  std::fputs("\n", file.get());
}

int EnsureLogFolder(const wchar_t* relativePath) {
  std::wstring relative(relativePath);
  std::wstring full = kDriveRoot + relative;
  if (full.size() >= MAX_PATH) return 1;

  CFileHandle created(CreateFileW(full.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (created) return 0;

  // Make each folder on the way; the part after the last backslash is the file.
  for (size_t slash = relative.find(L'\\'); slash != std::wstring::npos;
       slash = relative.find(L'\\', slash + 1)) {
    std::wstring folder = kDriveRoot + relative.substr(0, slash);
    WIN32_FIND_DATAW found;
    CFindHandle find(FindFirstFileW(folder.c_str(), &found));
    if (!find || !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      CreateDirectoryW(folder.c_str(), nullptr);
    }
  }
  return 1;
}
