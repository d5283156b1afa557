#include "window/control_list.h"

#include <windows.h>

#include "core/uninstall/query.h"
#include "platform/text.h"
#include "window/globals.h"

namespace {
void AddName(const wchar_t* progId, void* context) {
  ListEntry entry;
  // A key name has at most 255 characters; one that does not fit is not listed rather than cut.
  if (CopyText(entry.name, progId)) static_cast<ListEntries*>(context)->Append(entry);
}
}  // namespace

int CollectInstalledControls(ListEntries& names) {
  return ForEachInstalledControl(AddName, &names);
}

void FillControlList(const ListEntries& names) {
  HWND list = ControlList;
  // Each change of a visible list redraws its scroll bar at once (milliseconds apiece under
  // Wine); the list is drawn once, complete.
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (size_t i = 0; i < names.Size(); ++i)
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names[i].name));
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}
