// The uninstall view's list of the maker's controls.
#include "window/control_list.h"

#include <windows.h>

#include "core/uninstall/query.h"
#include "window/globals.h"

namespace {
void AddToList(const wchar_t* progId, void* list) {
  SendMessageW(static_cast<HWND>(list), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(progId));
}
}  // namespace

int QueryInstalledControls() {
  HWND list = ControlList;
  // Each change of a visible list redraws its scroll bar at once (milliseconds apiece under
  // Wine); the list is drawn once, complete.
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  LRESULT entries = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < entries; ++i) SendMessageW(list, LB_DELETESTRING, 0, 0);
  int count = ForEachInstalledControl(AddToList, list);
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  return count;
}
