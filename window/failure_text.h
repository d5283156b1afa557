// The message boxes that tell why a control or a cabinet was not registered, on the window's
// thread.
#pragma once
#include <windows.h>

#include "core/register/cabinet.h"
struct RegistrationResult;

// The box (caption "ERROR", owned by window) for a control that failed.
void TellFailure(HWND window, const wchar_t* path, const RegistrationResult& result);
// A cabinet that could not be unpacked, told in its message boxes; false (nothing told) when it
// was unpacked.
bool TellUnpackFailure(const CabinetResult& result);
// The system's text for error, without its line break, in reason (capacity cap); false when the
// system has none.
bool SystemErrorText(DWORD error, wchar_t* reason, DWORD cap);
