// Registry data for the benchmarks, made with RegCreateKeyExW from inside Wine (a reg.exe
// call per key would take hours for 100,000 keys). Everything lies below HKEY_CLASSES_ROOT
// of the benchmark's own Wine prefix.
#pragma once
#include <windows.h>

#include <cstddef>

// Number of direct subkeys of HKEY_CLASSES_ROOT\path ("" for the root itself); 0 when the
// key cannot be opened.
DWORD CountSubkeys(const wchar_t* path);

using KeyNamer = void (*)(unsigned index, wchar_t* name, size_t capacity);

// Creates subkeys of HKEY_CLASSES_ROOT\path named namer(0), namer(1), ... until the key has
// target direct subkeys (names that exist already do not count twice). Returns the number
// of keys created, or -1 on a registry error.
int FillSubkeys(const wchar_t* path, DWORD target, KeyNamer namer);

// Creates HKEY_CLASSES_ROOT\path (and its parents), with a default value when one is given.
bool PutKey(const wchar_t* path, const wchar_t* defaultValue = nullptr);
bool KeyExists(const wchar_t* path);
// Deletes the key and everything below it; a missing key is fine.
void RemoveTree(const wchar_t* path);

// A braced, upper-case GUID text made from a seed, the same for the same seed.
void GuidText(unsigned long long seed, wchar_t* text, size_t capacity);

// The maker's ProgID prefixes, in the order the query tries them.
extern const wchar_t* const MakerPrefixes[3];
