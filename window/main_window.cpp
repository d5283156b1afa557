// Start-up and the main window: children, the painted help labels of each view, the
// owner-drawn buttons and the fonts and colours of the standard controls.
#include "window/main_window.h"

#include "window/commands.h"
#include "window/title_bar.h"
#include "window/draw_label.h"
#include "window/globals.h"
#include "window/drop.h"

namespace {

constexpr int LabelCharWidth = 10;
constexpr int LabelCharHeight = 20;
constexpr COLORREF EditTextColour = RGB(0, 0, 255);

struct ChildSpec {
  const wchar_t* cls;
  const wchar_t* text;
  DWORD style;
  int x, y, width, height;
  HWND* handle;
};

// The five working children in creation order (the title bar comes first, see OnCreate).
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

// The colour messages come for every repaint of a control, so their fonts and brushes are
// made on first use and kept for the life of the process (all on the one GUI thread).
HFONT EditFontHandle = nullptr;
HFONT ListFontHandle = nullptr;
HFONT ButtonFontHandle = nullptr;
HBRUSH ListBrushHandle = nullptr;
HBRUSH BodyBrushHandle = nullptr;
HBRUSH PressedBrushHandle = nullptr;

HFONT ChildFont(HFONT& kept, int height) {
  if (!kept) {
    LOGFONTW font = {};
    font.lfHeight = height;
    font.lfCharSet = GB2312_CHARSET;
    lstrcpynW(font.lfFaceName, L"宋体", LF_FACESIZE);
    kept = CreateFontIndirectW(&font);
  }
  return kept;
}

HBRUSH KeptBrush(HBRUSH& kept, COLORREF colour) {
  if (!kept) kept = CreateSolidBrush(colour);
  return kept;
}

HFONT EditFont() { return ChildFont(EditFontHandle, 16); }
HFONT ListFont() { return ChildFont(ListFontHandle, 25); }
HFONT ButtonFont() { return ChildFont(ButtonFontHandle, 14); }
HBRUSH ListBrush() { return KeptBrush(ListBrushHandle, RGB(255, 255, 255)); }
HBRUSH BodyBrush() { return KeptBrush(BodyBrushHandle, BodyColour); }
HBRUSH PressedBrush() { return KeptBrush(PressedBrushHandle, BarColour); }

void OnCreate(HWND window) {
  MainWindow = window;
  RECT client;
  GetClientRect(window, &client);
  auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
  CreateWindowExW(0, L"TitleBar", L"", WS_CHILD | WS_VISIBLE, 0, 0, client.right - client.left,
                  75, window, nullptr, instance, nullptr);
  for (const ChildSpec& child : Children) {
    *child.handle = CreateWindowExW(0, child.cls, child.text, child.style, child.x, child.y,
                                    child.width, child.height, window, nullptr, instance, nullptr);
  }
  SendMessageW(ControlList, LB_SETITEMHEIGHT, 0, 30);
}

// The register view shows the two edit boxes, the uninstall view the list and its buttons.
void ShowChildren(bool registerView) {
  if (registerView) {
    ShowWindow(StatusBox, SW_SHOW);
    ShowWindow(PathBox, SW_SHOW);
    ShowWindow(ControlList, SW_HIDE);
    ShowWindow(QueryButton, SW_HIDE);
    ShowWindow(RemoveAllButton, SW_HIDE);
  } else {
    ShowWindow(StatusBox, SW_HIDE);
    ShowWindow(PathBox, SW_HIDE);
    ShowWindow(QueryButton, SW_SHOW);
    ShowWindow(RemoveAllButton, SW_SHOW);
    ShowWindow(ControlList, SW_SHOW);
  }
}

void OnPaint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  bool registerView = ViewMode == RegisterView;
  DrawLabel(dc, L"使用帮助:", 40, 100, LabelCharWidth, LabelCharHeight);
  if (registerView) {
    DrawLabel(dc, L"        请将后缀为.cab/.ocx/.dll文件拖入到此处窗口！", 40, 140, LabelCharWidth,
              LabelCharHeight);
    DrawLabel(dc, L"拖入文件路径:", 40, 180, LabelCharWidth, LabelCharHeight);
    DrawLabel(dc, L"文件处理信息:", 40, 220, LabelCharWidth, LabelCharHeight);
  } else {
    DrawLabel(dc, L"        点击查询，双击列表中的项即可卸载该项,点击卸", 40, 140, LabelCharWidth,
              LabelCharHeight);
    DrawLabel(dc, L"        载全部即可卸载列表中的全部.", 40, 180, LabelCharWidth,
              LabelCharHeight);
  }
  ShowChildren(registerView);
  EndPaint(window, &paint);
}

void DrawButton(const DRAWITEMSTRUCT& item, const wchar_t* caption) {
  HRGN region = CreateRoundRectRgn(item.rcItem.left + 1, item.rcItem.top + 1, item.rcItem.right,
                                   item.rcItem.bottom, 0, 0);
  FillRgn(item.hDC, region, BodyBrush());
  bool pressed = (item.itemState & ODS_SELECTED) && (item.itemAction & (ODA_DRAWENTIRE | ODA_SELECT));
  if (caption && pressed) FillRgn(item.hDC, region, PressedBrush());
  DeleteObject(region);
  if (!caption) return;
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, TextColour);
  RECT area = item.rcItem;
  DrawTextW(item.hDC, caption, 4, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.CtlType != ODT_BUTTON) return;
  const wchar_t* caption = nullptr;
  if (item.hwndItem == QueryButton) caption = L"查询安装";
  else if (item.hwndItem == RemoveAllButton) caption = L"卸载全部";
  DrawButton(item, caption);
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
    case RemovalsEndedMessage:
      FinishRemovals(lParam);
      return 0;
    case WM_CLOSE:
      // The close takes effect once the drop or the removals have ended: nothing half done.
      if (DeferCloseDuringDrop() || DeferCloseDuringRemovals()) return 0;
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT:
      OnPaint(window);
      return 0;
    case WM_DRAWITEM:
      OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return 0;
    case WM_COMMAND:
      HandleMainCommand(window, wParam, lParam);
      return 0;
    case WM_CTLCOLOREDIT: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SelectObject(dc, EditFont());
      SetTextColor(dc, EditTextColour);
      return 0;
    }
    case WM_CTLCOLORLISTBOX: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkMode(dc, TRANSPARENT);
      SelectObject(dc, ListFont());
      return reinterpret_cast<LRESULT>(ListBrush());
    }
    case WM_CTLCOLORBTN:
      SelectObject(reinterpret_cast<HDC>(wParam), ButtonFont());
      return 0;
    case WM_DROPFILES:
      HandleDroppedFile(window, reinterpret_cast<HDROP>(wParam));
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}
