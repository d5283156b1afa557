// Reads the default value of a registry key as text, whole or not at all.
#pragma once
#include <windows.h>

#include <cstddef>

enum class KeyDefault {
  Text,     // out holds the value, terminated inside out
  NoKey,    // the key could not be opened (missing, or not for this program)
  NoValue,  // the key has no default value
  NotText,  // the value is no REG_SZ / REG_EXPAND_SZ, or could not be read
  TooLong,  // the value does not fit into cap - 1 characters
};

// The default value of parent\path, opened with KEY_QUERY_VALUE | view (view: 0,
// KEY_WOW64_32KEY or KEY_WOW64_64KEY). out (cap characters, cap > 1) is all zeros unless the
// result is Text. One character is held back, so the text ends inside out even when it was
// stored without its terminator; half a character stored at the end is dropped. *type, when
// given, receives REG_SZ or REG_EXPAND_SZ for Text; the text is not expanded.
KeyDefault ReadKeyDefault(HKEY parent, const wchar_t* path, REGSAM view, wchar_t* out, size_t cap,
                          DWORD* type = nullptr);

template <size_t N>
inline KeyDefault ReadKeyDefault(HKEY parent, const wchar_t* path, REGSAM view, wchar_t (&out)[N],
                                 DWORD* type = nullptr) {
  return ReadKeyDefault(parent, path, view, out, N, type);
}
