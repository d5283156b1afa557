// The folder that one cabinet is unpacked into: a new, empty folder under the unpack root,
// protected like the root. The root and the folder are held open, sharing no deletion, for as
// long as the folder is in use, and everything in the folder is opened relative to its handle.
#pragma once
#include <windows.h>

#include <cstddef>

#include "core/register/unpack_root.h"

// Room for an unpack folder's path: root, sign and ten digits, "/".
constexpr size_t UnpackDirCapacity = 32;

enum class UnpackFolderStatus {
  Created,      // folder names a new, empty folder that this call made
  RootUnsafe,   // the root is not a plain folder the program can make safe, and what is
                // there could not be moved aside; nothing was made
  RootFailed,   // the root could not be made or opened; error tells why
  NamesTaken,   // every folder name tried exists already
  Failed,       // the folder could not be made; error tells why
};

struct UnpackFolder {
  UnpackFolder() = default;
  UnpackFolder(const UnpackFolder&) = delete;
  UnpackFolder& operator=(const UnpackFolder&) = delete;
  ~UnpackFolder();

  char ansi[UnpackDirCapacity] = "";      // "C:/VornActiveX/<digits>/"
  wchar_t wide[UnpackDirCapacity] = L"";  // the same, wide
  UniqueCreateFileHandle root;    // the root, open while the folder is in use
  UniqueCreateFileHandle folder;  // the folder itself, held the same way
  // Where a root that was not to be used went (e.g. "C:\VornActiveX.untrusted-1796686477"),
  // or empty; also set when the call then failed.
  wchar_t movedAside[MovedAsideCapacity] = L"";
};

// Makes the root safe and creates a new folder in it, relative to the root's handle: the
// number of the current second, or the first free number after it and after the highest
// folder number in the root, so that cabinets coming faster than one a second do not walk
// past every folder made before. On Created, folder holds its path and both handles, which
// share no deletion, so neither the root nor the folder can be renamed or replaced until
// CloseUnpackFolder; otherwise folder is empty and error (when not null) the system's code
// where there is one.
UnpackFolderStatus CreateUnpackFolder(UnpackFolder& folder, DWORD* error);
// Lets the root and the folder go (the destructor does the same).
void CloseUnpackFolder(UnpackFolder& folder);
