// The title bar: where a press changes the view, repaints, or starts moving the window;
// the minimise and close buttons.
#include <vector>

#include "window/title_bar.h"
#include "window/globals.h"
#include "tests/window/app_window.h"
#include "tests/common/wait.h"

namespace {

// MainWindow is subclassed so that a drag request is recorded instead of starting the
// platform's move loop.
struct DragRecord {
  int count = 0;
  WPARAM hitTest = 0;
  LPARAM position = -1;
  bool repaintPending = false;  // MainWindow had an update region when the drag began
};
DragRecord Drags;
WNDPROC Original = nullptr;

LRESULT CALLBACK Recording(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCLBUTTONDOWN) {
    ++Drags.count;
    Drags.hitTest = wParam;
    Drags.position = lParam;
    Drags.repaintPending = GetUpdateRect(window, nullptr, FALSE) != 0;
    return 0;
  }
  return CallWindowProcW(Original, window, message, wParam, lParam);
}

class TitleBarTest : public AppWindowTest {
 protected:
  void SetUp() override {
    AppWindowTest::SetUp();
    Drags = {};
    Original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(MainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Recording)));
  }
  void TearDown() override {
    if (IsWindow(MainWindow))
      SetWindowLongPtrW(MainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Original));
  }
};

struct Press {
  int x, y;
  int startView, endView;
  bool repaint, drag;
};

void ExpectUpdate(HWND window, const RECT* expected) {
  RECT update = {};
  BOOL pending = GetUpdateRect(window, &update, FALSE);
  if (!expected) {
    EXPECT_FALSE(pending);
    return;
  }
  EXPECT_TRUE(pending);
  EXPECT_EQ(update.left, expected->left);
  EXPECT_EQ(update.top, expected->top);
  EXPECT_EQ(update.right, expected->right);
  EXPECT_EQ(update.bottom, expected->bottom);
}

}  // namespace

TEST_F(TitleBarTest, EachPlaceOfAPressDoesWhatTheTableSays) {
  const Press presses[] = {
      // left of both tabs
      {5, 50, UninstallView, UninstallView, false, true},
      {9, 30, RegisterView, RegisterView, false, true},
      // the register column
      {10, 30, UninstallView, RegisterView, true, true},
      {50, 50, UninstallView, RegisterView, true, true},
      {84, 80, UninstallView, RegisterView, true, true},
      {50, 50, RegisterView, RegisterView, true, true},
      {50, 10, UninstallView, UninstallView, true, true},
      {50, 81, UninstallView, UninstallView, true, true},
      // the shared column
      {85, 50, RegisterView, UninstallView, true, false},
      {85, 10, UninstallView, UninstallView, true, false},
      {85, 10, RegisterView, RegisterView, true, false},
      // the uninstall column
      {86, 30, RegisterView, UninstallView, true, false},
      {120, 50, RegisterView, UninstallView, true, false},
      {160, 80, RegisterView, UninstallView, true, false},
      {120, 50, UninstallView, UninstallView, true, false},
      {120, 10, RegisterView, RegisterView, false, false},
      {120, 29, RegisterView, RegisterView, false, false},
      {120, 81, RegisterView, RegisterView, false, false},
      // right of both tabs
      {161, 50, RegisterView, RegisterView, false, true},
      {300, 40, UninstallView, UninstallView, false, true},
      {520, 10, RegisterView, RegisterView, false, true},
  };
  HWND bar = TitleBarWindow();
  const RECT barStrip = {0, 30, 598, 75};
  const RECT body = {0, 80, 598, 448};
  for (const Press& press : presses) {
    SCOPED_TRACE(testing::Message() << "press at (" << press.x << ", " << press.y
                                    << ") from view " << press.startView);
    SetView(press.startView);
    RedrawWindow(MainWindow, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpMessages(20);
    ValidateRect(MainWindow, nullptr);
    ValidateRect(bar, nullptr);
    Drags = {};
    SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(press.x, press.y));
    EXPECT_EQ(ViewMode, press.endView);
    ExpectUpdate(bar, press.repaint ? &barStrip : nullptr);
    ExpectUpdate(MainWindow, press.repaint ? &body : nullptr);
    EXPECT_EQ(Drags.count, press.drag ? 1 : 0);
    if (press.drag) {
      EXPECT_EQ(Drags.hitTest, static_cast<WPARAM>(HTCAPTION));
      EXPECT_EQ(Drags.position, 0);
      EXPECT_EQ(Drags.repaintPending, press.repaint);  // the repaint comes before the drag
    }
    SendMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(press.x, press.y));
  }
}

TEST_F(TitleBarTest, ARepaintAfterAPressAppliesTheNewView) {
  HWND bar = TitleBarWindow();
  SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(85, 50));
  UpdateWindow(MainWindow);
  UpdateWindow(bar);
  EXPECT_EQ(ViewMode, UninstallView);
  EXPECT_TRUE(Shown(ControlList));
  EXPECT_FALSE(Shown(PathBox));
  EXPECT_EQ(PixelAt(bar, 100, 74), BodyColour);
  EXPECT_EQ(PixelAt(bar, 50, 74), BarColour);

  SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
  UpdateWindow(MainWindow);
  UpdateWindow(bar);
  EXPECT_EQ(ViewMode, RegisterView);
  EXPECT_TRUE(Shown(PathBox));
  EXPECT_FALSE(Shown(ControlList));
  EXPECT_FALSE(Shown(QueryButton));
  EXPECT_EQ(PixelAt(bar, 50, 74), BodyColour);
  EXPECT_EQ(PixelAt(bar, 100, 74), BarColour);
  // The window did not move.
  RECT frame;
  GetWindowRect(MainWindow, &frame);
  EXPECT_EQ(frame.left, 200);
  EXPECT_EQ(frame.top, 100);
}

TEST_F(TitleBarTest, ButtonsSitAtTheRightOfTheBar) {
  HWND bar = TitleBarWindow();
  ASSERT_TRUE(CloseButton);
  ASSERT_TRUE(MinimiseButton);
  for (HWND button : {CloseButton, MinimiseButton}) {
    EXPECT_EQ(GetParent(button), bar);
    EXPECT_EQ(GetWindowLongW(button, GWL_STYLE) | WS_VISIBLE, 0x5000008B);
    EXPECT_EQ(GetDlgCtrlID(button), 0);
  }
  RECT close = PlaceOf(CloseButton), minimise = PlaceOf(MinimiseButton);
  EXPECT_EQ(close.left, 573);
  EXPECT_EQ(close.top, 5);
  EXPECT_EQ(close.right - close.left, 16);
  EXPECT_EQ(close.bottom - close.top, 16);
  EXPECT_EQ(minimise.left, 538);
  EXPECT_EQ(minimise.top, 5);
  EXPECT_EQ(minimise.right - minimise.left, 16);
  EXPECT_EQ(minimise.bottom - minimise.top, 16);
  EXPECT_EQ(GetWindow(CloseButton, GW_HWNDNEXT), MinimiseButton);  // close made first
}

TEST_F(TitleBarTest, ButtonFacesTurnBlackWhilePressed) {
  // Close: a white cross on the bar's colour, black while held down.
  EXPECT_EQ(PixelAt(CloseButton, 0, 15), BarColour);
  EXPECT_EQ(PixelAt(CloseButton, 8, 0), BarColour);
  EXPECT_EQ(PixelAt(CloseButton, 8, 8), RGB(255, 255, 255));
  EXPECT_EQ(PixelAt(CloseButton, 3, 3), RGB(255, 255, 255));
  SendMessageW(CloseButton, BM_SETSTATE, TRUE, 0);
  UpdateWindow(CloseButton);
  EXPECT_EQ(PixelAt(CloseButton, 8, 8), RGB(0, 0, 0));
  EXPECT_EQ(PixelAt(CloseButton, 12, 3), RGB(0, 0, 0));
  EXPECT_EQ(PixelAt(CloseButton, 8, 0), BarColour);
  SendMessageW(CloseButton, BM_SETSTATE, FALSE, 0);
  UpdateWindow(CloseButton);
  EXPECT_EQ(PixelAt(CloseButton, 8, 8), RGB(255, 255, 255));

  // Minimise: a white bar across rows 9 and 10 of the half-size face.
  EXPECT_EQ(PixelAt(MinimiseButton, 8, 9), RGB(255, 255, 255));
  EXPECT_EQ(PixelAt(MinimiseButton, 8, 5), BarColour);
  EXPECT_EQ(PixelAt(MinimiseButton, 8, 12), BarColour);
  SendMessageW(MinimiseButton, BM_SETSTATE, TRUE, 0);
  UpdateWindow(MinimiseButton);
  EXPECT_EQ(PixelAt(MinimiseButton, 8, 9), RGB(0, 0, 0));
  SendMessageW(MinimiseButton, BM_SETSTATE, FALSE, 0);
  UpdateWindow(MinimiseButton);
  EXPECT_EQ(PixelAt(MinimiseButton, 8, 9), RGB(255, 255, 255));
}

TEST_F(TitleBarTest, MinimiseButtonMinimisesTheWindow) {
  EXPECT_FALSE(IsIconic(MainWindow));
  SendMessageW(MinimiseButton, BM_CLICK, 0, 0);
  PumpMessages(100);
  EXPECT_TRUE(IsIconic(MainWindow));
  EXPECT_TRUE(IsWindow(MainWindow));
  DiscardMainWindow();  // the next case starts from a window on the screen
}

TEST_F(TitleBarTest, CloseButtonClosesTheWindow) {
  HWND window = MainWindow;
  SendMessageW(CloseButton, BM_CLICK, 0, 0);
  PumpMessages(50);
  EXPECT_FALSE(IsWindow(window));
}
