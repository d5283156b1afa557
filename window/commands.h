// WM_COMMAND of MainWindow: the list double-click, the query button and the remove-all button,
// with the questions and notices that guard them. The removals and the query run as the
// window's job; the list is filled on the window's thread from what the job found.
#pragma once
#include <windows.h>

void HandleMainCommand(HWND window, WPARAM wParam, LPARAM lParam);
// True while a command's job (a query, a removal or 卸载全部) runs.
bool CommandInProgress();
