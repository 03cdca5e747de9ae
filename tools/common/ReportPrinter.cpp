#include "tools/common/ReportPrinter.h"

#include <cstring>

void CReportPrinter::OnReportLine(const char* line) {
  m_event = 0;
  m_posted = false;
  m_out << "  log:   ";
  m_out.write(line, static_cast<std::streamsize>(std::strcspn(line, "\n"))) << '\n';
}

void CReportPrinter::OnEvent(HotkeyEvent event) {
  m_event = event;
  m_out << "  event: " << event << " (" << HotkeyEventName(event) << ")\n";
}

void CReportPrinter::OnPost(HotkeyEvent event) {
  m_posted = true;
  m_out << "  post:  0x" << std::hex << kKeyEventMessage << std::dec << " wParam " << event
        << '\n';
}

void CReportPrinter::OnLog(const char* message) {
  if (m_event && !m_posted) m_out << "  drop:  repeat within " << kRepeatWindowMs << " ms\n";
  m_out << "  log:   " << message << '\n';
}

void CReportPrinter::Finish() {
  if (!m_event) m_out << "  event: none\n";
  m_out.flush();
}
