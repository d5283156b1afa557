#pragma once
#include <windows.h>

// Start-up, the main window and the message loop; returns the process exit code.
int RunApplication(HINSTANCE instance);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
