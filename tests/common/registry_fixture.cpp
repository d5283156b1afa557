#include "tests/common/registry_fixture.h"

#include <algorithm>
#include <vector>

bool PutKey(const std::wstring& path, const wchar_t* defaultValue) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return false;
  LONG r = ERROR_SUCCESS;
  if (defaultValue)
    r = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(defaultValue),
                       static_cast<DWORD>((lstrlenW(defaultValue) + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

bool KeyExists(const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

void RemoveTree(const std::wstring& path) {
  if (path.empty()) return;  // never the root itself
  RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
}

void CollectKeys(HKEY key, const std::wstring& path, std::vector<std::wstring>& lines) {
  std::vector<wchar_t> value(32768);
  DWORD type = 0, size = static_cast<DWORD>((value.size() - 1) * sizeof(wchar_t));
  std::wstring line = path;
  if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                       &size) == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ))
    line += L"=" + std::wstring(value.data());
  lines.push_back(line);
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    HKEY child;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) == ERROR_SUCCESS) {
      CollectKeys(child, path + L"\\" + name, lines);
      RegCloseKey(child);
    }
  }
}

std::wstring ExportTree(const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return L"";
  std::vector<std::wstring> lines;
  CollectKeys(key, path, lines);
  RegCloseKey(key);
  std::sort(lines.begin(), lines.end());
  std::wstring out;
  for (auto& l : lines) out += l + L"\n";
  return out;
}

bool PutChain(const std::wstring& parent, const std::vector<std::wstring>& names) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, parent.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return false;
  for (auto& name : names) {
    HKEY child;
    LONG r =
        RegCreateKeyExW(key, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return false;
    key = child;
  }
  RegCloseKey(key);
  return true;
}
