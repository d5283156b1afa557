#pragma once
#include <windows.h>

extern HWND CloseButton;
extern HWND MinimiseButton;

int RegisterTitleBarClass();
LRESULT CALLBACK TitleBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
