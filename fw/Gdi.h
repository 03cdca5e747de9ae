// Scoped GDI objects and DCs. Each helper gives back what it holds when it
// goes out of scope, so clean-up follows declaration order; copies are
// deleted, since two owners would delete or release twice.
#pragma once

#include <windows.h>

#include "fw/UniqueHandle.h"

template <typename T>
struct GdiObjectTraits {
  using Type = T;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { ::DeleteObject(h); }
};

// DCs from CreateCompatibleDC.
struct MemoryDcTraits {
  using Type = HDC;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { ::DeleteDC(h); }
};

using CUniqueBitmap = CUniqueHandle<GdiObjectTraits<HBITMAP>>;
using CUniqueBrush = CUniqueHandle<GdiObjectTraits<HBRUSH>>;
using CMemoryDC = CUniqueHandle<MemoryDcTraits>;

// A window's DC from GetDC, released to the same window.
class CWindowDC {
 public:
  explicit CWindowDC(HWND window) : m_window(window), m_dc(::GetDC(window)) {}
  ~CWindowDC() {
    if (m_dc) ::ReleaseDC(m_window, m_dc);
  }
  CWindowDC(const CWindowDC&) = delete;
  CWindowDC& operator=(const CWindowDC&) = delete;

  HDC Get() const { return m_dc; }

 private:
  HWND m_window;
  HDC m_dc;
};

// Selects an object into a DC and puts the previous one back, so the object
// can be deleted afterwards.
class CSelectObject {
 public:
  CSelectObject(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(::SelectObject(dc, object)) {}
  ~CSelectObject() {
    if (m_previous && m_previous != HGDI_ERROR) ::SelectObject(m_dc, m_previous);
  }
  CSelectObject(const CSelectObject&) = delete;
  CSelectObject& operator=(const CSelectObject&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_previous;
};
