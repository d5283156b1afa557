// WM_COMMAND of MainWindow: the list double-click, the query button and the remove-all
// button, with the questions and notices that guard them.
#include "window/commands.h"

#include "window/globals.h"
#include "window/message.h"
#include "window/control_list.h"
#include "core/uninstall/remove.h"

namespace {

// Room for any registry key name (255 characters) and its terminator: 256, since a buffer of
// 255 would cut a name of full length.
constexpr int EntryCapacity = 256;

void Notify(HWND owner, const wchar_t* text) { ShowMessage(owner, text, L"提示", MB_OK); }

// Any answer but No counts as yes.
bool AskYesNo(HWND owner, const wchar_t* text) {
  return ShowMessage(owner, text, L"提示", MB_YESNO) != IDNO;
}

// Reads entry index of ControlList into entry; false when there is no such entry or its text
// would not fit, so that no removal ever acts on an empty or cut name.
bool ReadEntry(int index, wchar_t (&entry)[EntryCapacity]) {
  entry[0] = L'\0';
  LRESULT length = SendMessageW(ControlList, LB_GETTEXTLEN, index, 0);
  if (length == LB_ERR || length <= 0 || length >= EntryCapacity) return false;
  LRESULT copied = SendMessageW(ControlList, LB_GETTEXT, index, reinterpret_cast<LPARAM>(entry));
  return copied != LB_ERR && copied > 0 && copied < EntryCapacity;
}

void RemoveSelectedEntry(HWND owner) {
  wchar_t entry[EntryCapacity] = {};
  LRESULT selected = SendMessageW(ControlList, LB_GETCURSEL, 0, 0);
  if (selected == LB_ERR) return;
  if (!ReadEntry(static_cast<int>(selected), entry)) return;
  if (!AskYesNo(owner, L"   是否卸载？")) return;
  RemoveControl(entry);
  QueryInstalledControls();
}

void QueryControls(HWND owner) {
  if (QueryInstalledControls() == 0) Notify(owner, L"当前电脑没有安装控件！");
}

void RemoveAllEntries(HWND owner) {
  int count = static_cast<int>(SendMessageW(ControlList, LB_GETCOUNT, 0, 0));
  if (count == 0) {
    Notify(owner, L"请点击查询安装按钮！");
    return;
  }
  if (!AskYesNo(owner,
                L"是否卸载列表中的全部控件？\r\n如果点击是,请稍等几秒钟,直到列表为空就表示卸载全部操作完成。"))
    return;
  // The list stays as it is during the loop, so the indices stay valid.
  for (int i = 0; i < count; ++i) {
    wchar_t entry[EntryCapacity] = {};
    if (ReadEntry(i, entry)) RemoveControl(entry);
  }
  QueryInstalledControls();
}

}  // namespace

void HandleMainCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  HWND sender = reinterpret_cast<HWND>(lParam);
  if (!sender) return;  // not from a control
  if (sender == ControlList && HIWORD(wParam) == LBN_DBLCLK) {
    RemoveSelectedEntry(window);
  } else if (sender == QueryButton) {
    QueryControls(window);
  } else if (sender == RemoveAllButton) {
    RemoveAllEntries(window);
  }
}
