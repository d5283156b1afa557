// Which unpack folders a registration still uses. A folder is used when a class of either
// registry view names a file in it as its InprocServer32, however the path is written: an 8.3
// short name, a "\\?\" prefix, forward slashes or another letter case name the same folder.
#pragma once
#include <windows.h>

#include <cstddef>

#include "core/register/unpack_root_path.h"
#include "platform/growing_array.h"

// The root (15), sign and ten digits, "\".
constexpr size_t UnpackFolderPathCapacity = 32;
using UnpackFolderText = wchar_t[UnpackFolderPathCapacity];

// Far more folders than a root ever holds; a list that would pass it is incomplete.
constexpr size_t FolderListBound = 1 << 20;

// Folders as "C:\VornActiveX\<digits>\", each once (in any letter case), on the process heap.
struct FolderList {
  GrowingArray<UnpackFolderText> folders{FolderListBound};
  bool complete = true;  // false: a folder could not be added
};
// True when list holds folder, in any letter case.
bool ContainsFolder(const FolderList& list, const wchar_t* folder);
// Adds folder unless the list holds it; a folder that does not fit or finds no memory marks
// the list incomplete.
void AddFolder(FolderList& list, const wchar_t* folder);

// An optional '-', then one to ten digits: the name the program gives an unpack folder.
bool IsUnpackFolderName(const wchar_t* name, size_t length);

// The unpack folder that path names or that the file at path lies in, as
// "C:\VornActiveX\<digits>\", from the path's long, full form; false for any other path.
bool UnpackFolderOf(const wchar_t* path, UnpackFolderText& folder);

// Adds to used every unpack folder that a registered class names. False when what the registry
// names could not be read whole: then no folder may be taken for unused.
bool ScanRegisteredFolders(FolderList& used);
