#pragma once
#include <windows.h>

// WM_COMMAND of MainWindow: list double-click, query button, remove-all button.
void HandleMainCommand(HWND window, WPARAM wParam, LPARAM lParam);

// 卸载全部 removes on a worker thread; its end is posted to the window as this message, whose
// lParam MainWindowProc hands to FinishRemovals (which queries the list again).
constexpr UINT RemovalsEndedMessage = WM_APP + 10;
bool RemovalInProgress();
// WM_CLOSE: true (the close put off until the removals end) while they run.
bool DeferCloseDuringRemovals();
void FinishRemovals(LPARAM job);
