// The folder that one cabinet is unpacked into: a new, empty folder under the unpack root,
// protected like the root, with the root and the folder held open while the cabinet is
// unpacked.
#pragma once
#include <windows.h>

#include "core/register/cabinet.h"
#include "core/register/unpack_root.h"

enum class UnpackFolderStatus {
  Created,      // folder names a new, empty folder that this call made
  RootUnsafe,   // the root is not a plain folder the program can make safe, and what is
                // there could not be moved aside; nothing was made
  FolderTaken,  // no longer returned: a folder name that exists is passed over for the next
  Failed,       // any other failure; error tells which
};

struct UnpackFolder {
  UnpackFolder() = default;
  UnpackFolder(const UnpackFolder&) = delete;
  UnpackFolder& operator=(const UnpackFolder&) = delete;
  ~UnpackFolder();

  char ansi[UnpackDirCapacity] = "";      // "C:/VornActiveX/<digits>/"
  wchar_t wide[UnpackDirCapacity] = L"";  // the same, wide
  HANDLE root = INVALID_HANDLE_VALUE;     // the root, open while the folder is in use
  HANDLE folder = INVALID_HANDLE_VALUE;   // the folder itself, held the same way
  // Where a root that was not to be used went (e.g. "C:\VornActiveX.untrusted-1796686477"),
  // or empty; also set when the call then failed.
  wchar_t movedAside[MovedAsideCapacity] = L"";
};

// Makes the root safe and creates a new folder below it: "<root><seconds>/" for the current
// second, or the next free number when that exists. On Created, folder holds its path and
// both handles, which share no deletion, so neither the root nor the folder can be renamed or
// replaced until CloseUnpackFolder; otherwise folder is empty and error (when not null) the
// system's code where there is one.
UnpackFolderStatus CreateUnpackFolder(UnpackFolder& folder, DWORD* error);
// Lets the root and the folder go (the destructor does the same).
void CloseUnpackFolder(UnpackFolder& folder);
