// A real MainWindow in the test process, made the way start-up makes it.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

class AppWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

HWND TitleBarWindow();
// Colour of a pixel of what the window shows, in its client coordinates.
COLORREF PixelAt(HWND window, int x, int y);
// Number of pixels of this colour in the rectangle of the window's client area.
int CountPixels(HWND window, RECT area, COLORREF colour);
// Position and size of a child in its parent's client area.
RECT PlaceOf(HWND child);
bool Shown(HWND window);
// A path of the build (Unix form) as Windows programs under Wine take it.
std::wstring WindowsPath(const char* unixPath);
