// Process-wide handles, view state and colours shared by every part of the program.
#pragma once
#include <windows.h>

// The top-level window and its working children; written once while MainWindow is created.
extern HWND MainWindow;
extern HWND PathBox;
extern HWND StatusBox;
extern HWND ControlList;
extern HWND QueryButton;
extern HWND RemoveAllButton;

// The program's only view state; readers test for equality with RegisterView.
constexpr int RegisterView = 1;
constexpr int UninstallView = 2;
extern int ViewMode;

constexpr COLORREF BodyColour = RGB(100, 3, 6);
constexpr COLORREF BarColour = RGB(126, 3, 6);
constexpr COLORREF TextColour = RGB(255, 255, 255);
