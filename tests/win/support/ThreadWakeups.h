// How often the threads of this process went to sleep of their own accord:
// under Wine each thread is a Linux thread, whose voluntary context switches
// the kernel counts (read through Wine's Z: drive, the Unix root). A waiting
// thread that wakes and waits again adds at least one.
#pragma once

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>

// This process's folder in /proc: the one whose first argument names our
// own program, by a Windows or a Unix path. (Z:\proc\self is the Wine
// server's, which opens every file for its clients.)
inline std::string UnixProcessDirectory() {
  static const std::string found = [] {
    auto name = [](const std::string& path) { return path.substr(path.find_last_of("\\\\/") + 1); };
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string own = name(path);
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
    if (find == INVALID_HANDLE_VALUE) return std::string();
    std::string directory;
    do {
      std::string pid = entry.cFileName;
      if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
      std::ifstream cmdline("Z:\\proc\\" + pid + "\\cmdline", std::ios::binary);
      std::string first;
      std::getline(cmdline, first, '\0');
      if (!first.empty() && lstrcmpiA(name(first).c_str(), own.c_str()) == 0) directory = "Z:\\proc\\" + pid;
    } while (directory.empty() && FindNextFileA(find, &entry));
    FindClose(find);
    return directory;
  }();
  return found;
}

inline std::map<std::string, long> VoluntarySwitchesByThread() {
  std::map<std::string, long> switches;
  std::string process = UnixProcessDirectory();
  WIN32_FIND_DATAA entry;
  HANDLE find = process.empty() ? INVALID_HANDLE_VALUE : FindFirstFileA((process + "\\task\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return switches;
  do {
    std::string thread = entry.cFileName;
    if (thread.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream status(process + "\\task\\" + thread + "\\status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) switches[thread] = std::stol(line.substr(24));
    }
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return switches;
}

// The most any one thread of this process switched while this one slept ms;
// -1 when the kernel's counts cannot be read.
inline long BusiestThreadSwitchesOver(DWORD ms) {
  std::map<std::string, long> before = VoluntarySwitchesByThread();
  Sleep(ms);
  std::map<std::string, long> after = VoluntarySwitchesByThread();
  if (after.empty()) return -1;
  long busiest = 0;
  for (const auto& [thread, count] : after) busiest = std::max(busiest, count - before[thread]);
  return busiest;
}
