// The machine's classes, HKEY_LOCAL_MACHINE\Software\Classes, in one registry view: the only
// place the removal and the list read and delete.
//
// HKEY_CLASSES_ROOT is not used. For an elevated process Windows merges the user's own classes
// (HKEY_CURRENT_USER\Software\Classes) into it, and the user's keys win where both have one
// ("Merged View of HKEY_CLASSES_ROOT" in Microsoft's documentation). Any process of the user,
// unelevated, may write there: a ProgID, a class or a type-library value planted there would
// aim the elevated removal at keys of the system or of another program. Only administrators
// and SYSTEM write the machine's classes. (Wine does not merge: its HKEY_CLASSES_ROOT is the
// machine's classes of the process's own view, so the tests lay out keys through it.)
#pragma once
#include <windows.h>

#include "platform/unique.h"

// Which view a key is read and deleted in: the process's own, or one of the two views of
// 64-bit Windows. Every open and delete below a view's key passes its flag again, as
// Microsoft's "Accessing an Alternate Registry View" requires; on 32-bit Windows the flags
// are ignored and there is one view.
enum class RegistryView : REGSAM {
  Own = 0,
  Bits64 = KEY_WOW64_64KEY,
  Bits32 = KEY_WOW64_32KEY,
};

// The open key of the machine's classes in one view; closes it. key is null when it cannot be
// opened, and then nothing is found or deleted through it.
struct ClassesView {
  explicit ClassesView(RegistryView which);

  UniqueKey key;
  REGSAM view = 0;  // the flag passed with every open and delete below key
};

// True when the key at path below the view's classes exists (a link counts as itself).
bool KeyExistsIn(const ClassesView& classes, const wchar_t* path);

// True when this is a 32-bit process on 64-bit Windows.
bool DetectWow64();
