// The main window's state in one place: its children, the view and the job under way, with the
// colours every part of the window paints in.
#pragma once
#include <windows.h>

#include "window/window_job.h"

constexpr int RegisterView = 1;
constexpr int UninstallView = 2;

struct MainWindowState {
  HWND mainWindow;
  HWND titleBar;
  HWND pathBox;
  HWND statusBox;
  HWND controlList;
  HWND queryButton;
  HWND removeAllButton;
  int viewMode = RegisterView;  // readers test for equality with RegisterView
  WindowJob job;
};
extern MainWindowState TheWindow;

// The state's fields by the names the rest of the program and its tests use.
inline HWND& MainWindow = TheWindow.mainWindow;
inline HWND& PathBox = TheWindow.pathBox;
inline HWND& StatusBox = TheWindow.statusBox;
inline HWND& ControlList = TheWindow.controlList;
inline HWND& QueryButton = TheWindow.queryButton;
inline HWND& RemoveAllButton = TheWindow.removeAllButton;
inline int& ViewMode = TheWindow.viewMode;

// Sets the view, shows the children of it and hides the others, and repaints the title bar's
// tab strip and the body below it.
void SetView(int view);
// Repaints the tab strip and the body without changing the view.
void RepaintView();
// True while a job runs: every command, drop and tab press asks this first.
bool Busy();

constexpr COLORREF BodyColour = RGB(100, 3, 6);
constexpr COLORREF BarColour = RGB(126, 3, 6);
constexpr COLORREF TextColour = RGB(255, 255, 255);
