// Where an unattended run writes: the default log (always), the /log file, and the console the
// program was started from or its redirected standard output. Log files get UTF-8 with a
// byte-order mark; standard output gets UTF-8 without one, and a console the text as it is.
//
// Log files are shared by runs, so a run's lines are held back until it holds the run lock
// (StartLogBlock) or ends, and are then written as one piece: no other run's lines land in a
// block. A line written with WriteToLogNow goes out at once, alone.
#pragma once
#include <windows.h>

#include "unattended/log_file.h"

struct LogOpening {
  bool given = false;                  // a /log file was named (for the default log: found)
  wchar_t path[LogPathCapacity] = {};  // the full path, as far as it was made
  const wchar_t* reason = nullptr;     // null: open
  DWORD error = 0;
};

// The default log is kept under this size: when it is larger at the start of a run it is
// renamed to Ctlwarden.old.log, replacing an older one.
constexpr unsigned long long DefaultLogBound = 1024 * 1024;

// Opens every output. A /log that cannot be opened safely is refused (logOpening->reason); a
// default log that cannot be opened only loses that copy.
void OpenRunOutput(const wchar_t* logPath, LogOpening* logOpening, LogOpening* defaultOpening);
// Writes what is held back and closes the files.
void CloseRunOutput();
// True when standard output or the parent's console takes the run's text.
bool HasConsoleOutput();
void WriteToConsole(const wchar_t* text);
// Standard error, when the starter gave one of its own (not the standard output's handle).
void WriteToError(const wchar_t* text);
void WriteToLog(const wchar_t* text);
void WriteToLogNow(const wchar_t* text);
void StartLogBlock();

// %WINDIR%\Logs\Ctlwarden.log: a folder that only administrators and the system may write.
bool DefaultLogPath(wchar_t* path, size_t capacity);
