// Reading single values of the registry for the checks: whole or not at all, never written.
#pragma once
#include <windows.h>

#include <cstddef>

// A string value (REG_EXPAND_SZ expanded) of the key at path below root, in the view given by
// view (0, KEY_WOW64_64KEY or KEY_WOW64_32KEY); name null: the default value. False (out
// emptied) when the key or value is missing, of another type, or does not fit.
bool ReadStringValue(HKEY root, const wchar_t* path, const wchar_t* name, REGSAM view,
                     wchar_t* out, size_t cap);
template <size_t N>
bool ReadStringValue(HKEY root, const wchar_t* path, const wchar_t* name, REGSAM view,
                     wchar_t (&out)[N]) {
  return ReadStringValue(root, path, name, view, out, N);
}

// A REG_DWORD value; false when missing or of another type.
bool ReadDwordValue(HKEY root, const wchar_t* path, const wchar_t* name, REGSAM view, DWORD& out);

bool KeyExists(HKEY root, const wchar_t* path, REGSAM view);

// Calls each once for every user hive loaded under HKEY_USERS (the "<SID>_Classes" keys are
// those users' classes, reached below their own hives, and are skipped).
void ForEachUserHive(void (*each)(const wchar_t* sid, void* context), void* context);
