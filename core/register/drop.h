#pragma once
#include <windows.h>
#include <shellapi.h>

#include <cstddef>

// Handles a WM_DROPFILES on MainWindow: only the first file, only in the register view.
// window owns any message box raised on the way.
void HandleDroppedFile(HWND window, HDROP drop);
// The same for a path given otherwise (the file the program was opened with), in the register
// view only; a path of DroppedPathCapacity characters or more is refused as a dropped one is.
void HandleDroppedPath(HWND window, const wchar_t* path);

// A control by the case-sensitive end of its name: ".ocx" or ".dll".
bool IsControl(const wchar_t* path);
// Registers every control lying directly in UnpackDir; true when any registration succeeded
// (its command was launched, or in an unattended run regsvr32 registered it). Each such control
// is listed in StatusText.
bool RegisterUnpackedControls(HWND window);

// A dropped path holds at most 999 characters; a longer one is refused, never cut.
constexpr size_t DroppedPathCapacity = 1000;

// Converts a path to the ANSI code page for the cabinet interface. False (ansi emptied) when
// it does not fit or holds a character that the code page cannot express exactly, since the
// interface would then open a different file.
bool ConvertToAnsiPath(const wchar_t* path, char* ansi, size_t cap);
