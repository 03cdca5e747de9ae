// Shows OSD states for the screenshot tests, in front of a full-screen
// checkerboard so that see-through pixels show what they blend with.
// Commands come on standard input, one a line; each is answered with "done"
// once carried out:
//   show KIND VALUE   set the state KIND reads (m_micMuted, m_fnLock or
//                     m_fanMode) to VALUE and call ShowOsd(KIND)
//   hide              ShowOsd(0)
//   quit
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "app/MyWnd.h"
#include "fw/Gdi.h"
#include "osd/OsdImage.h"
#include "tests/win/support/MyWndPeer.h"

namespace {

const UINT kCommand = WM_APP + 1;
const int kTile = 32;
const COLORREF kTileColors[] = {RGB(200, 60, 40), RGB(30, 140, 220)};

LRESULT CALLBACK CheckerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  CUniqueBrush brushes[] = {CUniqueBrush(CreateSolidBrush(kTileColors[0])),
                            CUniqueBrush(CreateSolidBrush(kTileColors[1]))};
  for (int y = 0; y < GetSystemMetrics(SM_CYSCREEN); y += kTile) {
    for (int x = 0; x < GetSystemMetrics(SM_CXSCREEN); x += kTile) {
      RECT tile = {x, y, x + kTile, y + kTile};
      FillRect(dc, &tile, brushes[(x / kTile + y / kTile) % 2].Get());
    }
  }
  EndPaint(window, &paint);
  return 0;
}

// Hands each line to the window thread; ends after "quit" or at the end of
// the input, which counts as "quit".
void ReadCommands(DWORD uiThread) {
  char line[128];
  while (std::fgets(line, sizeof(line), stdin) && std::strncmp(line, "quit", 4) != 0) {
    PostThreadMessageW(uiThread, kCommand, 0, reinterpret_cast<LPARAM>(new std::string(line)));
  }
  PostThreadMessageW(uiThread, kCommand, 0, reinterpret_cast<LPARAM>(new std::string("quit")));
}

// False for "quit".
bool Carry(CMyWnd& wnd, const std::string& command) {
  unsigned kind = 0;
  int value = 0;
  if (std::sscanf(command.c_str(), "show %u %d", &kind, &value) == 2) {
    if (kind == kOsdMicrophone) Peer(wnd).m_micMuted = value;
    if (kind == kOsdFnLock) Peer(wnd).m_fnLock = value;
    if (kind == kOsdSmartFan) Peer(wnd).m_fanMode = value;
    wnd.ShowOsd(kind);
  } else if (command.rfind("hide", 0) == 0) {
    wnd.ShowOsd(kOsdHide);
  } else if (command.rfind("quit", 0) == 0) {
    return false;
  } else {
    std::printf("unknown command: %s", command.c_str());
  }
  std::printf("done\n");
  std::fflush(stdout);
  return true;
}

}  // namespace

int main() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = CheckerProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"OsdProbeChecker";
  RegisterClassW(&wc);
  CUniqueWindow checker(CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                        GetSystemMetrics(SM_CXSCREEN),
                                        GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                        wc.hInstance, nullptr));
  CMyWnd wnd;

  // The queue exists now, so the reader's first message is not lost.
  std::thread reader(ReadCommands, GetCurrentThreadId());
  std::printf("ready\n");
  std::fflush(stdout);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == kCommand) {
      std::unique_ptr<std::string> command(reinterpret_cast<std::string*>(msg.lParam));
      if (!Carry(wnd, *command)) break;
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  reader.join();
  return 0;
}
