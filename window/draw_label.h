#pragma once
#include <windows.h>

// Paints one line of white text at (x, y) in 宋体 with the given character cell.
// Leaves the background mode TRANSPARENT and the text colour white on dc.
void DrawLabel(HDC dc, const wchar_t* text, int x, int y, int charWidth, int charHeight);
