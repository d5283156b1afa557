#pragma once
#include <windows.h>

// Start-up, the main window and the message loop; returns the process exit code.
int RunApplication(HINSTANCE instance);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The steps of RunApplication, in the order it takes them.
void AllowDropsFromLowerIntegrity();
void RegisterMainWindowClass(HINSTANCE instance);
// Creates MainWindow at (200, 100), 600 x 450, shows and paints it in the register view.
HWND CreateMainWindow(HINSTANCE instance);
int RunMessageLoop();
