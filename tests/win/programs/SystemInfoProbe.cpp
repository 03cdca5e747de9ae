// Prints what the version queries answer in a fresh process, for the tests
// that start it under a chosen Windows version. Like the utility, it carries
// no manifest with a supported-system list.
#include <cstdio>

#include "fw/SystemInfo.h"

int main() {
  DWORD major, minor, build;
  GetNtVersion(&major, &minor, &build);
  std::printf("%lu %lu %lx %lu\n", major, minor, build, GetReportedOsMajor());
  return 0;
}
