// Support for the hostile-registry cases: a watchdog that ends the process when one case
// hangs, and whole snapshots of HKEY_CLASSES_ROOT to prove that nothing went beyond the keys
// a removal may take.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

using Names = std::vector<std::wstring>;

// Longest time one case may take before the watchdog reports it as hung and ends the process.
constexpr unsigned CaseBoundSeconds = 150;

// Every key below HKEY_CLASSES_ROOT, one sorted line each: its path and its default value
// (type and bytes), so that a deleted key and a changed default show.
struct Snapshot {
  std::vector<std::wstring> lines;
};
Snapshot TakeSnapshot();

// Compares two snapshots: no default value changed; every key that went lies in one of
// the trees of mayGo (the key itself or below it); every key of mustGo is gone.
testing::AssertionResult OnlyTheseWent(const Snapshot& before, const Snapshot& after,
                                       const Names& mayGo, const Names& mustGo);
// The same, where exactly the trees of mustGo go.
inline testing::AssertionResult ExactlyTheseWent(const Snapshot& before, const Snapshot& after,
                                                 const Names& mustGo) {
  return OnlyTheseWent(before, after, mustGo, mustGo);
}
// Number of keys of the snapshot that lie in the tree at path.
size_t KeysIn(const Snapshot& snapshot, const std::wstring& path);

// Deletes a tree through relative handles, whatever its depth (the test's own cleanup).
void RemoveDeepTree(const std::wstring& path);

// Sets the default value of the key (created if needed) with any type and bytes.
bool PutRawDefault(const std::wstring& path, DWORD type, const void* data, DWORD size);

// A registry link at path to the key target below HKEY_CLASSES_ROOT.
bool PutLinkTo(const std::wstring& path, const std::wstring& target);

// Removes every direct subkey of HKEY_CLASSES_ROOT that the query would list, so that a case
// starts from a root without other controls.
void ClearMakerKeys();

// The system's COM registrations as a machine has them: interfaces of COM's own range
// ({xxxxxxxx-0000-0000-C000-000000000046}: IUnknown, IDispatch, IClassFactory and more, next
// to each other in the enumeration) in both views, and the OLE type library
// {00020430-0000-0000-C000-000000000046}. Wine registers most of them itself; the ones this
// prefix lacks are created, and removed again when the value ends.
struct SystemComKeys {
  SystemComKeys();
  ~SystemComKeys();
  SystemComKeys(const SystemComKeys&) = delete;
  SystemComKeys& operator=(const SystemComKeys&) = delete;
  Names keys;     // every key of the list, Wine's and the created ones
  Names created;  // the ones created here
};
constexpr wchar_t OleTypeLib[] = L"{00020430-0000-0000-C000-000000000046}";

// A class planted with a ProgID of the maker: the ProgID key names the class, whose ProgID
// subkey names the ProgID back, whose InprocServer32 is file and whose TypeLib is typeLib.
// classRoot: "CLSID" or "Wow6432Node\\CLSID". Returns the ProgID key and the class key.
Names PlantClass(const std::wstring& progId, const std::wstring& clsid,
                 const std::wstring& typeLib, const std::wstring& file,
                 const std::wstring& classRoot = L"CLSID");
