// Registering one control: a load probe in this process, then the system's regsvr32 started
// directly (no command interpreter) and waited for. What happened is returned; nothing is
// shown.
#pragma once
#include <windows.h>

#include <cstddef>

#include "platform/unique.h"

// How long regsvr32 may take before the registration counts as failed.
constexpr DWORD RegistrationBound = 120000;

enum class RegistrationStatus {
  Registered,     // regsvr32 ended with 0
  HelperLibrary,  // skipped: a library in a cabinet that exports no DllRegisterServer
  RefusedPath,    // failed: the path does not fit
  DidNotLoad,     // failed: error holds the loader's code
  NoEntryPoint,   // failed: a single file that exports no DllRegisterServer
  ExitCode,       // failed: regsvr32 ended with exitCode
  TimeLimit,      // failed: regsvr32 still ran after RegistrationBound
  NotStarted,     // failed: error holds CreateProcessW's code
};

struct RegistrationResult {
  RegistrationStatus status;
  DWORD error;     // the system's code, where there is one
  DWORD exitCode;  // regsvr32's, for ExitCode
  // DidNotLoad with ERROR_BAD_EXE_FORMAT: the processor the file is built for (0: it is no
  // image); one other than OwnMachine is a control of the other bitness.
  WORD machine;
};

inline bool IsFailure(RegistrationStatus status) {
  return status != RegistrationStatus::Registered && status != RegistrationStatus::HelperLibrary;
}

// Whether the file was named by the user, or found in a cabinet, where a library without
// DllRegisterServer is one the controls use.
enum class ControlSource { Single, InCabinet };

// Probes the control at path, then registers it and waits, at most RegistrationBound.
RegistrationResult RegisterControl(const wchar_t* path, ControlSource source);

enum class ProbeStatus { Control, NoEntryPoint, DidNotLoad };

// Loads the control (its path with backslashes for any slashes, at most 999 characters),
// looks up DllRegisterServer and unloads it again, searching its dependencies as regsvr32
// will: the control's own folder first, never the program's folder or the current directory.
// error receives the loader's code for DidNotLoad. The control's load-time code runs in this
// process.
ProbeStatus ProbeControl(const wchar_t* path, DWORD* error);

// Starts "<system>\regsvr32.exe" /s "path", hidden, in the system directory, the path with
// backslashes for any slashes; regsvr32 by its full path as the application name, so no search
// and no command interpreter is involved. No probe. process receives and owns the started
// process's handle. False (process empty) when nothing was started.
bool LaunchRegistration(const wchar_t* path, UniqueKernelHandle& process);

// Room for the command line of any dropped path (at most 999 characters) with a regsvr32 path
// below MAX_PATH: the two quotation marks around regsvr32's path, " /s \"", the closing mark and
// the terminator, regsvr32's path and the control's.
constexpr size_t RegisterCommandLineCapacity = 9 + (MAX_PATH - 1) + 999;

// "\"<regsvr32>\" /s \"path\"": regsvr32 parses its command line itself, and a path never holds
// a quotation mark, so the quoted path reaches it whole whatever else it holds ('%', '!', '^',
// '&', blanks). False (out emptied) when it does not fit into cap.
bool BuildRegisterCommandLine(const wchar_t* regsvr32, const wchar_t* path, wchar_t* out,
                              size_t cap);
