// The baseline of the benchmarks: a program that makes one hidden window and
// runs a message loop, nothing else. Ends when its window gets WM_CLOSE.
#include <windows.h>

namespace {

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.lpszClassName = L"OrvaneMinimalWindow";
  RegisterClassW(&wc);
  CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"Orvane_Minimal", WS_POPUP, 100, 100, 100,
                  100, nullptr, nullptr, instance, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}
