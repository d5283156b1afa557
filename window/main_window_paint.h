// What MainWindow paints: the help labels of the view, the owner-drawn buttons, and the fonts
// and colours of its standard controls. On the window's thread.
#pragma once
#include <windows.h>

void PaintMainWindow(HWND window);
void DrawMainButton(const DRAWITEMSTRUCT& item);
// WM_CTLCOLOREDIT, WM_CTLCOLORLISTBOX and WM_CTLCOLORBTN: the message's result. The fonts and
// the list's brush are made on first use and kept for the life of the process.
LRESULT ColourEdit(HDC dc);
LRESULT ColourList(HDC dc);
LRESULT ColourButton(HDC dc);
