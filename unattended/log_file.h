// Opening a log file as an elevated process may: no link, junction or other reparse point
// anywhere on the way and no hard-linked file, so that a user who can create a folder (at the
// root of C:, in C:\ProgramData) cannot aim the program's writes at a file of the system.
#pragma once
#include <windows.h>

#include <cstddef>

#include "platform/unique.h"

constexpr size_t LogPathCapacity = 1000;

struct LogFileOpening {
  UniqueCreateFileHandle file;     // appended to; none when refused
  const wchar_t* reason = nullptr;  // when refused: what is wrong, for the log
  DWORD error = 0;                  // the system's error, or 0
};

// path as given to /log: %NAME% expanded, then made a full path. False with a reason when
// the result does not fit or still names a variable (one that is not set).
bool ExpandLogPath(const wchar_t* given, wchar_t (&full)[LogPathCapacity], const wchar_t** reason,
                   DWORD* error);

// Opens the file at full (a full path) for appending, creating missing folders (only
// administrators and SYSTEM may write them). rotateOver: when the file holds more bytes than
// this, it is first renamed to oldPath (replacing an older one); 0: never.
LogFileOpening OpenLogFile(const wchar_t* full, unsigned long long rotateOver = 0,
                           const wchar_t* oldPath = nullptr);
