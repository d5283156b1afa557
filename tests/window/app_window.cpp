#include "tests/window/app_window.h"

#include "window/main_window.h"
#include "window/title_bar.h"
#include "window/globals.h"
#include "tests/common/wait.h"

void DiscardMainWindow() {
  if (IsWindow(MainWindow)) DestroyWindow(MainWindow);
  PumpMessages(50);  // takes the quit message that WM_DESTROY posts
}

void RecreateMainWindow() {
  DiscardMainWindow();
  ViewMode = RegisterView;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  RegisterMainWindowClass(instance);
  RegisterTitleBarClass();
  ASSERT_TRUE(CreateMainWindow(instance));
  PumpMessages(100);
}

void AppWindowTest::SetUp() {
  if (!IsWindow(MainWindow)) {
    RecreateMainWindow();
    return;
  }
  SetView(RegisterView);
  SendMessageW(ControlList, LB_RESETCONTENT, 0, 0);
  SetWindowTextW(PathBox, L"");
  SetWindowTextW(StatusBox, L"");
  for (HWND button : {QueryButton, RemoveAllButton, CloseButton, MinimiseButton})
    SendMessageW(button, BM_SETSTATE, FALSE, 0);
  RedrawWindow(MainWindow, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpMessages(50);
}

HWND TitleBarWindow() { return FindWindowExW(MainWindow, nullptr, L"TitleBar", nullptr); }

COLORREF PixelAt(HWND window, int x, int y) {
  UpdateWindow(MainWindow);
  HDC dc = GetDC(window);
  COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return colour;
}

int CountPixels(HWND window, RECT area, COLORREF colour) {
  UpdateWindow(MainWindow);
  HDC dc = GetDC(window);
  int count = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x)
      if (GetPixel(dc, x, y) == colour) ++count;
  ReleaseDC(window, dc);
  return count;
}

RECT PlaceOf(HWND child) {
  RECT place;
  GetWindowRect(child, &place);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

bool Shown(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

std::wstring WindowsPath(const char* unixPath) {
  std::wstring path = L"Z:";
  for (const char* p = unixPath; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
  return path;
}
