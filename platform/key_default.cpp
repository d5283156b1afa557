#include "platform/key_default.h"

#include <cwchar>

#include "platform/unique.h"

KeyDefault ReadKeyDefault(HKEY parent, const wchar_t* path, REGSAM view, wchar_t* out, size_t cap,
                          DWORD* type) {
  wmemset(out, L'\0', cap);
  if (type) *type = REG_NONE;
  UniqueKey key;
  if (RegOpenKeyExW(parent, path, 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS)
    return KeyDefault::NoKey;
  DWORD stored = REG_NONE;
  DWORD size = static_cast<DWORD>((cap - 1) * sizeof(wchar_t));
  LONG result = RegQueryValueExW(key.get(), nullptr, nullptr, &stored, reinterpret_cast<BYTE*>(out), &size);
  KeyDefault read = KeyDefault::Text;
  if (result == ERROR_FILE_NOT_FOUND) {
    read = KeyDefault::NoValue;
  } else if (result == ERROR_MORE_DATA) {
    read = KeyDefault::TooLong;
  } else if (result != ERROR_SUCCESS || (stored != REG_SZ && stored != REG_EXPAND_SZ)) {
    // The bytes of a number, a binary value or a list of strings are no text.
    read = KeyDefault::NotText;
  }
  if (read != KeyDefault::Text) {
    wmemset(out, L'\0', cap);
    return read;
  }
  out[size / sizeof(wchar_t)] = L'\0';
  if (type) *type = stored;
  return read;
}
