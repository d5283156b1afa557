#include "tests/core/uninstall/keys.h"

#include <winternl.h>

std::wstring Guid(const std::wstring& first, const std::wstring& rest) {
  return L"{" + first + L"-" + rest + L"}";
}

void Register(const Registration& r) {
  std::wstring classKey = r.classRoot + L"\\" + r.clsid;
  PutKey(r.progId, L"Vorn control");
  PutKey(r.progId + L"\\CLSID", r.clsid.c_str());
  PutKey(r.progId + L"\\CurVer", (r.progId + L".1").c_str());
  PutKey(classKey, L"Vorn control");
  PutKey(classKey + L"\\InprocServer32", L"C:\\VornActiveX\\1\\ctl.ocx");
  PutKey(classKey + L"\\ProgID", r.progId.c_str());
  PutKey(classKey + L"\\TypeLib", r.typeLibText.c_str());
  PutKey(classKey + L"\\Control");
  for (auto& i : r.interfaces) {
    PutKey(r.interfaceRoot + L"\\" + i, L"IVornControl");
    PutKey(r.interfaceRoot + L"\\" + i + L"\\TypeLib", r.typeLibKey.c_str());
  }
  if (!r.typeLibKey.empty()) {
    std::wstring lib = r.typeLibRoot + L"\\" + r.typeLibKey;
    PutKey(lib + L"\\1.0", L"Vorn control library");
    PutKey(lib + L"\\1.0\\0\\win32", L"C:\\VornActiveX\\1\\ctl.ocx");
  }
}

std::vector<std::wstring> KeysOf(const Registration& r) {
  std::vector<std::wstring> keys{r.progId, r.classRoot + L"\\" + r.clsid};
  for (auto& i : r.interfaces) keys.push_back(r.interfaceRoot + L"\\" + i);
  if (!r.typeLibKey.empty()) keys.push_back(r.typeLibRoot + L"\\" + r.typeLibKey);
  return keys;
}

std::wstring ExportAll(const std::vector<std::wstring>& paths) {
  std::wstring out;
  for (auto& p : paths) out += ExportTree(p);
  return out;
}

std::vector<std::wstring> Existing(const std::vector<std::wstring>& paths) {
  std::vector<std::wstring> out;
  for (auto& p : paths)
    if (KeyExists(p)) out.push_back(p);
  return out;
}

namespace {
bool PutLink(const std::wstring& path, const std::wstring& target) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                      KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  LONG r = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK,
                          reinterpret_cast<const BYTE*>(target.c_str()),
                          static_cast<DWORD>(target.size() * sizeof(wchar_t)));
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

const wchar_t ClassesTarget[] = L"\\Registry\\Machine\\Software\\Classes\\";
}  // namespace

bool PutUndeletable(const std::wstring& path) {
  return PutLink(path, ClassesTarget + std::wstring(L"UniNowhere\\") + path);
}

void DeleteLinkKey(const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), REG_OPTION_OPEN_LINK, DELETE, &key) !=
      ERROR_SUCCESS)
    return;
  using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
  auto deleteKey = reinterpret_cast<NtDeleteKeyFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), "NtDeleteKey")));
  if (deleteKey) deleteKey(key);
  RegCloseKey(key);
}

std::vector<std::wstring> SubkeyNames(const std::wstring& path) {
  std::vector<std::wstring> names;
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[300];
    DWORD length = 300;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    names.emplace_back(name, length);
  }
  RegCloseKey(key);
  return names;
}

unsigned long long Stamp(const std::wstring& path) {
  HKEY key;
  FILETIME time{};
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, &time);
  RegCloseKey(key);
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::vector<std::wstring> operator+(std::vector<std::wstring> a,
                                    const std::vector<std::wstring>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

bool WowTypeLibIsShared() {
  PutKey(L"TypeLib\\UniSharedProbe");
  bool shared = KeyExists(L"Wow6432Node\\TypeLib\\UniSharedProbe");
  RemoveTree(L"TypeLib\\UniSharedProbe");
  return shared;
}

SeparateWowTypeLib::SeparateWowTypeLib() {
  wasLink = WowTypeLibIsShared();
  if (!wasLink) return;
  DeleteLinkKey(L"Wow6432Node\\TypeLib");  // deletes the link itself, not its target
  PutKey(L"Wow6432Node\\TypeLib");
}

SeparateWowTypeLib::~SeparateWowTypeLib() {
  if (!wasLink) return;
  RemoveTree(L"Wow6432Node\\TypeLib");
  PutLink(L"Wow6432Node\\TypeLib", ClassesTarget + std::wstring(L"TypeLib"));
}
