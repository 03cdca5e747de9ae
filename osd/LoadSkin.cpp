// Skin decoding with GDI+, which runs only while a skin is being loaded.
#include "osd/WTOSD.h"

#include <utility>

#include "osd/GdiPlus.h"

namespace {

using namespace Gdiplus;

// Read access to a bitmap's pixels, converted to straight 32-bit ARGB.
class CBitsLock {
 public:
  CBitsLock(GpBitmap* bitmap, UINT width, UINT height) : m_bitmap(bitmap) {
    GpRect rect(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    m_locked = DllExports::GdipBitmapLockBits(bitmap, &rect, ImageLockModeRead,
                                              PixelFormat32bppARGB, &m_data) == Ok;
  }
  ~CBitsLock() {
    if (m_locked) DllExports::GdipBitmapUnlockBits(m_bitmap, &m_data);
  }
  CBitsLock(const CBitsLock&) = delete;
  CBitsLock& operator=(const CBitsLock&) = delete;

  bool Locked() const { return m_locked; }
  const BYTE* Row(UINT y) const { return static_cast<const BYTE*>(m_data.Scan0) + y * m_data.Stride; }

 private:
  GpBitmap* m_bitmap;
  BitmapData m_data = {};
  bool m_locked = false;
};

}  // namespace

void CWTOSD::LoadSkin(const std::wstring& path, CUniqueBitmap* bitmap, SIZE* size) {
  bitmap->Reset();
  *size = {0, 0};

  CGdiplusSession session;
  if (!session || path.empty()) return;
  GpBitmap* decoded = nullptr;
  if (DllExports::GdipCreateBitmapFromFile(path.c_str(), &decoded) != Ok) return;
  CGpBitmap image(decoded);
  UINT width = 0, height = 0;
  DllExports::GdipGetImageWidth(image.Get(), &width);
  DllExports::GdipGetImageHeight(image.Get(), &height);
  if (width == 0 || height == 0) return;
  CBitsLock bits(image.Get(), width, height);
  if (!bits.Locked()) return;

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = static_cast<LONG>(width);
  info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down, like the locked rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  CUniqueBitmap dib(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
  if (!dib) return;

  // Blue, green, red, alpha in memory, in both; the colours get multiplied
  // by alpha (truncated), which is what an AC_SRC_ALPHA blend expects.
  BYTE* out = static_cast<BYTE*>(pixels);
  for (UINT y = 0; y < height; ++y) {
    const BYTE* in = bits.Row(y);
    for (UINT x = 0; x < width; ++x, in += 4, out += 4) {
      BYTE alpha = in[3];
      for (int c = 0; c < 3; ++c) out[c] = static_cast<BYTE>(in[c] * alpha / 255);
      out[3] = alpha;
    }
  }
  *bitmap = std::move(dib);
  *size = {static_cast<LONG>(width), static_cast<LONG>(height)};
}
