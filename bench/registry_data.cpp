#include "bench/registry_data.h"

#include <cstdio>

const wchar_t* const MakerPrefixes[3] = {L"VORN.", L"PDF.V", L"Vorn."};

DWORD CountSubkeys(const wchar_t* path) {
  HKEY key = HKEY_CLASSES_ROOT;
  if (path[0] && RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return 0;
  DWORD count = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr);
  if (key != HKEY_CLASSES_ROOT) RegCloseKey(key);
  return count;
}

int FillSubkeys(const wchar_t* path, DWORD target, KeyNamer namer) {
  HKEY parent = HKEY_CLASSES_ROOT;
  if (path[0] && RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 &parent, nullptr) != ERROR_SUCCESS)
    return -1;
  DWORD count = CountSubkeys(path);
  int created = 0;
  wchar_t name[256];
  for (unsigned index = 0; count < target; ++index) {
    namer(index, name, 256);
    HKEY child;
    DWORD disposition = 0;
    if (RegCreateKeyExW(parent, name, 0, nullptr, 0, KEY_WRITE, nullptr, &child,
                        &disposition) != ERROR_SUCCESS) {
      created = -1;
      break;
    }
    RegCloseKey(child);
    if (disposition == REG_CREATED_NEW_KEY) {
      ++count;
      ++created;
    }
  }
  if (parent != HKEY_CLASSES_ROOT) RegCloseKey(parent);
  return created;
}

bool PutKey(const wchar_t* path, const wchar_t* defaultValue) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  bool ok = true;
  if (defaultValue) {
    DWORD bytes = static_cast<DWORD>((wcslen(defaultValue) + 1) * sizeof(wchar_t));
    ok = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(defaultValue),
                        bytes) == ERROR_SUCCESS;
  }
  RegCloseKey(key);
  return ok;
}

bool KeyExists(const wchar_t* path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
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
