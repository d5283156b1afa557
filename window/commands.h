#pragma once
#include <windows.h>

// WM_COMMAND of MainWindow: list double-click, query button, remove-all button.
void HandleMainCommand(HWND window, WPARAM wParam, LPARAM lParam);
