// Opening or creating an entry relative to a held folder's handle (NtCreateFile with the
// handle as its root directory): what the handle leads to decides, never a path built from
// names, which a folder renamed or replaced by a junction after it was opened would change.
#pragma once
#include <windows.h>

#include <cstddef>

#include "platform/unique.h"

// Opens or creates the length characters of name (a relative NT name) in the folder open as
// directory; access, share, disposition and options as NtCreateFile takes them (synchronous
// I/O is added), case-insensitive as the Win32 functions open files, and security (or null)
// for what is created. The caller owns the handle; on failure none is held and *error is the
// system's code.
UniqueCreateFileHandle CreateRelative(HANDLE directory, const wchar_t* name, size_t length,
                                      ACCESS_MASK access, ULONG share, ULONG disposition,
                                      ULONG options, PSECURITY_DESCRIPTOR security, DWORD* error);

// Renames the file open as file to the length characters of name (one relative NT name) in
// the folder open as directory, replacing what is there when replace is set (never a folder).
// NtSetInformationFile itself: the Win32 call makes a relative name full from the current
// directory on Wine. False with *error the system's code when the name stays.
bool RenameRelative(HANDLE file, HANDLE directory, const wchar_t* name, size_t length, bool replace,
                    DWORD* error);
