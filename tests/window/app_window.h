// A real MainWindow in the test process, made the way start-up makes it.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

// The window is made once and shared by the cases, which start from the register view with
// empty boxes and list: taking a window down costs Wine two seconds without a window manager.
class AppWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
};

// Makes a new MainWindow, as at start-up, in place of the shared one.
void RecreateMainWindow();
// Takes the window down, for a case that leaves it in a state the next case must not see.
void DiscardMainWindow();

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
