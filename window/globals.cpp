#include "window/globals.h"

MainWindowState TheWindow;

namespace {
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
}  // namespace

void RepaintView() {
  if (TheWindow.titleBar) {
    RECT strip;
    GetClientRect(TheWindow.titleBar, &strip);
    strip.top += 30;
    InvalidateRect(TheWindow.titleBar, &strip, TRUE);
  }
  if (MainWindow) {
    RECT body;
    GetClientRect(MainWindow, &body);
    body.top += 80;
    InvalidateRect(MainWindow, &body, TRUE);
  }
}

void SetView(int view) {
  ViewMode = view;
  ShowChildren(view == RegisterView);
  RepaintView();
}

bool Busy() { return TheWindow.job.running; }
