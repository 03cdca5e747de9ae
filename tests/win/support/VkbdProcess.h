// The virtual keyboard program (orvane_vkbd.exe) driven over its standard
// input and output, as the end-to-end tests and people use it.
#pragma once

#include <string>
#include <vector>

#include "tests/win/support/ChildProcess.h"

class CVkbdProcess {
 public:
  CVkbdProcess() : m_child(L"orvane_vkbd.exe", L"") {
    std::string line;
    m_ready = m_child.ReadLine(line, 20000) && line == "ready";
  }

  bool Ready() const { return m_ready; }

  // One command and its one-line answer ("" when none came).
  std::string Command(const std::string& command) {
    m_child.WriteLine(command);
    std::string answer;
    return m_child.ReadLine(answer, 20000) ? answer : "";
  }

  // The feature reports received so far, as hex text ("05 01 00 ...").
  std::vector<std::string> FeatureReports() {
    std::vector<std::string> reports;
    m_child.WriteLine("features");
    std::string line;
    while (m_child.ReadLine(line, 20000) && line != "end") {
      if (line.rfind("feature ", 0) == 0) reports.push_back(line.substr(8));
    }
    return reports;
  }

  // Waits until count feature reports have come; what came by then.
  std::vector<std::string> WaitForFeatureReports(size_t count, DWORD waitMs) {
    std::vector<std::string> reports = FeatureReports();
    for (DWORD waited = 0; reports.size() < count && waited < waitMs; waited += 200) {
      Sleep(200);
      reports = FeatureReports();
    }
    return reports;
  }

 private:
  CChildProcess m_child;
  bool m_ready = false;
};
