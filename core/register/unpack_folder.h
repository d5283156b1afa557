// The folder that one cabinet is unpacked into: a new, empty folder under the unpack root,
// protected like the root, with the root held open while the cabinet is unpacked.
#pragma once
#include <windows.h>

#include "core/register/cabinet.h"

enum class UnpackFolderStatus {
  Created,      // folder names a new, empty folder that this call made
  RootUnsafe,   // the root is not a plain folder the program can make safe; nothing was made
  FolderTaken,  // no new folder could be made (one of that name exists, made by another)
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
};

// Makes the root safe and creates a new folder below it. On Created, folder holds its path;
// otherwise folder is empty and error (when not null) the system's code where there is one.
UnpackFolderStatus CreateUnpackFolder(UnpackFolder& folder, DWORD* error);
// Lets the root go (the destructor does the same).
void CloseUnpackFolder(UnpackFolder& folder);
