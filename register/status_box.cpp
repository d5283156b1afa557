#include "register/status_box.h"

HiddenStatusBox HideStatusBoxWhileBusy(HWND box) {
  if (!IsWindowVisible(box)) return {nullptr, false};
  HiddenStatusBox hidden = {box, GetFocus() == box};
  ShowWindow(box, SW_HIDE);
  return hidden;
}

void ShowStatusBoxAgain(const HiddenStatusBox& hidden) {
  if (!hidden.box) return;
  ShowWindow(hidden.box, SW_SHOW);
  if (hidden.hadFocus) SetFocus(hidden.box);
}
