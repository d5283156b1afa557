// Starting the system's tools and the programs under test from inside Wine, so that they
// share the driver's wineserver and their time is not inflated by a cold Wine start.
#pragma once
#include <windows.h>

// Runs the command line with its standard handles on NUL, waits for it and returns the wall
// time in milliseconds from CreateProcessW to the end of the process; -1 when it could not
// be started or did not end within the timeout.
double TimeProcess(const wchar_t* commandLine, DWORD* exitCode = nullptr,
                   DWORD timeoutMs = 600000);

// Starts the command line without waiting; the caller owns the handles in info.
bool StartProcess(const wchar_t* commandLine, PROCESS_INFORMATION* info);

// The directory that holds the driver executable, with a trailing backslash.
const wchar_t* DriverDirectory();
