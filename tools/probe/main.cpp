// orvane_probe: for people who support the keyboard.
//   list        every HID interface, its IDs and usage, and the role the
//               utility's discovery gives it (or why it passes it over)
//   watch [N]   opens the keyboard as the utility does and prints each
//               report as the utility would log and post it, until Ctrl+C
//               or N reports
//   status      one line per fact about the utility here: whether and how it
//               runs, its logon task, the keyboard's collections, the stored
//               Fn lock, the config, the install folder and its permissions,
//               and this account; what to do where something is wrong. Its
//               exit code sums them up for scripts (Status.h)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "fw/DllSearch.h"
#include "hid/HidDevice.h"
#include "hid/HidInterfaceRules.h"
#include "hid/HidPlatform.h"
#include "hid/KeyboardIds.h"
#include "log/Log.h"
#include "tools/common/ReportPrinter.h"
#include "tools/probe/Status.h"
#include "tools/probe/StatusGather.h"

namespace {

int List() {
  int count = 0;
  for (const std::wstring& path : EnumerateHidInterfacePaths(HidClassGuid())) {
    ++count;
    std::cout << ToAnsi(path) << "\n";
    CFileHandle device = OpenHidInterface(path);
    if (!device) {
      std::cout << "  role: none - cannot be opened for reading and writing (error "
                << GetLastError() << ")\n";
      continue;
    }
    HidInterfaceFacts facts;
    if (!bQueryHidCollection(device.Get(), &facts)) {
      std::cout << "  role: none - does not answer the HID queries\n";
      continue;
    }
    char ids[96];
    std::snprintf(ids, sizeof ids, "  vendor 0x%04X  product 0x%04X  usage page 0x%04X  usage %u\n",
                  facts.vendorId, facts.productId, facts.usagePage, facts.usage);
    HidRoleDecision decision =
        ClassifyHidInterface(facts, std::u16string(path.begin(), path.end()), kKeyboardVendorId, kKeyboardProductId);
    std::cout << ids << "  role: " << (decision.role == HidRole::kNone ? "none - " : "")
              << decision.reason << "\n";
  }
  std::cout << count << " HID interface(s)" << std::endl;
  return 0;
}

// Prints each report and stops the reader after the wanted number.
class CWatchPrinter : public CReportPrinter {
 public:
  CWatchPrinter(CHidDevice& link, long limit) : CReportPrinter(std::cout), m_link(link), m_limit(limit) {}
  void OnReportLine(const char* line) override {
    if (m_seen > 0) Finish();
    std::cout << "report " << ++m_seen << "\n";
    CReportPrinter::OnReportLine(line);
    if (m_limit > 0 && m_seen >= m_limit) m_link.RequestStop();
  }

 private:
  CHidDevice& m_link;
  long m_limit;
  long m_seen = 0;
};

CHidDevice* g_watched = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
  if (g_watched) g_watched->RequestStop();
  return TRUE;
}

int Watch(long limit) {
  CHidDevice link;
  link.m_vendorId = kKeyboardVendorId;
  link.m_productId = kKeyboardProductId;
  int found = link.bOpenHidDevice();
  std::cout << "vendor-defined collection: " << (found ? "open" : "missing") << "\n";
  if (link.InputHandle() == INVALID_HANDLE_VALUE) {
    std::cout << "key collection: missing - is the keyboard plugged in?" << std::endl;
    return 1;
  }
  std::cout << "key collection: open, watching" << std::endl;
  g_watched = &link;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  CWatchPrinter printer(link, limit);
  link.RunReader(printer);
  printer.Finish();
  g_watched = nullptr;
  return 0;
}

int Status() {
  // The logon task is asked through the Task Scheduler's COM interfaces.
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
    std::cerr << "orvane_probe status: COM could not be initialised\n";
    return kStatusCannotCheck;
  }
  StatusFacts facts = GatherStatusFacts();
  CoUninitialize();
  for (const std::string& line : StatusLines(facts)) std::cout << line << "\n";
  std::cout.flush();
  return StatusExitCode(facts);
}

}  // namespace

int main(int argc, char** argv) {
  LoadLibrariesFromSystemOnly();  // it runs from the install folder, as SYSTEM too
  if (argc >= 2 && std::strcmp(argv[1], "list") == 0 && argc == 2) return List();
  if (argc >= 2 && std::strcmp(argv[1], "watch") == 0 && argc <= 3) {
    long limit = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 0;
    if (limit < 0) limit = 0;
    return Watch(limit);
  }
  if (argc == 2 && std::strcmp(argv[1], "status") == 0) return Status();
  std::cerr << "usage: orvane_probe list | watch [N] | status\n";
  return kProbeUsage;
}
