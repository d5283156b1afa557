// The main window as the user sees it: size, children, views, colours and labels.
#include <string>

#include "window/title_bar.h"
#include "window/globals.h"
#include "tests/window/app_window.h"
#include "tests/common/wait.h"

namespace {

constexpr COLORREF White = RGB(255, 255, 255);

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[64] = {};
  GetWindowTextW(window, text, 64);
  return text;
}

void ExpectPlace(HWND child, int x, int y, int width, int height) {
  RECT place = PlaceOf(child);
  EXPECT_EQ(place.left, x);
  EXPECT_EQ(place.top, y);
  EXPECT_EQ(place.right - place.left, width);
  if (child == ControlList) {
    // Without LBS_NOINTEGRALHEIGHT the list box trims itself to whole entries.
    EXPECT_LE(place.bottom - place.top, height);
    EXPECT_GT(place.bottom - place.top, height - 30);
  } else {
    EXPECT_EQ(place.bottom - place.top, height);
  }
}

struct ChildRow {
  HWND* handle;
  const wchar_t* cls;
  const wchar_t* text;
  LONG style;
  int x, y, width, height;
};

void SelectView(int x) {
  SendMessageW(TitleBarWindow(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 50));
  UpdateWindow(MainWindow);
  PumpMessages(50);
}

}  // namespace

TEST_F(AppWindowTest, MainWindowIsA600By450PopupWithA598By448ClientArea) {
  RECT frame, client;
  GetWindowRect(MainWindow, &frame);
  GetClientRect(MainWindow, &client);
  EXPECT_EQ(frame.left, 200);
  EXPECT_EQ(frame.top, 100);
  EXPECT_EQ(frame.right - frame.left, 600);
  EXPECT_EQ(frame.bottom - frame.top, 450);
  EXPECT_EQ(client.right, 598);
  EXPECT_EQ(client.bottom, 448);
  EXPECT_EQ(ClassOf(MainWindow), L"window");
  EXPECT_EQ(TextOf(MainWindow), L"Ctlwarden");
  // The platform adds WS_CLIPSIBLINGS to every top-level window.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(MainWindow, GWL_STYLE)) & ~(WS_VISIBLE | WS_CLIPSIBLINGS),
            0x80820000u);
  EXPECT_TRUE(GetWindowLongW(MainWindow, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  EXPECT_EQ(GetClassLongPtrW(MainWindow, GCL_STYLE), CS_HREDRAW | CS_VREDRAW);
  EXPECT_NE(GetClassLongPtrW(MainWindow, GCLP_HICON), 0);
}

TEST_F(AppWindowTest, ChildrenStandWhereTheUserExpectsThem) {
  const ChildRow rows[] = {
      {&PathBox, L"Edit", L"", 0x50000000, 176, 180, 370, 20},
      {&StatusBox, L"Edit", L"", 0x50200004, 176, 220, 370, 200},
      {&ControlList, L"ListBox", L"", 0x50A00001, 40, 220, 380, 200},
      {&QueryButton, L"Button", L"查询安装", 0x5000000B, 450, 220, 100, 50},
      {&RemoveAllButton, L"Button", L"卸载全部", 0x5000000B, 450, 290, 100, 50},
  };
  HWND previous = TitleBarWindow();
  ASSERT_TRUE(previous);
  ExpectPlace(previous, 0, 0, 598, 75);
  for (const ChildRow& row : rows) {
    SCOPED_TRACE(row.text);
    HWND child = *row.handle;
    ASSERT_TRUE(child);
    EXPECT_EQ(GetParent(child), MainWindow);
    EXPECT_EQ(lstrcmpiW(ClassOf(child).c_str(), row.cls), 0);
    EXPECT_EQ(TextOf(child), row.text);
    // The list box drops WS_VSCROLL while its entries fit.
    LONG style = GetWindowLongW(child, GWL_STYLE) | WS_VISIBLE;
    if (child == ControlList) style |= WS_VSCROLL;
    EXPECT_EQ(style, row.style);
    EXPECT_EQ(GetWindowLongW(child, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, 0);
    EXPECT_EQ(GetDlgCtrlID(child), 0);
    ExpectPlace(child, row.x, row.y, row.width, row.height);
    // Created in table order: each follows the one before.
    EXPECT_EQ(GetWindow(previous, GW_HWNDNEXT), child);
    previous = child;
  }
  EXPECT_EQ(SendMessageW(ControlList, LB_GETITEMHEIGHT, 0, 0), 30);
  EXPECT_EQ(SendMessageW(PathBox, WM_GETFONT, 0, 0), 0);
}

TEST_F(AppWindowTest, FirstPaintShowsTheRegisterView) {
  RecreateMainWindow();
  EXPECT_EQ(ViewMode, RegisterView);
  EXPECT_TRUE(Shown(PathBox));
  EXPECT_TRUE(Shown(StatusBox));
  EXPECT_FALSE(Shown(ControlList));
  EXPECT_FALSE(Shown(QueryButton));
  EXPECT_FALSE(Shown(RemoveAllButton));
  EXPECT_TRUE(Shown(TitleBarWindow()));
}

TEST_F(AppWindowTest, RegisterViewColoursAndLabels) {
  EXPECT_EQ(PixelAt(MainWindow, 300, 90), BodyColour);
  EXPECT_EQ(PixelAt(MainWindow, 590, 440), BodyColour);
  EXPECT_EQ(PixelAt(MainWindow, 300, 20), BarColour);
  EXPECT_EQ(PixelAt(MainWindow, 300, 74), BarColour);
  // The register tab's highlight runs from y 31 down to the bar's bottom edge. The region
  // the platform makes for (10, 31)-(85, 80) covers x 10 to 83.
  EXPECT_EQ(PixelAt(MainWindow, 12, 30), BarColour);
  EXPECT_EQ(PixelAt(MainWindow, 12, 31), BodyColour);
  EXPECT_EQ(PixelAt(MainWindow, 83, 74), BodyColour);
  EXPECT_EQ(PixelAt(MainWindow, 10, 74), BodyColour);
  EXPECT_EQ(PixelAt(MainWindow, 9, 74), BarColour);
  EXPECT_EQ(PixelAt(MainWindow, 12, 79), BodyColour);
  EXPECT_EQ(PixelAt(MainWindow, 100, 74), BarColour);  // the uninstall tab is not lit
  // White labels: "使用帮助:", the help line, and the two captions of the boxes.
  EXPECT_GT(CountPixels(MainWindow, {40, 100, 130, 120}, White), 20);
  EXPECT_GT(CountPixels(MainWindow, {120, 140, 560, 160}, White), 100);
  EXPECT_EQ(CountPixels(MainWindow, {40, 140, 118, 160}, White), 0);  // eight blanks first
  EXPECT_GT(CountPixels(MainWindow, {40, 180, 170, 200}, White), 20);
  EXPECT_GT(CountPixels(MainWindow, {40, 220, 170, 240}, White), 20);
  EXPECT_EQ(CountPixels(MainWindow, {40, 250, 170, 420}, White), 0);
  // Company name and both tab labels on the bar.
  EXPECT_GT(CountPixels(MainWindow, {5, 5, 70, 21}, White), 10);
  EXPECT_GT(CountPixels(MainWindow, {32, 44, 48, 60}, White), 5);
  EXPECT_GT(CountPixels(MainWindow, {108, 44, 124, 60}, White), 5);
}

TEST_F(AppWindowTest, UninstallViewShowsTheListAndItsButtons) {
  SelectView(120);
  EXPECT_EQ(ViewMode, UninstallView);
  EXPECT_FALSE(Shown(PathBox));
  EXPECT_FALSE(Shown(StatusBox));
  EXPECT_TRUE(Shown(ControlList));
  EXPECT_TRUE(Shown(QueryButton));
  EXPECT_TRUE(Shown(RemoveAllButton));
  // Highlight moved to the uninstall tab.
  EXPECT_EQ(PixelAt(MainWindow, 12, 74), BarColour);
  EXPECT_EQ(PixelAt(MainWindow, 86, 31), BodyColour);
  EXPECT_EQ(PixelAt(MainWindow, 158, 74), BodyColour);
  EXPECT_EQ(PixelAt(MainWindow, 85, 74), BarColour);
  EXPECT_EQ(PixelAt(MainWindow, 160, 74), BarColour);
  // The two-line help text, the white list and the buttons in the body colour.
  EXPECT_GT(CountPixels(MainWindow, {120, 140, 560, 160}, White), 100);
  EXPECT_GT(CountPixels(MainWindow, {120, 180, 450, 200}, White), 100);
  EXPECT_EQ(CountPixels(MainWindow, {40, 180, 118, 200}, White), 0);
  EXPECT_EQ(PixelAt(ControlList, 100, 100), White);
  EXPECT_EQ(PixelAt(QueryButton, 5, 5), BodyColour);
  EXPECT_EQ(PixelAt(RemoveAllButton, 95, 45), BodyColour);
  EXPECT_GT(CountPixels(QueryButton, {0, 0, 100, 50}, White), 20);
  EXPECT_GT(CountPixels(RemoveAllButton, {0, 0, 100, 50}, White), 20);
  // Captions centred: white only in the middle band.
  EXPECT_EQ(CountPixels(QueryButton, {0, 0, 20, 50}, White), 0);
  EXPECT_EQ(CountPixels(QueryButton, {0, 0, 100, 12}, White), 0);
}

TEST_F(AppWindowTest, AnyViewOtherThanRegisterLaysOutTheUninstallView) {
  SetView(7);
  InvalidateRect(MainWindow, nullptr, TRUE);
  UpdateWindow(MainWindow);
  EXPECT_FALSE(Shown(PathBox));
  EXPECT_TRUE(Shown(ControlList));
  EXPECT_TRUE(Shown(QueryButton));
}

TEST_F(AppWindowTest, PressedButtonShowsTheBarColourUntilReleased) {
  SelectView(120);
  SendMessageW(QueryButton, BM_SETSTATE, TRUE, 0);
  UpdateWindow(QueryButton);
  EXPECT_EQ(PixelAt(QueryButton, 5, 5), BarColour);
  EXPECT_EQ(PixelAt(QueryButton, 97, 47), BarColour);
  EXPECT_GT(CountPixels(QueryButton, {0, 0, 100, 50}, White), 20);
  SendMessageW(QueryButton, BM_SETSTATE, FALSE, 0);
  UpdateWindow(QueryButton);
  EXPECT_EQ(PixelAt(QueryButton, 5, 5), BodyColour);

  SendMessageW(RemoveAllButton, BM_SETSTATE, TRUE, 0);
  UpdateWindow(RemoveAllButton);
  EXPECT_EQ(PixelAt(RemoveAllButton, 50, 5), BarColour);
  EXPECT_GT(CountPixels(RemoveAllButton, {0, 0, 100, 50}, White), 20);
  SendMessageW(RemoveAllButton, BM_SETSTATE, FALSE, 0);
  UpdateWindow(RemoveAllButton);
  EXPECT_EQ(PixelAt(RemoveAllButton, 50, 5), BodyColour);
}

TEST_F(AppWindowTest, EditBoxesAndListKeepTheirFontsAcrossRepaints) {
  // The colour messages come for every repaint; they must not use up GDI objects.
  SetWindowTextW(StatusBox, L"文件处理信息");
  DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  for (int i = 0; i < 50; ++i) {
    InvalidateRect(MainWindow, nullptr, TRUE);
    UpdateWindow(MainWindow);
    RedrawWindow(StatusBox, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RedrawWindow(PathBox, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  }
  DWORD after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (before != 0) {
    EXPECT_LT(after, before + 10);
  }
  // The text is drawn on the box's white background.
  int white = CountPixels(StatusBox, {0, 0, 200, 20}, RGB(255, 255, 255));
  EXPECT_LT(white, 200 * 20 - 50);
}
