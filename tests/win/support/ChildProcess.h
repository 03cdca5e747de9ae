// A program beside the test programs, started with its standard input and
// output on pipes, so a test can drive it line by line. Ended if the test
// leaves it running.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "fw/UniqueHandle.h"
#include "tests/win/support/ExeTestSupport.h"
#include "tests/win/support/TestJob.h"

class CChildProcess {
 public:
  CChildProcess(const std::wstring& program, const std::wstring& arguments);
  ~CChildProcess();
  CChildProcess(const CChildProcess&) = delete;
  CChildProcess& operator=(const CChildProcess&) = delete;

  bool Started() const { return m_process.IsValid(); }
  DWORD Id() const { return GetProcessId(m_process.Get()); }
  void WriteLine(const std::string& line);
  void CloseInput() { m_input.Reset(); }
  // The next whole line of output, without its line end; false when none
  // comes within the wait or the output ends.
  bool ReadLine(std::string& line, DWORD waitMs);
  // Exit code, or STILL_ACTIVE when it does not end within the wait.
  DWORD WaitForExit(DWORD waitMs);

 private:
  void ReadOutput();

  CKernelHandle m_process;
  CFileHandle m_input;
  CFileHandle m_output;
  std::thread m_reader;
  std::mutex m_mutex;
  std::condition_variable m_arrived;
  std::string m_buffer;
  bool m_ended = false;
};

inline CChildProcess::CChildProcess(const std::wstring& program, const std::wstring& arguments) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE childInput, childOutput, input, output;
  if (!CreatePipe(&childInput, &input, &inherit, 0)) return;
  CFileHandle childInputOwner(childInput);
  m_input.Reset(input);
  if (!CreatePipe(&output, &childOutput, &inherit, 0)) return;
  CFileHandle childOutputOwner(childOutput);
  m_output.Reset(output);
  SetHandleInformation(input, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);

  std::wstring path = BesideTests(program);
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childInput;
  startup.hStdOutput = childOutput;
  startup.hStdError = childOutput;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return;
  }
  AssignProcessToJobObject(TestJob(), info.hProcess);
  CloseHandle(info.hThread);
  m_process.Reset(info.hProcess);
  m_reader = std::thread([this] { ReadOutput(); });
}

inline CChildProcess::~CChildProcess() {
  m_input.Reset();  // a program reading commands ends at the end of its input
  if (m_process && WaitForSingleObject(m_process.Get(), 10000) == WAIT_TIMEOUT) {
    TerminateProcess(m_process.Get(), 1);
  }
  if (m_reader.joinable()) m_reader.join();
}

inline void CChildProcess::ReadOutput() {
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(m_output.Get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_buffer.append(chunk, read);
    m_arrived.notify_all();
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  m_ended = true;
  m_arrived.notify_all();
}

inline void CChildProcess::WriteLine(const std::string& line) {
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(m_input.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

inline bool CChildProcess::ReadLine(std::string& line, DWORD waitMs) {
  std::unique_lock<std::mutex> lock(m_mutex);
  bool whole = m_arrived.wait_for(lock, std::chrono::milliseconds(waitMs), [this] {
    return m_buffer.find('\n') != std::string::npos || m_ended;
  });
  size_t end = m_buffer.find('\n');
  if (!whole || end == std::string::npos) return false;
  line = m_buffer.substr(0, end);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  m_buffer.erase(0, end + 1);
  return true;
}

inline DWORD CChildProcess::WaitForExit(DWORD waitMs) {
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(m_process.Get(), waitMs) == WAIT_OBJECT_0) {
    GetExitCodeProcess(m_process.Get(), &code);
  }
  return code;
}
