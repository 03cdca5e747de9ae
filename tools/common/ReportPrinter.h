// Prints one report's results the way the live reader acts on them: the
// lines it logs, the event, and whether it is posted or dropped.
#pragma once

#include <ostream>

#include "hid/KeyReport.h"

class CReportPrinter : public IKeyReportSink {
 public:
  explicit CReportPrinter(std::ostream& out) : m_out(out) {}

  void OnReportLine(const char* line) override;
  void OnEvent(HotkeyEvent event) override;
  void OnPost(HotkeyEvent event) override;
  void OnLog(const char* message) override;
  // Ends the report: says so when it named no key.
  void Finish();

 private:
  std::ostream& m_out;
  uint32_t m_event = 0;
  bool m_posted = false;
};
