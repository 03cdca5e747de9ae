// Entry point of a program built on the framework: drives the one static
// application object.
#include <windows.h>

#include "fw/DllSearch.h"
#include "fw/WinApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  LoadLibrariesFromSystemOnly();
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}
