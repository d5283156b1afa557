// The window's drop: a control is registered, a cabinet unpacked and each of its controls
// registered, each registration waited for, as a job beside the window's thread; the report
// goes to StatusBox and each failed control is told in a message box.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include "core/register/drop.h"
#include "window/drop_report.h"

// A WM_DROPFILES on MainWindow: only the first file, only in the register view and while no
// job runs. window owns any message box raised on the way. Reads drop and leaves it to the
// caller (the window procedure finishes it).
void HandleDroppedFile(HWND window, HDROP drop);
// The same for a path given otherwise (the file the program was opened with); a path of
// DroppedPathCapacity characters or more is refused as a dropped one is.
void HandleDroppedPath(HWND window, const wchar_t* path);

// True while a drop's job runs.
bool DropInProgress();
