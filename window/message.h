// Every message box of the window is raised here, on the window's thread; the unattended mode
// raises none (it writes log lines instead).
#pragma once
#include <windows.h>

// subject and error name the file and the system's code the message is about; the box shows
// only text and caption.
int ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type,
                const wchar_t* subject = nullptr, DWORD error = 0);
