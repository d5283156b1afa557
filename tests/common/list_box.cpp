#include "tests/common/list_box.h"

std::vector<std::wstring> ListBoxEntries(HWND list) {
  std::vector<std::wstring> out;
  LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::wstring text(SendMessageW(list, LB_GETTEXTLEN, i, 0), L'\0');
    SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
    out.push_back(text);
  }
  return out;
}
