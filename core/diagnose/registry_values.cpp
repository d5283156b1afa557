#include "core/diagnose/registry_values.h"

#include <cwchar>

#include "platform/text.h"
#include "platform/unique.h"

namespace {

UniqueKey OpenKey(HKEY root, const wchar_t* path, REGSAM view) {
  UniqueKey key;
  RegOpenKeyExW(root, path, 0, KEY_READ | view, key.put());
  return key;
}

}  // namespace

bool ReadStringValue(HKEY root, const wchar_t* path, const wchar_t* name, REGSAM view,
                     wchar_t* out, size_t cap) {
  out[0] = 0;
  UniqueKey open = OpenKey(root, path, view);
  if (!open || cap > 0x7FFFFFFF / sizeof(wchar_t)) return false;
  DWORD size = static_cast<DWORD>(cap * sizeof(wchar_t));
  // RegGetValueW ends the text inside the buffer and expands REG_EXPAND_SZ.
  if (RegGetValueW(open.get(), nullptr, name, RRF_RT_REG_SZ, nullptr, out, &size) != ERROR_SUCCESS) {
    out[0] = 0;
    return false;
  }
  return true;
}

bool ReadDwordValue(HKEY root, const wchar_t* path, const wchar_t* name, REGSAM view, DWORD& out) {
  out = 0;
  UniqueKey open = OpenKey(root, path, view);
  DWORD size = sizeof out;
  return open &&
         RegGetValueW(open.get(), nullptr, name, RRF_RT_REG_DWORD, nullptr, &out, &size) == ERROR_SUCCESS;
}

bool KeyExists(HKEY root, const wchar_t* path, REGSAM view) {
  return OpenKey(root, path, view).valid();
}

void ForEachUserHive(void (*each)(const wchar_t* sid, void* context), void* context) {
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    LONG result = RegEnumKeyExW(HKEY_USERS, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) return;
    if (EndsWith(name, L"_Classes")) continue;
    each(name, context);
  }
}
