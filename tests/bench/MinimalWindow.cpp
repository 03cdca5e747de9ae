// The baseline of the benchmarks: a program that makes one hidden window and
// runs a message loop, nothing else. Ends when its window gets WM_CLOSE.
//
// For telling where the utility's memory goes, each word of the command line
// adds one thing the utility does, before the loop:
//   threads:N  N threads that start and end, as the start-up worker does
//   waiting:N  N threads that stay, waiting, as the reader does
//   load:NAME  the DLL NAME loaded
//   com        COM initialised on the window thread
//   window     a second hidden window, as the OSD controller's
//   notify     the window registered for HID interface notifications
#include <windows.h>
#include <dbt.h>

#include <cwchar>

namespace {

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY && !GetWindowLongPtrW(window, GWLP_USERDATA)) PostQuitMessage(0);
  return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI Ends(void*) { return 0; }

DWORD WINAPI Waits(void*) {
  Sleep(INFINITE);
  return 0;
}

void StartThreads(int count, LPTHREAD_START_ROUTINE routine) {
  for (int i = 0; i < count; ++i) {
    HANDLE thread = CreateThread(nullptr, 0, routine, nullptr, 0, nullptr);
    if (routine == Ends) WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
}

void AddWhatTheWordSays(const wchar_t* word, HINSTANCE instance, HWND window,
                        const wchar_t* windowClass) {
  if (!std::wcsncmp(word, L"threads:", 8)) StartThreads(_wtoi(word + 8), Ends);
  if (!std::wcsncmp(word, L"waiting:", 8)) StartThreads(_wtoi(word + 8), Waits);
  if (!std::wcsncmp(word, L"load:", 5)) LoadLibraryW(word + 5);
  if (!std::wcscmp(word, L"com")) {
    // Looked up, not imported: the plain program loads no COM library.
    using CoInitializeFn = HRESULT(WINAPI*)(void*);
    auto initialize = reinterpret_cast<CoInitializeFn>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"ole32.dll"), "CoInitialize")));
    initialize(nullptr);
  }
  if (!std::wcscmp(word, L"window")) {
    HWND second = CreateWindowExW(0, windowClass, nullptr, WS_POPUP, 1, 1, 1, 1, nullptr, nullptr,
                                  instance, nullptr);
    SetWindowLongPtrW(second, GWLP_USERDATA, 1);  // its end is not the program's
  }
  if (!std::wcscmp(word, L"notify")) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = {0x4D1E55B2, 0xF16F, 0x11CF,
                             {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};  // HID
    RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.lpszClassName = L"OrvaneMinimalWindow";
  RegisterClassW(&wc);
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"Orvane_Minimal", WS_POPUP,
                                100, 100, 100, 100, nullptr, nullptr, instance, nullptr);
  for (wchar_t* word = commandLine; *word;) {
    wchar_t* end = word + std::wcscspn(word, L" ");
    bool last = !*end;
    *end = L'\0';
    AddWhatTheWordSays(word, instance, window, wc.lpszClassName);
    word = last ? end : end + 1;
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}
