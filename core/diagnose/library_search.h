// Where the loader looks for a library a control imports, for the control's processor.
#pragma once
#include <windows.h>

#include <cstddef>

#include "core/diagnose/pe_imports.h"

constexpr size_t SearchPathCapacity = 1000;  // a folder or file path of up to 999 characters
constexpr int KnownDllBound = 128;
constexpr int PathFolderBound = 64;

struct LibrarySearch {
  WORD machine;
  wchar_t controlFolder[SearchPathCapacity];
  wchar_t systemFolder[SearchPathCapacity];   // of the control's bitness (SysWOW64 for x86 on x64)
  wchar_t windowsFolder[SearchPathCapacity];
  wchar_t winSxS[SearchPathCapacity];
  char knownDlls[KnownDllBound][ImportNameCapacity];
  int knownDllCount;
  wchar_t pathFolders[PathFolderBound][SearchPathCapacity];  // the machine's PATH, in order
  int pathFolderCount;
};

enum class Found {
  ApiSet,      // api-ms-* or ext-ms-*: resolved by the system's schema, always there
  KnownDll,    // mapped from the system's known DLLs
  System,      // in the system or the Windows folder: not followed further
  Elsewhere,   // in the control's folder or on the PATH: its own imports are read too
  SideBySide,  // a side-by-side runtime found in WinSxS
  Undecided,   // a side-by-side runtime where WinSxS cannot be read
  Missing,
};

// Fills the search for a control at path (its folder) built for machine. False when the
// control's folder or the system's folders cannot be told.
bool PrepareLibrarySearch(const wchar_t* control, WORD machine, LibrarySearch& search);

// Looks for one library by name; where receives the file found (Elsewhere, System).
Found FindLibrary(const LibrarySearch& search, const char* name, wchar_t (&where)[SearchPathCapacity]);
