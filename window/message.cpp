#include "window/message.h"

#include "unattended/run_log.h"

int ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type,
                const wchar_t* subject, DWORD error) {
  if (!IsUnattended()) return MessageBoxW(owner, text, caption, type);
  if ((type & MB_TYPEMASK) == MB_YESNO) {
    LogEvent(L"question", subject, Outcome::Info, text, error);
    return IDYES;
  }
  // A notice without text of its own (the cabinet interface's failures) is named by its caption.
  const wchar_t* detail = text[0] ? text : caption[0] ? caption : L"(a message box without text)";
  LogEvent(L"error", subject, Outcome::Failed, detail, error);
  return IDOK;
}
