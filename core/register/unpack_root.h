// The security of the unpack root. The program runs elevated and registers what it unpacks
// there, so no other user and no process without elevation may create, replace or change
// anything below it. The system drive's root lets every user create folders, and gives
// Authenticated Users modify rights to what is created below it, so the root gets a
// protected descriptor of its own, and a root the program did not make safe is not used.
#pragma once
#include <windows.h>

// The root's descriptor: owner Administrators; a protected DACL (nothing inherited from the
// drive's root) granting full control to SYSTEM and Administrators and read and execute to
// Users, each inherited by every folder and file below (object and container inherit).
extern const wchar_t UnpackRootSddl[];

// The descriptor made from UnpackRootSddl (free it with LocalFree), or null.
PSECURITY_DESCRIPTOR BuildUnpackRootSecurity();

// True for Administrators, SYSTEM, the owner this process's token gives what it creates, and
// the token's user (the administrator running the program; Wine shows every file as theirs).
bool IsTrustedOwner(PSID owner);

// Creates root with the descriptor; or, when it exists, checks that it is a plain directory
// (no junction, symbolic link or other reparse point) with a trusted owner and gives it the
// descriptor's owner and protected DACL again, which also reach what lies below it. False
// when the root is not to be used.
bool SecureUnpackRoot(const wchar_t* root);
