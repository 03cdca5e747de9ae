#include <gtest/gtest.h>
#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "fw/UniqueHandle.h"
#include "res/resource.h"
#include "tests/win/support/ExeTestSupport.h"

namespace {

struct IconTraits {
  using Type = HICON;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { DestroyIcon(h); }
};

struct BitmapTraits {
  using Type = HBITMAP;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { DeleteObject(h); }
};

class VersionRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD size = GetFileVersionInfoSizeW(ProgramPath().c_str(), nullptr);
    ASSERT_NE(size, 0u) << "no version record";
    m_record.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(ProgramPath().c_str(), 0, size, m_record.data()));
  }

  std::wstring Text(const std::wstring& field) {
    std::wstring query = L"\\StringFileInfo\\040904B0\\" + field;
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(m_record.data(), query.c_str(), reinterpret_cast<void**>(&value),
                        &length)) {
      return L"<missing>";
    }
    return value;
  }

  std::vector<BYTE> m_record;
};

TEST_F(VersionRecordTest, EveryTextFieldInUsEnglishUnicode) {
  EXPECT_EQ(Text(L"OriginalFilename"), L"Orvane_Keyboard_Hid");
  EXPECT_EQ(Text(L"FileDescription"), L"Orvane_Keyboard");
  EXPECT_EQ(Text(L"ProductName"), L"Varnel");
  EXPECT_EQ(Text(L"FileVersion"), L"1.0.0.9");
  EXPECT_EQ(Text(L"ProductVersion"), L"1.0.0.9");

  WORD* translation = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(m_record.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u) << "exactly one language and code page";
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1200);
}

TEST_F(VersionRecordTest, FixedPartNamesTheSameVersionAndAnApplication) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(m_record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(9, 0));
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(9, 0));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

class ProgramResourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_module.Reset(LoadLibraryExW(ProgramPath().c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(m_module.IsValid());
  }

  std::string Resource(LPCWSTR name, LPCWSTR type) {
    HRSRC found = FindResourceW(m_module.Get(), name, type);
    if (!found) return std::string();
    const char* data = static_cast<const char*>(LockResource(LoadResource(m_module.Get(), found)));
    return std::string(data, SizeofResource(m_module.Get(), found));
  }

  int Count(LPCWSTR type) {
    int count = 0;
    EnumResourceNamesW(m_module.Get(), type, CountOne, reinterpret_cast<LONG_PTR>(&count));
    return count;
  }

  static BOOL CALLBACK CountOne(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
  }

  CModule m_module;
};

TEST_F(ProgramResourceTest, ManifestAsksForAdministratorAndDpiAwarenessAndNamesNoSystem) {
  EXPECT_EQ(Count(RT_MANIFEST), 1);
  std::string manifest = Resource(MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_FALSE(manifest.empty()) << "no process manifest (resource 1)";

  std::smatch level;
  ASSERT_TRUE(std::regex_search(manifest, level, std::regex("<requestedExecutionLevel[^>]*>")));
  EXPECT_NE(level.str().find("level=\"requireAdministrator\""), std::string::npos) << level.str();
  EXPECT_NE(level.str().find("uiAccess=\"false\""), std::string::npos) << level.str();
  EXPECT_TRUE(std::regex_search(manifest, std::regex("<dpiAware[^>]*>\\s*true\\s*</dpiAware>")));
  EXPECT_EQ(manifest.find("supportedOS"), std::string::npos);
}

#pragma pack(push, 2)
struct IconGroupEntry {
  BYTE width, height, colors, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST_F(ProgramResourceTest, IconHas16And32PixelImagesWithAlpha) {
  EXPECT_EQ(Count(RT_GROUP_ICON), 1);
  std::string group = Resource(MAKEINTRESOURCEW(IDI_APP), RT_GROUP_ICON);
  ASSERT_GE(group.size(), 6u);
  const WORD* header = reinterpret_cast<const WORD*>(group.data());
  ASSERT_EQ(header[2], 2) << "image count";
  ASSERT_EQ(group.size(), 6 + 2 * sizeof(IconGroupEntry));
  const IconGroupEntry* entries = reinterpret_cast<const IconGroupEntry*>(group.data() + 6);

  for (int i = 0; i < 2; ++i) {
    int size = i == 0 ? 16 : 32;
    EXPECT_EQ(entries[i].width, size);
    EXPECT_EQ(entries[i].height, size);
    EXPECT_EQ(entries[i].bitCount, 32);
    std::string image = Resource(MAKEINTRESOURCEW(entries[i].id), RT_ICON);
    ASSERT_EQ(image.size(), entries[i].bytes);
    CUniqueHandle<IconTraits> icon(CreateIconFromResourceEx(
        reinterpret_cast<BYTE*>(&image[0]), static_cast<DWORD>(image.size()), TRUE, 0x00030000,
        size, size, LR_DEFAULTCOLOR));
    ASSERT_TRUE(icon.IsValid()) << size;
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon.Get(), &info));
    CUniqueHandle<BitmapTraits> color(info.hbmColor), mask(info.hbmMask);
    BITMAP bitmap = {};
    GetObjectW(color.Get(), sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    EXPECT_EQ(bitmap.bmHeight, size);
  }
}

}  // namespace
