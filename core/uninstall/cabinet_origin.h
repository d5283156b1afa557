// Which registered controls came from a cabinet: the policy of an uninstall that names the
// cabinet file. A control came from it when its file lies in an unpack folder that holds every
// entry of the cabinet with the same contents (FolderHoldsCabinet).
#pragma once
#include <windows.h>

#include "core/register/cabinet_contents.h"
#include "core/register/registered_folders.h"

// The unpack folders that hold the cabinet; call ReleaseFolders on it afterwards.
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
