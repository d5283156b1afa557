#include "window/message.h"

int ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type,
                const wchar_t*, DWORD) {
  return MessageBoxW(owner, text, caption, type);
}
