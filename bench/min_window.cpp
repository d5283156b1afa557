// The smallest program with the main window's shape: class with the body brush, a 600 x 450
// bordered pop-up window, shown, painted and running a message loop. "exit" on the command
// line ends the process at once (the cost of an empty process).
#include <windows.h>

#include "window/globals.h"

LRESULT CALLBACK MinimalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  if (lstrcmpA(commandLine, "exit") == 0) return 0;
  WNDCLASSW cls = {};
  cls.style = CS_HREDRAW | CS_VREDRAW;
  cls.lpfnWndProc = MinimalProc;
  cls.hInstance = instance;
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.hbrBackground = CreateSolidBrush(BodyColour);
  cls.lpszClassName = L"BenchMinimal";
  RegisterClassW(&cls);
  HWND window = CreateWindowExW(WS_EX_ACCEPTFILES, L"BenchMinimal", L"BenchMinimal",
                                WS_POPUP | WS_BORDER | WS_MINIMIZEBOX, 200, 100, 600, 450,
                                nullptr, nullptr, instance, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
