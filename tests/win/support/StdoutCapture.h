// Catches what the process writes to its standard output while the object
// lives (the C runtime's stdout, file descriptor 1), and gives it back.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

class CStdoutCapture {
 public:
  CStdoutCapture() {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"out", 0, m_path);
    std::fflush(stdout);
    m_saved = _dup(1);
    int file = _wopen(m_path, _O_WRONLY | _O_TRUNC | _O_BINARY);
    _dup2(file, 1);
    _close(file);
  }
  ~CStdoutCapture() {
    Stop();
    DeleteFileW(m_path);
  }
  CStdoutCapture(const CStdoutCapture&) = delete;
  CStdoutCapture& operator=(const CStdoutCapture&) = delete;

  // Ends the capture (once) and returns everything written.
  std::string Text() {
    Stop();
    std::string text;
    if (FILE* file = _wfopen(m_path, L"rb")) {
      char chunk[512];
      for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, got);
      std::fclose(file);
    }
    return text;
  }

 private:
  void Stop() {
    if (m_saved < 0) return;
    std::fflush(stdout);
    _dup2(m_saved, 1);
    _close(m_saved);
    m_saved = -1;
  }

  wchar_t m_path[MAX_PATH] = {};
  int m_saved = -1;
};
