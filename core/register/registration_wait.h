// Registration as an unattended run does it: the same command as the window's, waited for.
#pragma once
#include <windows.h>

// How long regsvr32 may take before the registration counts as failed.
constexpr DWORD RegistrationBound = 120000;

// Starts the registration of the control at path (already probed) and waits for it, at most
// RegistrationBound; logs regsvr32's exit code. True when it ended with 0.
bool RegisterAndWait(const wchar_t* path);
