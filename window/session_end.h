// The end of the session while a job runs: the shutdown screen tells why the program asks to
// wait, and the reason goes when the job ends.
#pragma once
#include <windows.h>

// The reason the shutdown screen shows for window: "正在注册控件，请稍候…". False where the
// system has no such reason (before Vista) or refused it.
bool BlockShutdown(HWND window);
// Removes window's reason, if it has one.
void ClearShutdownReason(HWND window);
// How long WM_ENDSESSION waits for the job's work to stop at its next step.
constexpr DWORD SessionEndBound = 10000;
