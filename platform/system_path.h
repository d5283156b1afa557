// Full paths of the system's own files, so that nothing is looked up by name in the program's
// folder, the current directory or the PATH.
#pragma once
#include <windows.h>

#include <cstddef>

// out receives the system directory, a backslash and name (e.g. "C:\Windows\system32\cmd.exe";
// a 32-bit process on 64-bit Windows gets the same text, which the file system redirects to
// the 32-bit folder). With an empty name, out receives the directory alone. False (out
// emptied) when the directory cannot be read or the whole path does not fit into cap.
bool SystemPath(const wchar_t* name, wchar_t* out, size_t cap);

template <size_t N>
inline bool SystemPath(const wchar_t* name, wchar_t (&out)[N]) { return SystemPath(name, out, N); }

// True when this Windows has the LOAD_LIBRARY_SEARCH_* flags of LoadLibraryExW (Windows 8, or
// Windows 7 with KB2533623): the documented sign is kernel32's SetDefaultDllDirectories.
bool HasDllSearchFlags();

// Takes the current directory out of the process's DLL search and, where the system allows
// it, restricts the default search to the system directory. Called first thing at start-up.
void RestrictDllSearch();
