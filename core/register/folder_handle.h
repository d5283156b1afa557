// Opening what lies in a held folder through the folder's own handle, never again by a path
// built from names: a folder renamed, or replaced by a junction, after it was opened does not
// change what its handle leads to.
#pragma once
#include <windows.h>

#include <cstddef>

#include "platform/unique.h"

// Longest final path checked ("\\?\C:\VornActiveX\<digits>\<entry name>").
constexpr size_t FinalPathCapacity = 600;

struct FolderOpen {
  UniqueCreateFileHandle handle;  // owned; none when the open failed
  DWORD error = 0;                // the system's code when no handle is held
};

// Opens the entry named by length characters of name (one name, no separator) in the folder
// that parent is open on, with NtCreateFile and parent as its root directory. A link is opened
// itself (FILE_OPEN_REPARSE_POINT), never followed; directory says which kind is wanted.
// NtCreateFile leaves null on failure; the result then holds no handle (INVALID_HANDLE_VALUE).
FolderOpen OpenInFolder(HANDLE parent, const wchar_t* name, size_t length, ACCESS_MASK access,
                        ULONG share, bool directory);

// The handle's final path ("\\?\C:\..."), false when it cannot be read whole.
bool FinalPathOf(HANDLE handle, wchar_t (&path)[FinalPathCapacity]);

// True when the handle is open on a plain file or directory (no reparse point) of the volume
// that volumeOf is on, whose final path is parentPath, a backslash and the name; false for
// anything else, and for what cannot be read.
bool IsPlainEntryOf(HANDLE handle, HANDLE volumeOf, const wchar_t* parentPath,
                    const wchar_t* name, size_t length, BY_HANDLE_FILE_INFORMATION& info);

// One listing of a directory, read through its handle (GetFileInformationByHandleEx), not
// by a search on its path.
class Listing {
 public:
  explicit Listing(HANDLE directory)
      : directory_(directory), block_(HeapAllocate<BYTE>(Size, false)) {}
  // The next entry other than "." and "..", or null at the end; error is set when the listing
  // ended by a failure.
  const FILE_FULL_DIR_INFO* Next(DWORD* error);

 private:
  static constexpr DWORD Size = 65536;
  HANDLE directory_;
  UniqueHeap<BYTE> block_;  // the heap's blocks are aligned for any entry
  const FILE_FULL_DIR_INFO* entry_ = nullptr;
  bool started_ = false;
};

