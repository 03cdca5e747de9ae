// CWTOSD: the OSD bar, a small topmost popup of class "OSDBAR" near the
// bottom centre of the primary screen, showing one image: a bitmap resource
// (200-203) in an opaque 75x75 tool window, or a skin file (204, 205) in a
// 160x160 layered window with per-pixel alpha that clicks pass through.
//
// Each bar also carries its state in words, as its name, and announces them
// to screen readers without taking the focus.
//
// One object per process, made by the controller on its first request and
// kept to the end; it registers itself in g_osdWindow, through which the
// bar's window procedure reaches it. Every Show makes a new bar window.
// Used on the user-interface thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "fw/Gdi.h"
#include "fw/UniqueHandle.h"

class CWTOSD {
 public:
  CWTOSD(HINSTANCE instance, HWND owner);
  virtual ~CWTOSD();
  CWTOSD(const CWTOSD&) = delete;
  CWTOSD& operator=(const CWTOSD&) = delete;

  // Replaces the bar with a new one showing the image, without activating it.
  void Show(int32_t imageId);
  // Destroys the bar, if there is one.
  void Hide();
  // Centres the bar on the current screen, 86 pixels above its bottom, on top.
  void Place();

  static LRESULT CALLBACK OsdBarWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // Decodes a PNG (or any image GDI+ reads) into a 32-bit top-down DIB
  // section with premultiplied alpha, as UpdateLayeredWindow wants it. An
  // unreadable file gives no bitmap and a size of 0 x 0.
  static void LoadSkin(const std::wstring& path, CUniqueBitmap* bitmap, SIZE* size);

  CUniqueWindow m_hBar;  // empty while hidden
  int32_t m_screenWidth = 0;
  int32_t m_screenHeight = 0;
  HINSTANCE m_hInstance;
  HWND m_hOwner;
  int32_t m_imageId = 0;
  COLORREF m_backColor = RGB(0, 0, 0);  // the bitmaps' own background

 private:
  void ReadScreenSize();
  void ShowSkin();
  void Paint();
  // Tells assistive technology what the bar now shows.
  void Announce();
};

extern CWTOSD* g_osdWindow;
// The size of the bar the last Show made.
extern int32_t g_osdWidth;
extern int32_t g_osdHeight;

extern const wchar_t kOsdBarClass[];
