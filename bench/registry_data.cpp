#include "bench/registry_data.h"

#include <cstdio>

#include "platform/unique.h"

const wchar_t* const MakerPrefixes[3] = {L"VORN.", L"PDF.V", L"Vorn."};

DWORD CountSubkeys(const wchar_t* path) {
  UniqueKey opened;  // the root itself is never closed
  if (path[0] && RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, opened.put()) != ERROR_SUCCESS)
    return 0;
  DWORD count = 0;
  RegQueryInfoKeyW(opened ? opened.get() : HKEY_CLASSES_ROOT, nullptr, nullptr, nullptr, &count,
                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  return count;
}

int FillSubkeys(const wchar_t* path, DWORD target, KeyNamer namer) {
  UniqueKey created;  // the root itself is never closed
  if (path[0] && RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 created.put(), nullptr) != ERROR_SUCCESS)
    return -1;
  HKEY parent = created ? created.get() : HKEY_CLASSES_ROOT;
  DWORD count = CountSubkeys(path);
  int made = 0;
  wchar_t name[256];
  for (unsigned index = 0; count < target; ++index) {
    namer(index, name, 256);
    UniqueKey child;
    DWORD disposition = 0;
    if (RegCreateKeyExW(parent, name, 0, nullptr, 0, KEY_WRITE, nullptr, child.put(),
                        &disposition) != ERROR_SUCCESS) {
      made = -1;
      break;
    }
    if (disposition == REG_CREATED_NEW_KEY) {
      ++count;
      ++made;
    }
  }
  return made;
}

bool PutKey(const wchar_t* path, const wchar_t* defaultValue) {
  UniqueKey key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                      nullptr) != ERROR_SUCCESS)
    return false;
  if (!defaultValue) return true;
  DWORD bytes = static_cast<DWORD>((wcslen(defaultValue) + 1) * sizeof(wchar_t));
  return RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(defaultValue),
                        bytes) == ERROR_SUCCESS;
}

bool KeyExists(const wchar_t* path) {
  UniqueKey key;
  return RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void RemoveTree(const wchar_t* path) {
  if (!path[0]) return;  // never the root itself
  RegDeleteTreeW(HKEY_CLASSES_ROOT, path);
  RegDeleteKeyW(HKEY_CLASSES_ROOT, path);
}

void GuidText(unsigned long long seed, wchar_t* text, size_t capacity) {
  // splitmix64: well spread bits from consecutive seeds.
  auto next = [&seed]() {
    unsigned long long z = (seed += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  };
  unsigned long long a = next(), b = next();
  swprintf(text, capacity, L"{%08X-%04X-%04X-%04X-%012llX}", static_cast<unsigned>(a >> 32),
           static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFFF),
           static_cast<unsigned>(b >> 48), b & 0xFFFFFFFFFFFFull);
}
