// Start-up, the main window's children and its window procedure.
#include "window/main_window.h"

#include "window/commands.h"
#include "window/drop.h"
#include "window/globals.h"
#include "window/main_window_paint.h"
#include "window/session_end.h"
#include "window/title_bar.h"

namespace {

struct ChildSpec {
  const wchar_t* cls;
  const wchar_t* text;
  DWORD style;
  int x, y, width, height;
  HWND* handle;
};

// The five working children in creation order (the title bar comes first, see OnCreate).
// Pointers to the fields of TheWindow, which lives as long as the process.
const ChildSpec Children[] = {
    {L"EDIT", L"", WS_CHILD | WS_VISIBLE, 176, 180, 370, 20, &PathBox},
    {L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE, 176, 220, 370, 200,
     &StatusBox},
    {L"LISTBOX", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | LBS_NOTIFY, 40, 220, 380,
     200, &ControlList},
    {L"BUTTON", L"查询安装", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 450, 220, 100, 50, &QueryButton},
    {L"BUTTON", L"卸载全部", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 450, 290, 100, 50,
     &RemoveAllButton},
};

// Lets one message through the filter that keeps lower-integrity processes from posting to
// an elevated window, for the main window alone (Windows 7 and later). Where the per-window
// function is missing (Vista), the process-wide one; before Vista there is no filter. user32 is
// imported, so the loaded module's handle is taken: nothing is searched for.
void AllowMessage(HWND window, UINT message) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (!user32) return;
  using WindowFilterFunction = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
  auto windowFilter = reinterpret_cast<WindowFilterFunction>(
      reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilterEx")));
  if (windowFilter) {
    windowFilter(window, message, 1 /* MSGFLT_ALLOW */, nullptr);
    return;
  }
  using FilterFunction = BOOL(WINAPI*)(UINT, DWORD);
  auto filter = reinterpret_cast<FilterFunction>(
      reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter")));
  if (filter) filter(message, 1 /* MSGFLT_ADD */);
}

void OnCreate(HWND window) {
  MainWindow = window;
  RECT client;
  GetClientRect(window, &client);
  auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
  TheWindow.titleBar = CreateWindowExW(0, L"TitleBar", L"", WS_CHILD | WS_VISIBLE, 0, 0,
                                       client.right - client.left, 75, window, nullptr, instance,
                                       nullptr);
  for (const ChildSpec& child : Children) {
    *child.handle = CreateWindowExW(0, child.cls, child.text, child.style, child.x, child.y,
                                    child.width, child.height, window, nullptr, instance, nullptr);
  }
  SendMessageW(ControlList, LB_SETITEMHEIGHT, 0, 30);
  SetView(RegisterView);  // every start shows the register view
}

}  // namespace

void AllowDropsFromLowerIntegrity(HWND window) {
  AllowMessage(window, WM_DROPFILES);
  AllowMessage(window, 0x0049);  // WM_COPYGLOBALDATA, which carries the dropped names
}

void RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSW cls = {};
  cls.style = CS_HREDRAW | CS_VREDRAW;
  cls.lpfnWndProc = MainWindowProc;
  cls.hInstance = instance;
  cls.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(101));
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.hbrBackground = CreateSolidBrush(BodyColour);
  cls.lpszClassName = L"window";
  RegisterClassW(&cls);
}

HWND CreateMainWindow(HINSTANCE instance) {
  HWND window = CreateWindowExW(WS_EX_ACCEPTFILES, L"window", L"Ctlwarden",
                                WS_POPUP | WS_BORDER | WS_MINIMIZEBOX, 200, 100, 600, 450, nullptr,
                                nullptr, instance, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  return window;
}

int RunMessageLoop() {
  MSG msg = {};
  // -1 (an error) does not end the loop; only WM_QUIT does.
  while (GetMessageW(&msg, nullptr, 0, 0) != 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void HandleOpenedFile(HWND window, const wchar_t* path) {
  wchar_t full[DroppedPathCapacity] = {};
  DWORD length = GetFullPathNameW(path, DroppedPathCapacity, full, nullptr);
  // A path that does not fit is handed on whole, to be refused as a long dropped path is.
  HandleDroppedPath(window, length > 0 && length < DroppedPathCapacity ? full : path);
}

int RunApplication(HINSTANCE instance, const wchar_t* openedFile) {
  RegisterMainWindowClass(instance);
  RegisterTitleBarClass();
  HWND window = CreateMainWindow(instance);
  // Before the first message is taken from the queue, so no drop can come before it.
  AllowDropsFromLowerIntegrity(window);
  if (openedFile) HandleOpenedFile(window, openedFile);
  return RunMessageLoop();
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      OnCreate(window);
      return 0;
    case WM_CLOSE:
      // A job is asked to stop at its next step; the close takes effect once it has ended.
      if (DeferClose(TheWindow.job)) return 0;
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_QUERYENDSESSION:
      // Windows is asked to wait while a job runs; the shutdown screen says why.
      if (!Busy()) return TRUE;
      BlockShutdown(window);
      return FALSE;
    case WM_ENDSESSION:
      // The session ends all the same: the job stops at its next step, so that the process
      // ends with no control half registered and nothing reported that was not seen.
      if (wParam && Busy()) StopAndWait(TheWindow.job, SessionEndBound);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT:
      PaintMainWindow(window);
      return 0;
    case WM_DRAWITEM:
      DrawMainButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return 0;
    case WM_COMMAND:
      HandleMainCommand(window, wParam, lParam);
      return 0;
    case WM_CTLCOLOREDIT:
      return ColourEdit(reinterpret_cast<HDC>(wParam));
    case WM_CTLCOLORLISTBOX:
      return ColourList(reinterpret_cast<HDC>(wParam));
    case WM_CTLCOLORBTN:
      return ColourButton(reinterpret_cast<HDC>(wParam));
    case WM_DROPFILES:
      HandleDroppedFile(window, reinterpret_cast<HDROP>(wParam));
      DragFinish(reinterpret_cast<HDROP>(wParam));  // read whole: its names are copied
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}
