// The OSD's images: skin decoding, and the bitmaps and skins the build
// makes, as the program finds them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "fw/Gdi.h"
#include "fw/UniqueHandle.h"
#include "osd/GdiPlus.h"
#include "osd/WTOSD.h"
#include "tests/win/support/ExeTestSupport.h"

namespace {

std::wstring TempFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name;
}

// Pixels of a 32-bit DIB section as blue, green, red, alpha, top row first.
std::vector<BYTE> DibPixels(HBITMAP bitmap, DIBSECTION* dib) {
  if (GetObjectW(bitmap, sizeof(*dib), dib) != sizeof(*dib)) return {};
  const BYTE* bits = static_cast<const BYTE*>(dib->dsBm.bmBits);
  return std::vector<BYTE>(bits, bits + dib->dsBm.bmWidthBytes * dib->dsBm.bmHeight);
}

// Writes a PNG of straight-alpha pixels (0xAARRGGBB) with GDI+'s encoder.
bool WritePng(const std::wstring& path, std::vector<UINT32> pixels, int width) {
  using namespace Gdiplus;
  CGdiplusSession session;
  const CLSID png = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
  int height = static_cast<int>(pixels.size()) / width;
  GpBitmap* made = nullptr;
  if (!session || DllExports::GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppARGB,
                                                        reinterpret_cast<BYTE*>(pixels.data()),
                                                        &made) != Ok) {
    return false;
  }
  CGpBitmap bitmap(made);
  return DllExports::GdipSaveImageToFile(bitmap.Get(), path.c_str(), &png, nullptr) == Ok;
}

TEST(OsdSkin, LoadSkinMultipliesColoursByAlphaTruncating) {
  std::wstring path = TempFile(L"osd_premultiply.png");
  // Straight colours; 1 x 200 / 255 = 0.78 and 3 x 200 / 255 = 2.35 show
  // truncation where rounding would give 1 and 2.
  ASSERT_TRUE(WritePng(path, {0xC8010203, 0x80FFFFFF, 0xFF102030, 0x00FFFFFF, 0x01FF0000, 0x7F6496C8},
                       3));
  CUniqueBitmap bitmap;
  SIZE size = {};
  CWTOSD::LoadSkin(path, &bitmap, &size);
  DeleteFileW(path.c_str());
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(size.cx, 3);
  EXPECT_EQ(size.cy, 2);

  DIBSECTION dib = {};
  std::vector<BYTE> pixels = DibPixels(bitmap.Get(), &dib);
  ASSERT_EQ(dib.dsBm.bmBitsPixel, 32);
  const std::vector<BYTE> expected = {
      2, 1, 0, 200,     128, 128, 128, 128,  48, 32, 16, 255,  // first row
      0, 0, 0, 0,       0, 0, 1, 1,          99, 74, 49, 127,  // second row: top-down
  };
  EXPECT_EQ(pixels, expected);
}

TEST(OsdSkin, UnreadableFilesGiveNoBitmapAndNoSize) {
  std::wstring garbage = TempFile(L"osd_not_a.png");
  {
    CFileHandle file(CreateFileW(garbage.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    WriteFile(file.Get(), "\x89PNG but no more", 16, &written, nullptr);
  }

  for (const std::wstring& path : {garbage, TempFile(L"osd_missing.png"), std::wstring()}) {
    CUniqueBitmap bitmap(CreateBitmap(1, 1, 1, 32, nullptr));  // replaced, not kept
    SIZE size = {7, 7};
    CWTOSD::LoadSkin(path, &bitmap, &size);
    EXPECT_FALSE(bitmap);
    EXPECT_EQ(size.cx, 0);
    EXPECT_EQ(size.cy, 0);
  }
  DeleteFileW(garbage.c_str());
}

// The skins the build puts beside the programs: a 160 x 160 box with a soft,
// partly see-through body.
TEST(OsdArt, SkinsAreSquaresWithSoftAlpha) {
  for (const wchar_t* name : {L"skins\\OSDIntelligence.png", L"skins\\OSDPerformance.png"}) {
    SCOPED_TRACE(std::string(name, name + lstrlenW(name)));
    CUniqueBitmap bitmap;
    SIZE size = {};
    CWTOSD::LoadSkin(BesideTests(name), &bitmap, &size);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(size.cx, 160);
    EXPECT_EQ(size.cy, 160);
    DIBSECTION dib = {};
    std::vector<BYTE> pixels = DibPixels(bitmap.Get(), &dib);
    int clear = 0, solid = 0, partial = 0;
    for (size_t i = 3; i < pixels.size(); i += 4) {
      BYTE alpha = pixels[i];
      (alpha == 0 ? clear : alpha == 255 ? solid : partial)++;
    }
    EXPECT_GT(clear, 0) << "corners are see-through";
    EXPECT_GT(solid, 500) << "the symbol is opaque";
    EXPECT_GT(partial, 160 * 160 / 3) << "the body is half transparent";
    EXPECT_EQ(pixels[3], 0);                                 // top-left corner
    EXPECT_EQ(pixels[(70 * 160 + 80) * 4 + 3], 255) << "fan hub";
  }
}

// The form the bar's painting relies on: 72 x 72 bottom-up, 4-bit BI_RGB
// with a 16-grey palette, white on black with grey edges; 200 and 202 carry
// the bar from top left to bottom right, 201 and 203 do not.
TEST(OsdArt, ProgramCarriesTheFourBitmaps) {
  CModule program(LoadLibraryExW(BesideTests(L"Orvane_Keyboard_Hid.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(program);
  for (int id = 200; id <= 203; ++id) {
    SCOPED_TRACE(id);
    HRSRC found = FindResourceW(program.Get(), MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2));
    ASSERT_NE(found, nullptr);
    auto info = static_cast<const BITMAPINFO*>(LockResource(LoadResource(program.Get(), found)));
    ASSERT_NE(info, nullptr);
    const BITMAPINFOHEADER& header = info->bmiHeader;
    EXPECT_EQ(header.biWidth, 72);
    EXPECT_EQ(header.biHeight, 72) << "bottom-up";
    EXPECT_EQ(header.biBitCount, 4);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    for (int i = 0; i < 16; ++i) {
      const RGBQUAD& entry = info->bmiColors[i];
      EXPECT_EQ(entry.rgbRed, 17 * i);
      EXPECT_EQ(entry.rgbGreen, 17 * i);
      EXPECT_EQ(entry.rgbBlue, 17 * i);
    }
    // Grey level of a pixel, counted from the top.
    const BYTE* bits = reinterpret_cast<const BYTE*>(info->bmiColors + 16);
    auto level = [bits](int x, int y) {
      BYTE pair = bits[(71 - y) * 36 + x / 2];
      return x % 2 ? pair & 0x0F : pair >> 4;
    };
    std::vector<int> histogram(16);
    for (int y = 0; y < 72; ++y)
      for (int x = 0; x < 72; ++x) histogram[level(x, y)]++;
    EXPECT_GT(histogram[0], 72 * 72 / 3);
    EXPECT_GT(histogram[15], 300);
    int greys = 0;
    for (int i = 1; i < 15; ++i) greys += histogram[i];
    EXPECT_GT(greys, 100) << "anti-aliased edges";
    EXPECT_EQ(level(0, 0), 0);
    bool struck = id == 200 || id == 202;
    EXPECT_EQ(level(12, 12) == 15 && level(60, 60) == 15, struck);
  }
}

}  // namespace
