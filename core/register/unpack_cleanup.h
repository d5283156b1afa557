// Deleting unpack folders that are no longer used, so that repeated installs leave no pile of
// old copies under the unpack root.
//
// The clean-up runs only in a root that this run holds: HoldUnpackRoot takes over a plain
// directory owned by Administrators, SYSTEM or TrustedInstaller and holds it with listing
// access and no delete sharing, so that it can be neither renamed nor replaced until the
// clean-up ends; anything else at the root's name is moved aside unopened and nothing in it is
// deleted. The folders are listed from the held root's handle.
//
// A folder is taken as one the program made only when it lies directly under the root, is
// named by digits (an optional '-' first, as the time in seconds an unpack folder is named by), is
// a plain directory and holds nothing but plain files with one name each: no subfolder, no
// link, no file with further hard links. Each folder is opened relative to the root's handle,
// each file relative to its folder's handle (never by a path built from names), and each is
// checked through its handle (no reparse point, the root's volume, its final path directly
// below the held root or folder) before anything is marked for deletion.
// A folder is deleted only when no class of either registry view names a file in it as its
// InprocServer32, and only when every file in it can be opened for deletion with no sharing
// at all: a file being unpacked, probed or registered is open, and then the whole folder
// stays. All of its files are held open like that before any is marked, so nothing opens
// them in between.
#pragma once
#include <windows.h>

#include <cstddef>

#include "core/register/folder_delete.h"
#include "core/register/registered_folders.h"
#include "core/register/unpack_root.h"

struct UnpackCleanup {
  int deleted = 0;
  int left = 0;
  // False: the root is missing, or could not be held; nothing was looked at or deleted.
  bool rootUsable = true;
  // Where a root that was not the program's went (see HoldUnpackRoot), or empty. Nothing in it
  // was looked at or deleted.
  wchar_t movedAside[MovedAsideCapacity] = L"";
  DWORD error = 0;  // why the root could not be held
};

// Called once for each folder looked at, with its path ("C:\VornActiveX\<digits>\").
using FolderReport = void (*)(const wchar_t* folder, FolderFate fate, DWORD error, void* context);

// Calls found for each folder under the root that looks like the program's (as above, without
// looking inside it), as "C:\VornActiveX\<digits>\"; returns their number.
int ForEachUnpackFolder(void (*found)(const wchar_t* folder, void* context), void* context);

// Deletes every unused folder under the root except keepFolder (the path of a folder or of a
// file in it; may be null) and the newest folder. report may be null.
UnpackCleanup RemoveUnusedUnpackFolders(const wchar_t* keepFolder, FolderReport report,
                                        void* context);

// Deletes these folders (as UnpackFolderOf gives them) when they are unused; the newest is not
// spared. Used after an uninstall, for the folders of the controls it removed.
UnpackCleanup RemoveUnpackFoldersIfUnused(const UnpackFolderText* folders, int count,
                                          FolderReport report, void* context);
