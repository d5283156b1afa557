// StatusBox while a cabinet drop is at work. The worker's progress reaches the GUI thread as
// one message after another, so the box is painted (UpdateWindow) each time its text changes
// rather than when the queue next runs dry. While a cabinet unpacks, the list of unpacked
// files is shown as it grows: no more often than the eye can follow, and once more after the
// last entry. The box stays visible throughout; hiding it would let the main window paint its
// body over the box's place until the drop ends.
#pragma once
#include <windows.h>

// The list of unpacked files begins: StatusText holds its heading, and the box shows the text
// set before it, which is painted now.
void BeginUnpackedList(HWND box);
// After each listed entry: brings the box up to StatusText when the time has come.
void ShowUnpackedListProgress();
// After the last entry: brings the box up to StatusText when any entry was listed; a cabinet
// that listed none leaves the box showing the text before the list.
void ShowUnpackedList();
// While a cabinet's controls register: the box shows StatusText as far as it goes, painted;
// only what it lacks is added.
void ShowReportSoFar(HWND box);
// At the end of a cabinet drop: the box shows the whole of StatusText, painted. When it shows
// the list so far, only the rest is added: the text it holds is laid out once, not twice.
void ShowWholeReport(HWND box);
