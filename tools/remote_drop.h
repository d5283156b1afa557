// Drops a file on a window of another process the way the shell does: a DROPFILES block in
// the target's memory, handed over in a posted WM_DROPFILES.
#pragma once
#include <windows.h>

// Returns false when the target's memory could not be reached or the message not posted.
bool PostRemoteDrop(HWND target, const wchar_t* path);

// The window of class "window" titled "Ctlwarden" of the given process (0: any process).
HWND FindCtlwardenWindow(DWORD processId);

// The children of the window, found by class in creation order.
HWND ChildOfClass(HWND parent, const wchar_t* cls, int index);

// The text of a window of any process (WM_GETTEXT), at most capacity - 1 characters.
void WindowText(HWND window, wchar_t* text, int capacity);
