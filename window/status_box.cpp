#include "window/status_box.h"

#include "window/status_text.h"

namespace {
// An update at most every 100 ms, and updates take no more than a twentieth of the time since
// the list began: an update of a visible box with a scroll bar costs milliseconds under Wine,
// more the more lines it adds, and the drop is not to be slowed by more than that.
constexpr DWORD ProgressInterval = 100;
constexpr DWORD CostShare = 20;

HWND ReportBox = nullptr;  // the box that shows the list being unpacked
bool Unpacking = false;  // between the list's beginning and its last entry
size_t HeadingLength = 0;
size_t ShownLength = 0;  // characters of StatusText that the box shows; 0: not the list yet
DWORD ListStart = 0, LastShown = 0, TimeSpent = 0;

// Adds what the box lacks when it shows the beginning of StatusText, or else sets the whole
// text (also when the box refused part of the addition); then paints the box with the newest
// lines in view.
void CatchUp(HWND box) {
  DWORD start = GetTickCount();
  size_t length = StatusTextLength();
  bool appended = false;
  auto end = static_cast<WPARAM>(GetWindowTextLengthW(box));
  if (box == ReportBox && ShownLength && end == ShownLength) {
    SendMessageW(box, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(StatusText + ShownLength));
    appended = static_cast<size_t>(GetWindowTextLengthW(box)) == length;
  }
  if (!appended) {
    SetWindowTextW(box, StatusText);
    end = static_cast<WPARAM>(GetWindowTextLengthW(box));
    SendMessageW(box, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(box, EM_SCROLLCARET, 0, 0);
  }
  UpdateWindow(box);
  ShownLength = length;
  LastShown = GetTickCount();
  TimeSpent += LastShown - start;
}
}  // namespace

void BeginUnpackedList(HWND box) {
  ReportBox = box;
  Unpacking = true;
  HeadingLength = StatusTextLength();
  ShownLength = 0;
  TimeSpent = 0;
  // Additions beyond the default 30,000 characters would be refused, and each refusal would
  // cost a setting of the whole list.
  SendMessageW(box, EM_SETLIMITTEXT, 0, 0);
  UpdateWindow(box);
  ListStart = LastShown = GetTickCount();
}

void ShowUnpackedListProgress() {
  if (!Unpacking) return;
  DWORD now = GetTickCount();
  if (now - LastShown < ProgressInterval || TimeSpent * CostShare > now - ListStart) return;
  CatchUp(ReportBox);
}

void ShowUnpackedList() {
  if (Unpacking && StatusTextLength() > HeadingLength && StatusTextLength() != ShownLength)
    CatchUp(ReportBox);
  Unpacking = false;
}

void ShowReportSoFar(HWND box) {
  ReportBox = box;
  CatchUp(box);
}

void ShowWholeReport(HWND box) {
  CatchUp(box);
  ReportBox = nullptr;
  ShownLength = 0;
}
