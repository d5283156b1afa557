#pragma once
#include <windows.h>

// Start-up, the main window and the message loop; returns the process exit code. A file the
// program was opened with is handled, once the window is shown, as if dropped on it.
int RunApplication(HINSTANCE instance, const wchar_t* openedFile = nullptr);
// The file the program was opened with, as a drop handles it: its full path (the command
// interpreter runs in the system directory, where a relative path names another file).
void HandleOpenedFile(HWND window, const wchar_t* path);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The steps of RunApplication, in the order it takes them.
void RegisterMainWindowClass(HINSTANCE instance);
// Creates MainWindow at (200, 100), 600 x 450, shows and paints it in the register view.
HWND CreateMainWindow(HINSTANCE instance);
// Lets WM_DROPFILES and WM_COPYGLOBALDATA from processes without elevation reach window, and
// only window.
void AllowDropsFromLowerIntegrity(HWND window);
int RunMessageLoop();
