// Switches the diagnostic log on for one test, from an empty file, and reads
// back the messages written (time stamps cut off).
#pragma once

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "log/Log.h"

class CLogCapture {
 public:
  CLogCapture() {
    DeleteFileA(kPath);
    g_bLogEnabled = 1;
  }
  ~CLogCapture() { g_bLogEnabled = 0; }
  CLogCapture(const CLogCapture&) = delete;
  CLogCapture& operator=(const CLogCapture&) = delete;

  // Starts the file afresh: later Messages() hold only what came after.
  void Clear() const { DeleteFileA(kPath); }

  std::vector<std::string> Messages() const {
    std::ifstream in(kPath, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::string text = bytes.str();
    std::vector<std::string> messages;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      std::string line = text.substr(start, end - start);
      messages.push_back(line.size() >= kStampLength ? line.substr(kStampLength) : line);
    }
    return messages;
  }

  size_t Count(const std::string& prefix) const {
    size_t count = 0;
    for (const std::string& message : Messages()) count += message.compare(0, prefix.size(), prefix) == 0;
    return count;
  }

 private:
  static constexpr const char* kPath = "C:\\LOG\\Orvane_Keyboard.log";
  static constexpr size_t kStampLength = 17;  // "hh:mm:ss:mmm ::  "
};
