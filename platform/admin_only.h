// The security descriptors of what the program creates for itself: only administrators and
// SYSTEM may change it, so a process without administrator rights cannot plant anything there.
#pragma once
#include <windows.h>

#include "platform/unique.h"

// Folders (and what they inherit to): SYSTEM and administrators full control, users read and
// list; owned by the administrators.
extern const wchar_t AdminsOnlyFolderSddl[];
// Named objects (mutexes, private namespaces): SYSTEM and administrators only.
extern const wchar_t AdminsOnlyObjectSddl[];

using UniqueSecurityDescriptor = UniqueLocal<PSECURITY_DESCRIPTOR>;

// The descriptor made from sddl; null (GetLastError tells why) when the system cannot make it.
UniqueSecurityDescriptor MakeSecurityDescriptor(const wchar_t* sddl);
