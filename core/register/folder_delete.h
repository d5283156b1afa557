// Deleting one unpack folder of the held root, through handles only.
#pragma once
#include <windows.h>

#include <cstddef>

enum class FolderFate {
  Deleted,     // the folder and its files are gone
  Kept,        // the folder to keep, or the newest one (a drop may be registering from it)
  Referenced,  // a registration still names a file in it
  InUse,       // a file in it is open elsewhere
  NotOurs,     // it holds something the program never puts there (a link, a subfolder)
  Failed,      // it could not be deleted (error tells why)
};

// Opens the folder named by length characters of name relative to the held root's handle,
// checks it through its own handle (a plain directory of the root's volume whose final path
// is rootFinal, a backslash and the name), holds every file its listing shows (each opened
// relative to the folder's handle with no sharing and checked the same way: a plain file with
// one name) and only then marks them and the folder for deletion: all or none.
FolderFate DeleteHeldFolder(HANDLE root, const wchar_t* rootFinal, const wchar_t* name,
                            size_t length, DWORD* error);
