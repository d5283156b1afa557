// Registry layouts for the removal tests: registrations shaped like the ones real controls
// write, keys that cannot be deleted, and snapshots of what is left.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tests/common/registry_fixture.h"

// "{first-rest}": a braced GUID text from its first group and the other four.
std::wstring Guid(const std::wstring& first, const std::wstring& rest);

// What a control registers: ProgID (CLSID, CurVer), class key (InprocServer32, ProgID,
// TypeLib, Control), one Interface key per interface with its TypeLib subkey, and the type
// library under TypeLib\{...}\1.0\0\win32. classRoot is "CLSID" or "Wow6432Node\\CLSID",
// interfaceRoot "Interface" or "Wow6432Node\\Interface". typeLibText is the value stored in
// the class key (its letter case may differ from the key names).
struct Registration {
  std::wstring progId;
  std::wstring clsid;
  std::wstring typeLibText;
  std::wstring typeLibKey;               // the name of the type library's key
  std::vector<std::wstring> interfaces;  // interface key names
  std::wstring classRoot = L"CLSID";
  std::wstring interfaceRoot = L"Interface";
  std::wstring typeLibRoot = L"TypeLib";
};
void Register(const Registration& r);
// Every key the registration wrote (the tops of the trees).
std::vector<std::wstring> KeysOf(const Registration& r);

// Concatenated exports of the keys, in the order given; "" for each missing key.
std::wstring ExportAll(const std::vector<std::wstring>& paths);
// The keys among paths that still exist.
std::vector<std::wstring> Existing(const std::vector<std::wstring>& paths);

// A subkey that this program cannot delete: a registry link to a key that does not exist.
// Opening or deleting it by its name fails, while its parent still lists it.
bool PutUndeletable(const std::wstring& path);
// Deletes a link key itself (not what it points to).
void DeleteLinkKey(const std::wstring& path);

// Wine, like 64-bit Windows 7 and later, shares "TypeLib" between the views:
// "Wow6432Node\TypeLib" is a link to it. For its lifetime this replaces the link with an
// ordinary key, as on the 64-bit systems that keep the views apart.
struct SeparateWowTypeLib {
  SeparateWowTypeLib();
  ~SeparateWowTypeLib();
  SeparateWowTypeLib(const SeparateWowTypeLib&) = delete;
  SeparateWowTypeLib& operator=(const SeparateWowTypeLib&) = delete;
  bool wasLink = false;
};
// True when "Wow6432Node\TypeLib" names the same key as "TypeLib".
bool WowTypeLibIsShared();
// The names of the direct subkeys of path, in enumeration order.
std::vector<std::wstring> SubkeyNames(const std::wstring& path);

// Last-write time of a key below HKEY_CLASSES_ROOT ("" for the root itself). The registry
// stamps a key when a direct subkey is deleted, so the stamps of the parents tell in which
// order their children went.
unsigned long long Stamp(const std::wstring& path);

// Removes the trees when the test ends, whatever it left.
struct KeyCleanup {
  explicit KeyCleanup(std::vector<std::wstring> paths) : paths(std::move(paths)) {}
  ~KeyCleanup() {
    for (auto& p : paths) RemoveTree(p);
  }
  KeyCleanup(const KeyCleanup&) = delete;
  KeyCleanup& operator=(const KeyCleanup&) = delete;
  std::vector<std::wstring> paths;
};

std::vector<std::wstring> operator+(std::vector<std::wstring> a,
                                    const std::vector<std::wstring>& b);
