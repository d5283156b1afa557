// Deleting unpack folders that are no longer used, so that repeated installs leave no pile of
// old copies under the unpack root.
//
// A folder is taken as one the program made only when it lies directly under the root, is
// named by digits (an optional '-' first, as the time in seconds of CreateUnpackDirectory), is a
// plain directory (no junction, symbolic link or other reparse point) and holds nothing but
// plain files with one name each: no subfolder, no link, no file with further hard links.
// It is deleted only when no class of either registry view names a file in it as its
// InprocServer32, and only when every file in it can be opened for deletion with no sharing at
// all: a file being unpacked, probed or registered is open, and then the whole folder stays.
// All of the folder's files are held open like that before any is deleted, so nothing opens
// them in between; the root and the folder are held open meanwhile so that neither can be
// renamed or replaced by a link. Nothing is ever deleted through a link.
#pragma once
#include <windows.h>

#include <cstddef>

// "C:\VornActiveX\" (15), sign and ten digits, "\".
constexpr size_t UnpackFolderPathCapacity = 32;

enum class FolderFate {
  Deleted,     // the folder and its files are gone
  Kept,        // the folder to keep, or the newest one (a drop may be registering from it)
  Referenced,  // a registration still names a file in it
  InUse,       // a file in it is open elsewhere
  NotOurs,     // it holds something the program never puts there (a link, a subfolder)
  Failed,      // it could not be deleted (error tells why)
};

struct UnpackCleanup {
  int deleted = 0;
  int left = 0;
  bool rootUsable = true;  // false: the root is missing or not a plain folder; nothing done
};

// Called once for each folder looked at, with its path ("C:\VornActiveX\<digits>\").
using FolderReport = void (*)(const wchar_t* folder, FolderFate fate, DWORD error, void* context);

// The unpack folder that the file at path lies in, as "C:\VornActiveX\<digits>\"; false when
// the path is not below such a folder.
bool UnpackFolderOf(const wchar_t* path, wchar_t (&folder)[UnpackFolderPathCapacity]);

// Calls found for each folder under the root that looks like the program's (as above, without
// looking inside it), as "C:\VornActiveX\<digits>\"; returns their number.
int ForEachUnpackFolder(void (*found)(const wchar_t* folder, void* context), void* context);

// Deletes every unused folder under the root except keepFolder (may be null) and the newest
// folder. report may be null.
UnpackCleanup RemoveUnusedUnpackFolders(const wchar_t* keepFolder, FolderReport report,
                                        void* context);

// Deletes these folders (as UnpackFolderOf gives them) when they are unused; the newest is not
// spared. Used after an uninstall, for the folders of the controls it removed.
UnpackCleanup RemoveUnpackFoldersIfUnused(const wchar_t (*folders)[UnpackFolderPathCapacity],
                                          int count, FolderReport report, void* context);
