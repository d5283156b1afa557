#pragma once
#include <windows.h>

#include <cstddef>

#include "core/uninstall/classes_view.h"

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
// On return the path reads as it came in, less a trailing backslash. view is the registry
// view flag (KEY_WOW64_32KEY, KEY_WOW64_64KEY or 0) of root, passed with every open and
// delete; error, when given and still 0, receives the first failure the system reported.
int DeleteKeyTree(HKEY root, WorkingPath& path, REGSAM view = 0, LONG* error = nullptr);
// True when the key at path below root is itself a registry link (its name leads elsewhere).
bool IsRegistryLink(HKEY root, const wchar_t* path, REGSAM view = 0);

// Deletes the key at path below the machine's classes of one view with everything below it.
// 1 when this call deleted it, 0 otherwise (never deletes the root or a cut path).
int DeleteClassesTree(const ClassesView& classes, const wchar_t* path, LONG* error = nullptr);
// The same in the process's own view.
int DeleteClassesRootTree(const wchar_t* path);

// What one sweep did: trees deleted, and matching trees of the control that are still there
// (error: the system's code for the first of them).
struct SweepTally {
  int deleted = 0;
  int left = 0;
  LONG error = ERROR_SUCCESS;
};
// True for a braced GUID text, "{" 8-4-4-4-12 hexadecimal digits "}", and nothing else.
bool IsBracedGuid(const wchar_t* text);
// True for a braced GUID of the system's COM range, {xxxxxxxx-0000-0000-C000-000000000046}
// (IUnknown, IDispatch, the OLE type library and the rest of COM's own), in any letter case.
bool IsSystemComGuid(const wchar_t* text);
// True when every file registered below the type library at path (its
// <version>\<lcid>\win32 and win64 values) is controlFile; a key with no file registered
// claims none. A file "x.ocx\2" (the second type library inside x.ocx) counts as x.ocx.
bool RegisteredFilesAre(const ClassesView& classes, const wchar_t* path,
                        const wchar_t* controlFile);
// Deletes each direct subkey of keyName (below the view's classes) whose GUID name agrees
// with typeLib in all groups but the first (after the family's letter-case fixes of typeLib),
// unless files other than controlFile are registered below it. A typeLib that is no braced
// GUID, or one of the system's COM range, sweeps nothing.
void SweepGuidKeys(const ClassesView& classes, const wchar_t* progId, const wchar_t* typeLib,
                   const wchar_t* keyName, const wchar_t* controlFile, SweepTally& tally);

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
