// StatusBox while a drop is at work. A visible multi-line edit box redraws its scroll bar at
// once on every change of its text (milliseconds apiece under Wine), and nothing is painted
// until the drop returns to the message loop anyway, so the box is hidden while the report is
// built and set, and shown again, holding the text it is to show, before anything can be seen:
// a message box, or the end of the drop.
#pragma once
#include <windows.h>

struct HiddenStatusBox {
  HWND box;       // null when the box was not visible: there is nothing to show again
  bool hadFocus;  // hiding takes the keyboard focus away from the box
};

HiddenStatusBox HideStatusBoxWhileBusy(HWND box);
// Shows the box again and gives it back the keyboard focus if it had it.
void ShowStatusBoxAgain(const HiddenStatusBox& hidden);
