#pragma once
#include <windows.h>
#include <shellapi.h>

// Handles a WM_DROPFILES on MainWindow: only the first file, only in the register view.
// window owns any message box raised on the way.
void HandleDroppedFile(HWND window, HDROP drop);
