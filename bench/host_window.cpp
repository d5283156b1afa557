#include "bench/host_window.h"

#include "window/drop.h"
#include "window/globals.h"

namespace {

HFONT MakeFont(int height) {
  LOGFONTW font = {};
  font.lfHeight = height;
  font.lfCharSet = GB2312_CHARSET;
  lstrcpynW(font.lfFaceName, L"宋体", LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

// Fonts and colours as the main window gives them to its children.
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  static HFONT editFont = MakeFont(16);
  static HFONT listFont = MakeFont(25);
  static HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  switch (message) {
    case WM_CTLCOLOREDIT:
      SelectObject(reinterpret_cast<HDC>(wParam), editFont);
      SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 255));
      return 0;
    case WM_CTLCOLORLISTBOX:
      SelectObject(reinterpret_cast<HDC>(wParam), listFont);
      return reinterpret_cast<LRESULT>(white);
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

HWND Child(HWND parent, const wchar_t* cls, DWORD style, int x, int y, int w, int h) {
  return CreateWindowExW(0, cls, L"", style, x, y, w, h, parent, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

HWND CreateHostWindow(bool registerView) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW cls = {};
  cls.style = CS_HREDRAW | CS_VREDRAW;
  cls.lpfnWndProc = HostProc;
  cls.hInstance = instance;
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.hbrBackground = CreateSolidBrush(BodyColour);
  cls.lpszClassName = L"BenchHost";
  RegisterClassW(&cls);
  HWND window = CreateWindowExW(WS_EX_ACCEPTFILES, L"BenchHost", L"Ctlwarden bench",
                                WS_POPUP | WS_BORDER | WS_MINIMIZEBOX, 200, 100, 600, 450,
                                nullptr, nullptr, instance, nullptr);
  MainWindow = window;
  PathBox = Child(window, L"EDIT", WS_CHILD, 176, 180, 370, 20);
  StatusBox = Child(window, L"EDIT", WS_CHILD | WS_VSCROLL | ES_MULTILINE, 176, 220, 370, 200);
  ControlList = Child(window, L"LISTBOX", WS_CHILD | WS_BORDER | WS_VSCROLL | LBS_NOTIFY, 40,
                      220, 380, 200);
  SendMessageW(ControlList, LB_SETITEMHEIGHT, 0, 30);
  ViewMode = registerView ? RegisterView : UninstallView;
  int edits = registerView ? SW_SHOW : SW_HIDE;
  ShowWindow(PathBox, edits);
  ShowWindow(StatusBox, edits);
  ShowWindow(ControlList, registerView ? SW_HIDE : SW_SHOW);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  PumpPending();
  return window;
}

void PumpPending() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void PumpUntilDropEnds() {
  while (DropInProgress()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    PumpPending();
  }
}

void Settle() {
  PumpPending();
  Sleep(250);
  PumpPending();
}
