// The home-made caption: company name, the two view tabs, the minimise and close buttons,
// and dragging of MainWindow by the bar.
#include "window/title_bar.h"

#include "window/draw_label.h"
#include "window/globals.h"
#include "platform/unique.h"

HWND CloseButton = nullptr;
HWND MinimiseButton = nullptr;

namespace {

constexpr int BarCharWidth = 8;
constexpr int BarCharHeight = 16;
constexpr int ButtonSize = 16;

// Button faces: 32 x 32 pictures on the bar's colour, shown at half size.
constexpr int CloseFace = 102;
constexpr int ClosePressedFace = 103;
constexpr int MinimiseFace = 104;
constexpr int MinimisePressedFace = 105;

// Tab geometry in the bar's client area; hit ranges include both ends.
constexpr RECT RegisterHighlight = {10, 31, 85, 80};
constexpr RECT UninstallHighlight = {86, 31, 160, 80};
// The hit columns of the two tabs share x = 85.
constexpr unsigned RegisterColumnLeft = 10, RegisterColumnRight = 85;
constexpr unsigned UninstallColumnLeft = 85, UninstallColumnRight = 160;
constexpr unsigned TabTop = 30, TabBottom = 80;

HINSTANCE InstanceOf(HWND window) {
  return reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
}

// The highlight brush and the four faces are made on first use and kept, so repeated
// painting makes no new GDI objects (all on the one GUI thread).
UniqueBrush HighlightBrushHandle;
UniqueBitmap Faces[4];

HBRUSH HighlightBrush() {
  if (!HighlightBrushHandle) HighlightBrushHandle.reset(CreateSolidBrush(BodyColour));
  return HighlightBrushHandle.get();
}

HBITMAP Face(HWND bar, int id) {
  UniqueBitmap& face = Faces[id - CloseFace];
  if (!face) {
    face.reset(static_cast<HBITMAP>(LoadImageW(InstanceOf(bar), MAKEINTRESOURCEW(id), IMAGE_BITMAP,
                                               ButtonSize, ButtonSize, LR_DEFAULTSIZE)));
  }
  return face.get();
}

HWND CreateFaceButton(HWND bar, int x) {
  return CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_BITMAP | BS_OWNERDRAW, x, 5,
                         ButtonSize, ButtonSize, bar, nullptr, InstanceOf(bar), nullptr);
}

void OnCreate(HWND bar) {
  RECT parent;
  GetClientRect(GetParent(bar), &parent);
  int width = parent.right - parent.left;
  CloseButton = CreateFaceButton(bar, width - 25);
  MinimiseButton = CreateFaceButton(bar, width - 60);
}

void OnPaint(HWND bar) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(bar, &paint);
  DrawLabel(dc, L"Vornwerk", 5, 5, BarCharWidth, BarCharHeight);
  const RECT& tab = ViewMode == RegisterView ? RegisterHighlight : UninstallHighlight;
  UniqueRegion region(CreateRoundRectRgn(tab.left, tab.top, tab.right, tab.bottom, 0, 0));
  FillRgn(dc, region.get(), HighlightBrush());
  DrawLabel(dc, L"注册", 32, 44, BarCharWidth, BarCharHeight);
  DrawLabel(dc, L"卸载", 108, 44, BarCharWidth, BarCharHeight);
  EndPaint(bar, &paint);
}

void OnDrawItem(HWND bar, const DRAWITEMSTRUCT& item) {
  bool pressed = item.itemState & ODS_SELECTED;
  int id = item.hwndItem == CloseButton ? (pressed ? ClosePressedFace : CloseFace)
                                        : (pressed ? MinimisePressedFace : MinimiseFace);
  HBITMAP face = Face(bar, id);
  if (!face) return;
  UniqueMemoryDc memory(CreateCompatibleDC(item.hDC));
  HGDIOBJ previous = SelectObject(memory.get(), face);
  BitBlt(item.hDC, 0, 0, ButtonSize, ButtonSize, memory.get(), 0, 0, SRCCOPY);
  SelectObject(memory.get(), previous);
}

void OnCommand(HWND bar, HWND button) {
  if (button == CloseButton) {
    SendMessageW(GetParent(bar), WM_CLOSE, 0, 0);
  } else if (button == MinimiseButton) {
    ShowWindow(GetParent(bar), SW_MINIMIZE);
  }
}

bool Within(unsigned value, unsigned low, unsigned high) { return value >= low && value <= high; }

// What a press on the bar does, by its x and whether y lies in the tab rows (30 to 80):
//   x below 10 or above 160: drags the window, whatever y is.
//   x 10 to 84: in the rows selects the register view; repaints either way, then drags.
//   x 85, in both columns: in the rows selects the register view and then the uninstall view,
//     repainting after each, so it ends in the uninstall view; elsewhere it only repaints.
//   x 86 to 160: in the rows selects the uninstall view and repaints; elsewhere nothing.
// So the window is dragged exactly when the press lies outside the uninstall column.
void OnLeftButtonDown(HWND bar, LPARAM lParam) {
  unsigned x = LOWORD(lParam);
  unsigned y = HIWORD(lParam);
  // While a job runs the view stays as it is (its report or list is being written); the window
  // can still be dragged.
  bool inTabRows = Within(y, TabTop, TabBottom) && !Busy();
  bool inRegisterColumn = Within(x, RegisterColumnLeft, RegisterColumnRight);
  bool inUninstallColumn = Within(x, UninstallColumnLeft, UninstallColumnRight);
  if (inRegisterColumn) {
    if (inTabRows) SetView(RegisterView);
    else RepaintView();
  }
  if (inUninstallColumn && inTabRows) SetView(UninstallView);
  if (!inUninstallColumn) SendMessageW(GetParent(bar), WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

}  // namespace

int RegisterTitleBarClass() {
  WNDCLASSEXW cls = {};
  cls.cbSize = sizeof(cls);
  cls.lpfnWndProc = TitleBarProc;
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.hbrBackground = CreateSolidBrush(BarColour);
  cls.lpszClassName = L"TitleBar";
  RegisterClassExW(&cls);
  return 0;
}

LRESULT CALLBACK TitleBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      OnCreate(window);
      break;
    case WM_PAINT:
      OnPaint(window);
      break;
    case WM_DRAWITEM:
      OnDrawItem(window, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      break;
    case WM_COMMAND:
      OnCommand(window, reinterpret_cast<HWND>(lParam));
      break;
    case WM_LBUTTONDOWN:
      OnLeftButtonDown(window, lParam);
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
