#pragma once
#include <windows.h>

#include <cstddef>

// Probes the control at path, then starts regsvr32 on it silently through the command
// interpreter, hidden, without waiting (LaunchRegistration); an unattended run waits for it.
// Message boxes owned by window for a path the interpreter would rewrite and for a control
// that does not load. True when the command was launched (unattended: when regsvr32 succeeded).
bool RegisterControlFile(const wchar_t* path, HWND window);

// Loads the control (its path with backslashes for any slashes, at most 999 characters) and
// unloads it again, searching its dependencies as regsvr32 will: the control's own folder
// first, never the program's folder or the current directory. True when it loaded. The
// control's load-time code runs in this process.
bool ProbeControl(const wchar_t* path);

// Starts "<system>\cmd.exe /c ""<system>\regsvr32.exe" /s "path""", hidden, in the system
// directory, the path with backslashes for any slashes. No probe and no message box. When
// process is not null it receives the started interpreter's handle (the caller closes it); the
// interpreter's exit code is regsvr32's.
// False when nothing was started (also for a path CmdWouldRewrite refuses).
bool LaunchRegistration(const wchar_t* path, HANDLE* process);

// True when the command interpreter could read part of the path as a variable to expand:
// it holds two or more '%'. Such a path is refused with a message box.
bool CmdWouldRewrite(const wchar_t* path);

// Room for the parameters of any dropped path (at most 999 characters) with a regsvr32 path
// below MAX_PATH: the 14 characters of "/c \"\"", "\" /s \"", the closing pair and the
// terminator, regsvr32's path and the control's.
constexpr size_t RegisterParametersCapacity = 14 + (MAX_PATH - 1) + 999;

// "/c ""<regsvr32>" /s "path"": the interpreter strips the outer pair (its rule for a /c
// command that starts with a quotation mark and holds more than two), leaving
// "<regsvr32>" /s "path" to run. False (out emptied) when it does not fit into cap.
bool BuildRegisterParameters(const wchar_t* regsvr32, const wchar_t* path, wchar_t* out,
                             size_t cap);
