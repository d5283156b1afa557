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
