// Where an unattended run writes: the /log file (its folder created), the console the program
// was started from or its redirected standard output, and, when there is neither, the default
// log. Log files get UTF-8 with a byte-order mark; standard output gets UTF-8 without one, and
// a console the text as it is.
#pragma once
#include <windows.h>

// False (error set) when the /log file cannot be opened; no default log is a failure.
bool OpenRunOutput(const wchar_t* logPath, DWORD* error);
void CloseRunOutput();
// True when standard output or the parent's console takes the run's text.
bool HasConsoleOutput();
void WriteToConsole(const wchar_t* text);
void WriteToLog(const wchar_t* text);

// %WINDIR%\Logs\Ctlwarden.log: a folder that only administrators and the system may write.
bool DefaultLogPath(wchar_t* path, size_t capacity);
