// Showing the list of unpacked files while an extraction runs. After each entry the status
// window shows exactly StatusText. Setting the whole text again for every entry would cost
// time growing with the square of the number of files, so once the window holds StatusText,
// only the new line is added at its end.
#include "common/status_text.h"
#include "register/cabinet_callbacks.h"

namespace {
bool WindowHoldsStatusText = false;

size_t WindowTextLength(HWND box) { return static_cast<size_t>(GetWindowTextLengthW(box)); }

// Adds StatusText from offset 'from' to the end of the box; true when the box then holds
// all of StatusText.
bool AppendToWindow(HWND box, size_t from) {
  if (WindowTextLength(box) != from) return false;
  size_t wanted = StatusTextLength();
  // The edit box accepts only so much text from an insertion; make room for the report.
  if (static_cast<size_t>(SendMessageW(box, EM_GETLIMITTEXT, 0, 0)) < wanted)
    SendMessageW(box, EM_SETLIMITTEXT, 0, 0);
  SendMessageW(box, EM_SETSEL, from, from);
  SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(StatusText + from));
  return WindowTextLength(box) == wanted;
}
}  // namespace

void ForgetStatusWindowContent() { WindowHoldsStatusText = false; }

void AppendEntryLine(HWND box, const wchar_t* widePath) {
  size_t before = StatusTextLength();
  bool appended = StatusTextAppend(widePath);
  appended = StatusTextAppend(L"\r\n") && appended;
  if (appended && WindowHoldsStatusText && AppendToWindow(box, before)) return;
  SetWindowTextW(box, StatusText);
  WindowHoldsStatusText = true;
}
