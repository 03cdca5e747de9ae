// GDI+ for decoding images: a session from startup to shutdown and an owner
// for its bitmaps, which must be disposed of before the session ends.
#pragma once

#include <windows.h>

#include <gdiplus.h>  // after <windows.h>, which it needs

#include "fw/UniqueHandle.h"

class CGdiplusSession {
 public:
  CGdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&m_token, &input, nullptr) != Gdiplus::Ok) m_token = 0;
  }
  ~CGdiplusSession() {
    if (m_token) Gdiplus::GdiplusShutdown(m_token);
  }
  CGdiplusSession(const CGdiplusSession&) = delete;
  CGdiplusSession& operator=(const CGdiplusSession&) = delete;

  explicit operator bool() const { return m_token != 0; }

 private:
  ULONG_PTR m_token = 0;
};

struct GpBitmapTraits {
  using Type = Gdiplus::GpBitmap*;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { Gdiplus::DllExports::GdipDisposeImage(h); }
};

using CGpBitmap = CUniqueHandle<GpBitmapTraits>;
