// A stand-in for MainWindow with the real working children (the same classes, styles and
// places), so that the program's functions write into real EDIT and LISTBOX controls.
#pragma once
#include <windows.h>

// Creates the window, sets MainWindow, PathBox, StatusBox and ControlList, and shows the
// children of the chosen view (ViewMode is set to match).
HWND CreateHostWindow(bool registerView);
// Dispatches every queued message, paints included; returns when the queue is empty.
void PumpPending();
// Handles the messages until the drop's worker has ended (the drop runs on a thread of its own
// and reports to this one).
void PumpUntilDropEnds();
// Pumps, then gives the X server and wineserver a moment to finish the drawing requests of
// the last measurement, so that they are not charged to the next one.
void Settle();
