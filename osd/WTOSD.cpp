#include "osd/WTOSD.h"

#include <uiautomationcore.h>

#include "fw/ComPtr.h"
#include "fw/DllSearch.h"
#include "fw/SystemInfo.h"
#include "osd/OsdImage.h"

CWTOSD* g_osdWindow = nullptr;
int32_t g_osdWidth = 160;
int32_t g_osdHeight = 160;

const wchar_t kOsdBarClass[] = L"OSDBAR";

namespace {

const int32_t kBitmapBarSize = 75;
const int32_t kSkinBarSize = 160;
const int32_t kBottomMargin = 86;

bool IsSkin(int32_t imageId) {
  return imageId == kOsdFanIntelligence || imageId == kOsdFanPerformance;
}

// "<folder of the executable>\skins\<file>"; empty when the executable's
// path does not fit the buffer, which makes the skin simply missing.
std::wstring SkinPath(int32_t imageId) {
  std::wstring path;
  if (!GetModuleDirectory(&path)) return std::wstring();
  path += L"skins\\";
  path += imageId == kOsdFanPerformance ? L"OSDPerformance.png" : L"OSDIntelligence.png";
  return path;
}

void RegisterBarClass(HINSTANCE instance) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = CWTOSD::OsdBarWndProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  wc.lpszClassName = kOsdBarClass;
  // Fails from the second Show on: the class is there already.
  RegisterClassExW(&wc);
}

}  // namespace

CWTOSD::CWTOSD(HINSTANCE instance, HWND owner) : m_hInstance(instance), m_hOwner(owner) {
  g_osdWindow = this;
  ReadScreenSize();
}

CWTOSD::~CWTOSD() {
  if (g_osdWindow == this) g_osdWindow = nullptr;
}

void CWTOSD::ReadScreenSize() {
  m_screenWidth = GetSystemMetrics(SM_CXSCREEN);
  m_screenHeight = GetSystemMetrics(SM_CYSCREEN);
}

void CWTOSD::Show(int32_t imageId) {
  m_imageId = imageId;
  m_hBar.Reset();
  ReadScreenSize();
  RegisterBarClass(m_hInstance);
  // Made layered, non-activating and transparent to the mouse; a bitmap bar
  // drops all three below and is painted by its window procedure instead.
  m_hBar.Reset(CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TRANSPARENT, kOsdBarClass,
                               nullptr, WS_POPUP | WS_CLIPSIBLINGS, 0, 0, m_screenWidth,
                               m_screenHeight, m_hOwner, nullptr, m_hInstance, nullptr));
  if (IsSkin(imageId)) {
    g_osdWidth = g_osdHeight = kSkinBarSize;
    ShowSkin();
  } else {
    g_osdWidth = g_osdHeight = kBitmapBarSize;
    SetWindowLongW(m_hBar.Get(), GWL_EXSTYLE, WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE);
  }
  Place();
  UpdateWindow(m_hBar.Get());
  Announce();
}

void CWTOSD::Announce() {
  const char16_t* words = OsdAnnouncement(m_imageId);
  if (!words || !m_hBar) return;
  const wchar_t* text = reinterpret_cast<const wchar_t*>(words);
  // The name is what the alert is read as; the bar has no caption to show it.
  SetWindowTextW(m_hBar.Get(), text);
  NotifyWinEvent(EVENT_SYSTEM_ALERT, m_hBar.Get(), OBJID_CLIENT, CHILDID_SELF);

  // Narrator and others read UI Automation notifications more reliably;
  // only Windows 10 1709 and later have them.
  using RaiseNotificationFn = HRESULT(WINAPI*)(IRawElementProviderSimple*, int kind,
                                                int processing, BSTR text, BSTR activityId);
  using HostProviderFn = HRESULT(WINAPI*)(HWND, IRawElementProviderSimple**);
  static HMODULE uia = LoadSystemLibrary(L"uiautomationcore.dll");
  if (!uia) return;
  auto raise = reinterpret_cast<RaiseNotificationFn>(
      reinterpret_cast<void*>(GetProcAddress(uia, "UiaRaiseNotificationEvent")));
  auto hostProvider = reinterpret_cast<HostProviderFn>(
      reinterpret_cast<void*>(GetProcAddress(uia, "UiaHostProviderFromHwnd")));
  CComPtr<IRawElementProviderSimple> provider;
  if (!raise || !hostProvider || FAILED(hostProvider(m_hBar.Get(), provider.Put()))) return;
  const int kActionCompleted = 2;  // NotificationKind_ActionCompleted
  const int kMostRecent = 3;       // NotificationProcessing_MostRecent: repeats replace
  CBstr bstrText(SysAllocString(text));
  CBstr activity(SysAllocString(L"Orvane_Keyboard_OSD"));
  raise(provider.Get(), kActionCompleted, kMostRecent, bstrText.Get(), activity.Get());
}

// The layered bar gets its pixels once, here. Without a decodable skin it
// gets none and stays invisible even when shown.
void CWTOSD::ShowSkin() {
  CUniqueBitmap bitmap;
  SIZE size = {};
  LoadSkin(SkinPath(m_imageId), &bitmap, &size);
  if (!bitmap) return;

  RECT rect = {};
  GetWindowRect(m_hBar.Get(), &rect);
  POINT destination = {rect.left, rect.top};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  CWindowDC barDc(m_hBar.Get());
  CMemoryDC memoryDc(CreateCompatibleDC(barDc.Get()));
  CSelectObject select(memoryDc.Get(), bitmap.Get());
  UpdateLayeredWindow(m_hBar.Get(), barDc.Get(), &destination, &size, memoryDc.Get(), &source, 0,
                      &blend, ULW_ALPHA);
}

void CWTOSD::Hide() { m_hBar.Reset(); }

void CWTOSD::Place() {
  ReadScreenSize();
  SetWindowPos(m_hBar.Get(), HWND_TOPMOST, (m_screenWidth - g_osdWidth) / 2,
               m_screenHeight - g_osdHeight - kBottomMargin, g_osdWidth, g_osdHeight,
               SWP_SHOWWINDOW | SWP_NOACTIVATE);
}

void CWTOSD::Paint() {
  // Re-read the screen size, so a changed resolution moves the bar.
  Place();
  // A skin bar shows what the layered update gave it; there is nothing to paint.
  if (IsSkin(m_imageId)) return;

  CWindowDC dc(m_hBar.Get());
  RECT client = {};
  GetClientRect(m_hBar.Get(), &client);
  CUniqueBrush brush(CreateSolidBrush(m_backColor));
  FillRect(dc.Get(), &client, brush.Get());

  CUniqueBitmap bitmap(LoadBitmapW(m_hInstance, MAKEINTRESOURCEW(LOWORD(m_imageId))));
  if (!bitmap) return;  // the fill alone
  CMemoryDC memoryDc(CreateCompatibleDC(dc.Get()));
  CSelectObject select(memoryDc.Get(), bitmap.Get());
  BitBlt(dc.Get(), 0, 0, g_osdWidth, g_osdHeight, memoryDc.Get(), 0, 0, SRCCOPY);
}

LRESULT CALLBACK CWTOSD::OsdBarWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      // Only the object's current bar; an old one on its way out is left alone.
      if (g_osdWindow && g_osdWindow->m_hBar.Get() == window) g_osdWindow->Paint();
      return DefWindowProcW(window, message, wParam, lParam);  // validates
    case WM_ERASEBKGND:
      return 1;
    case WM_NCHITTEST:
      return HTNOWHERE;
    case WM_CLOSE:
      return 0;  // the bar goes only when the program says so
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}
