// Stands in for SnippingTool.exe in the tests: writes how it was started
// (start-up flags, show command, command line) to C:\snip_probe.txt.
#include <windows.h>

#include <cstdio>

int main() {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  if (FILE* file = _wfopen(L"C:\\snip_probe.txt", L"w")) {
    std::fprintf(file, "%lu %u [%ls]\n", startup.dwFlags, startup.wShowWindow, GetCommandLineW());
    std::fclose(file);
  }
  return 0;
}
