// The security of the unpack root. The program runs elevated and registers what it unpacks
// there, so no other user and no process without elevation may create, replace or change
// anything below it. The system drive's root lets every user create folders, and gives
// Authenticated Users modify rights to what is created below it, so the root gets a
// protected descriptor of its own. A root the program cannot make safe is moved aside and
// made again; nothing already in a root is ever used (each cabinet gets a new folder).
#pragma once
#include <windows.h>

#include <cstddef>

#include "platform/unique.h"

// The root and every folder made in it get AdminsOnlyFolderSddl (platform/admin_only.h):
// owner Administrators; a protected DACL (nothing inherited from the drive's root) granting
// full control to SYSTEM and Administrators and read and execute to Users, each inherited by
// every folder and file below (object and container inherit).

// True for Administrators, SYSTEM and TrustedInstaller only. The token's own user is not
// trusted: a process of that user without elevation may have made the root, and as its
// owner could open it again with WRITE_DAC after the take-over.
bool IsTrustedOwner(PSID owner);

// The name beside the root that HoldUnpackRoot gives a root it moves aside:
// "<root>.untrusted-<seconds>" and, when that is taken, "-2", "-3" ... behind it.
constexpr size_t MovedAsideCapacity = MAX_PATH;

enum class UnpackRootStatus {
  Held,    // held is the root: a plain directory, owner Administrators, protected DACL
  Unsafe,  // what is at the root's name is not to be used and could not be moved aside
  Failed,  // the root could not be made or opened; error tells why
};

// Opens root (a directory path without a trailing separator) as the folder to unpack into,
// creating it with the descriptor when it is missing. The handle is opened on the name
// itself (a link is not followed), is what gets checked and protected, and shares no delete
// access, so that the root can be neither renamed nor replaced until it is closed. A plain
// directory with a trusted owner is taken over (owner and protected DACL set again, which
// Windows passes on below it); anything else at the name (a file, a link, junction or other
// reparse point, a directory of another owner or one that cannot be protected) is renamed
// through that same handle to a free name beside it (its new name in movedAside, else
// movedAside is empty) and a fresh root is made. held owns the root's handle on Held and is
// empty otherwise.
UnpackRootStatus HoldUnpackRoot(const wchar_t* root, UniqueCreateFileHandle& held,
                                wchar_t* movedAside, size_t movedAsideCap, DWORD* error);
