// Which registered controls came from a file: the policy of an uninstall that names the file
// given to /install. A control came from a control file when its InprocServer32 names that
// file; from a cabinet when its file lies in an unpack folder that holds every entry of the
// cabinet with the same contents (FolderHoldsCabinet).
#pragma once
#include <windows.h>

#include "core/register/cabinet_contents.h"
#include "core/register/registered_folders.h"

// Adds the unpack folders that hold the cabinet to matched.
void FindCabinetFolders(const CabinetContents& contents, FolderList& matched);

enum class CabinetOrigin {
  FromCabinet,    // the file lies in a folder that holds the cabinet
  OtherFolder,    // a file of one of the cabinet's names, in an unpack folder that does not
                  // hold the cabinet (changed since, or unpacked from another cabinet)
  Unrelated,      // anything else
};

// Where a registered control's file (as its InprocServer32 names it) stands to the cabinet.
CabinetOrigin OriginOf(const wchar_t* file, const CabinetContents& contents,
                       const FolderList& matched);

// One file given to an uninstall, and what its controls are compared with.
struct FileOrigin {
  const wchar_t* path = nullptr;  // the file's full path (lent, not owned)
  bool cabinet = false;
  CabinetContents contents;       // a cabinet's entries
  FolderList matched;             // the unpack folders that hold the cabinet
};

// Prepares origin for the file at path (its full path). For a cabinet, reads its entries and
// finds the folders that hold it; false when the cabinet cannot be read whole (then no
// control can be told to come from it). Always true for a control file.
bool OpenFileOrigin(FileOrigin& origin, const wchar_t* path, bool cabinet);

// Where a registered control's file (InprocServer32, expanded) stands to the given file: for a
// control file, FromCabinet when it is that same file (SameFile), else Unrelated.
CabinetOrigin OriginOfControl(const FileOrigin& origin, const wchar_t* file);
