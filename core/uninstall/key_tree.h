#pragma once
#include <windows.h>

#include <cstddef>

// The path that a tree deletion works in. It starts in a 520-character buffer (paths of up to
// 519 characters) and moves to a larger heap buffer when a deep tree with long names needs more,
// so that no level ever works on a cut path.
constexpr size_t WorkingPathCapacity = 520;
struct WorkingPath {
  WorkingPath() = default;
  WorkingPath(const WorkingPath&) = delete;
  WorkingPath& operator=(const WorkingPath&) = delete;
  ~WorkingPath();

  wchar_t initial[WorkingPathCapacity] = {};
  wchar_t* text = initial;
  size_t capacity = WorkingPathCapacity;  // characters, terminator included
};

// Makes room for a text of length characters; false (text unchanged) when memory runs out.
bool ReserveWorkingPath(WorkingPath& path, size_t length);

// Deletes the key at path below root with everything below it, deepest keys first.
// 1 when this call deleted it, 0 otherwise. An empty path or one that begins with, or holds
// an empty name between, backslashes names the root or another key than it says: nothing is
// deleted. A registry link, a key more than 512 levels below path and one whose path is
// longer than the registry takes (32,766 characters) count as keys that cannot be deleted.
// On return the path reads as it came in, less a trailing backslash.
int DeleteKeyTree(HKEY root, WorkingPath& path);
// True when the key at path below root is itself a registry link (its name leads elsewhere).
bool IsRegistryLink(HKEY root, const wchar_t* path);

// Deletes the key at path below HKEY_CLASSES_ROOT with everything below it.
// 1 when this call deleted it, 0 otherwise (never deletes the root or a cut path).
int DeleteClassesRootTree(const wchar_t* path);
// Deletes each direct subkey of keyName whose GUID name agrees with typeLib in all groups
// but the first (after the family's letter-case fixes of typeLib).
void SweepGuidKeys(const wchar_t* progId, const wchar_t* typeLib, const wchar_t* keyName);

// ProgID families whose type-library texts are stored with lower-case letters in the third
// group, and the positions of the braced GUID text that the sweep raises to upper case.
struct TypeLibCaseFix {
  const wchar_t* familyTag;  // the first seven characters of the ProgID
  int positions[3];
  int count;
};
constexpr size_t FamilyTagLength = 7;
constexpr TypeLibCaseFix TypeLibCaseFixes[] = {
    {L"VORN.At", {17, 18}, 2},
    {L"VORN.Se", {16, 17, 18}, 3},
    {L"VORN.We", {16, 17, 18}, 3},
    {L"VORN.Of", {16, 18}, 2},
};
