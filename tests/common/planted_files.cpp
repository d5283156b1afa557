#include "tests/common/planted_files.h"

#include <windows.h>

bool PreferNativeCabinet(bool prefer) {
  const wchar_t key[] = L"Software\\Wine\\AppDefaults\\ctlwarden.exe\\DllOverrides";
  if (!prefer) return RegDeleteKeyW(HKEY_CURRENT_USER, key) == ERROR_SUCCESS;
  const wchar_t value[] = L"native,builtin";
  return RegSetKeyValueW(HKEY_CURRENT_USER, key, L"cabinet", REG_SZ, value, sizeof value) ==
         ERROR_SUCCESS;
}

void EmptyFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      DeleteFileW((folder + L"\\" + entry.cFileName).c_str());
  while (FindNextFileW(search, &entry));
  FindClose(search);
}

std::wstring MarkersIn(const std::wstring& folder) {
  std::wstring found;
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((folder + L"\\*.ran").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do found += std::wstring(entry.cFileName) + L" ";
  while (FindNextFileW(search, &entry));
  FindClose(search);
  return found;
}
