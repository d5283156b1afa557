// Where cabinets are unpacked: one name for the root, in the two forms the program uses.
#pragma once

#include <cstddef>

// As the cabinet interface and the window's report name it.
inline constexpr char UnpackRoot[] = "C:/VornActiveX/";
// The same directory as the file system names it, with its trailing separator.
inline constexpr wchar_t UnpackRootPath[] = L"C:\\VornActiveX\\";
inline constexpr size_t UnpackRootPathLength = sizeof UnpackRootPath / sizeof(wchar_t) - 1;

namespace unpack_root_detail {
constexpr bool SameRoot(const char* a, const wchar_t* b) {
  for (; *a && *b; ++a, ++b)
    if (!(*a == *b || (*a == '/' && *b == L'\\'))) return false;
  return *a == 0 && *b == 0;
}
}  // namespace unpack_root_detail
static_assert(unpack_root_detail::SameRoot(UnpackRoot, UnpackRootPath),
              "both forms name one directory");
