// The resources of the built program: icon group 101, the four button faces, the manifest, and
// the version shown in the file's properties.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/version.h"
#include "window/globals.h"
#include "tests/window/app_window.h"

namespace {

class ProgramResources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Module = LoadLibraryExW(WindowsPath(CTLWARDEN_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  static void TearDownTestSuite() {
    if (Module) FreeLibrary(Module);
  }
  static std::string Bytes(const wchar_t* type, int id) {
    HRSRC found = FindResourceW(Module, MAKEINTRESOURCEW(id), type);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(Module, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    return std::string(data, SizeofResource(Module, found));
  }
  static HMODULE Module;
};
HMODULE ProgramResources::Module = nullptr;

// A face bitmap as stored: BITMAPINFOHEADER, then bottom-up 24-bit rows.
struct Face {
  std::string raw;
  const BITMAPINFOHEADER& header() const {
    return *reinterpret_cast<const BITMAPINFOHEADER*>(raw.data());
  }
  COLORREF at(int x, int y) const {  // y counts from the top
    const unsigned char* bits =
        reinterpret_cast<const unsigned char*>(raw.data()) + header().biSize;
    const unsigned char* p = bits + (31 - y) * 96 + x * 3;
    return RGB(p[2], p[1], p[0]);
  }
};

bool OnCross(int x, int y) {
  return x >= 3 && x <= 28 && y >= 3 && y <= 28 && (std::abs(x - y) <= 2 || std::abs(x + y - 31) <= 2);
}

bool OnBar(int x, int y) { return x >= 2 && x <= 29 && y >= 18 && y <= 21; }

void ExpectFace(const Face& face, bool (*shape)(int, int), COLORREF ink) {
  ASSERT_GE(face.raw.size(), 40u + 32 * 96);
  EXPECT_EQ(face.header().biWidth, 32);
  EXPECT_EQ(face.header().biHeight, 32);  // bottom-up
  EXPECT_EQ(face.header().biBitCount, 24);
  EXPECT_EQ(face.header().biCompression, static_cast<DWORD>(BI_RGB));
  int wrong = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x)
      if (face.at(x, y) != (shape(x, y) ? ink : BarColour)) ++wrong;
  EXPECT_EQ(wrong, 0);
}

}  // namespace

TEST_F(ProgramResources, CloseFacesAreCrossesOnTheBarColour) {
  ASSERT_TRUE(Module);
  Face close{Bytes(RT_BITMAP, 102)}, pressed{Bytes(RT_BITMAP, 103)};
  ExpectFace(close, OnCross, RGB(255, 255, 255));
  ExpectFace(pressed, OnCross, RGB(0, 0, 0));
  // Strokes about five pixels wide along both diagonals.
  EXPECT_EQ(close.at(3, 3), RGB(255, 255, 255));
  EXPECT_EQ(close.at(28, 28), RGB(255, 255, 255));
  EXPECT_EQ(close.at(28, 3), RGB(255, 255, 255));
  EXPECT_EQ(close.at(3, 28), RGB(255, 255, 255));
  EXPECT_EQ(close.at(0, 0), BarColour);
  EXPECT_EQ(close.at(15, 3), BarColour);
  int across = 0;
  for (int x = 0; x < 32; ++x) across += close.at(x, 8) == RGB(255, 255, 255);
  EXPECT_EQ(across, 10);  // two strokes of five
}

TEST_F(ProgramResources, MinimiseFacesAreBarsOnTheBarColour) {
  ASSERT_TRUE(Module);
  Face minimise{Bytes(RT_BITMAP, 104)}, pressed{Bytes(RT_BITMAP, 105)};
  ExpectFace(minimise, OnBar, RGB(255, 255, 255));
  ExpectFace(pressed, OnBar, RGB(0, 0, 0));
  EXPECT_EQ(minimise.at(2, 18), RGB(255, 255, 255));
  EXPECT_EQ(minimise.at(29, 21), RGB(255, 255, 255));
  EXPECT_EQ(minimise.at(1, 18), BarColour);
  EXPECT_EQ(minimise.at(2, 17), BarColour);
  EXPECT_EQ(minimise.at(30, 21), BarColour);
  EXPECT_EQ(minimise.at(29, 22), BarColour);
}

TEST_F(ProgramResources, IconGroupHoldsEightImages) {
  ASSERT_TRUE(Module);
  std::string group = Bytes(RT_GROUP_ICON, 101);
  ASSERT_GE(group.size(), 6u);
  auto word = [&](size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(group[at]) |
                                 static_cast<unsigned char>(group[at + 1]) << 8);
  };
  EXPECT_EQ(word(2), 1u);  // icons
  unsigned count = word(4);
  ASSERT_EQ(count, 8u);
  ASSERT_GE(group.size(), 6u + 14 * count);
  std::multiset<std::pair<int, int>> images;
  for (unsigned i = 0; i < count; ++i) {
    size_t entry = 6 + 14 * i;
    int size = static_cast<unsigned char>(group[entry]);
    images.insert({size == 0 ? 256 : size, static_cast<int>(word(entry + 6))});
  }
  std::multiset<std::pair<int, int>> expected = {{48, 8},  {32, 8},  {16, 8}, {48, 32},
                                                 {32, 32}, {16, 32}, {32, 4}, {16, 4}};
  EXPECT_EQ(images, expected);
  HICON icon = LoadIconW(Module, MAKEINTRESOURCEW(101));
  EXPECT_TRUE(icon);
}

TEST_F(ProgramResources, ManifestAsksForAdministratorAndNothingElse) {
  ASSERT_TRUE(Module);
  std::string manifest = Bytes(RT_MANIFEST, 1);
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
  EXPECT_EQ(manifest.find("<dependency"), std::string::npos);
  EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos);
  EXPECT_EQ(manifest.find("<application"), std::string::npos);
  EXPECT_EQ(manifest.find("<compatibility"), std::string::npos);
}

TEST_F(ProgramResources, VersionResourceReadsBackWithTheProjectVersion) {
  std::wstring path = WindowsPath(CTLWARDEN_EXE);
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, static_cast<DWORD>(VS_FFI_SIGNATURE));
  const DWORD high = MAKELONG(CTLWARDEN_VERSION_MINOR, CTLWARDEN_VERSION_MAJOR);
  const DWORD low = MAKELONG(0, CTLWARDEN_VERSION_PATCH);
  EXPECT_EQ(fixed->dwFileVersionMS, high);
  EXPECT_EQ(fixed->dwFileVersionLS, low);
  EXPECT_EQ(fixed->dwProductVersionMS, high);
  EXPECT_EQ(fixed->dwProductVersionLS, low);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  // Chinese (PRC) in UTF-16, the one language of the texts.
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0804);
  EXPECT_EQ(translation[1], 1200);

  auto text = [&](const wchar_t* name) {
    std::wstring query = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    wchar_t* value = nullptr;
    UINT chars = 0;
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &chars) || !value)
      return std::wstring(L"(missing)");
    return std::wstring(value);
  };
  EXPECT_EQ(text(L"FileVersion"), L"" CTLWARDEN_VERSION_TEXT);
  EXPECT_EQ(text(L"ProductVersion"), L"" CTLWARDEN_VERSION_TEXT);
  EXPECT_EQ(text(L"ProductName"), L"Ctlwarden");
  EXPECT_EQ(text(L"CompanyName"), L"Vornwerk");
  EXPECT_EQ(text(L"FileDescription"), L"Vorn ActiveX 控件注册与卸载工具");
}

TEST_F(ProgramResources, TestExecutableCarriesTheSameFaces) {
  // The title bar in these tests loads its faces from this executable.
  HBITMAP face = static_cast<HBITMAP>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(102), IMAGE_BITMAP, 16, 16, LR_DEFAULTSIZE));
  ASSERT_TRUE(face);
  BITMAP info = {};
  GetObjectW(face, sizeof(info), &info);
  EXPECT_EQ(info.bmWidth, 16);
  EXPECT_EQ(info.bmHeight, 16);
  DeleteObject(face);
}
