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

// The removals of 卸载全部 run on a worker thread, so that the window keeps answering while
// a long list goes; the list and the buttons are refused until the list has been queried
// again.
struct RemovalJob {
  HWND window;
  int count;
  wchar_t (*entries)[EntryCapacity];  // count of them; an unreadable one is left empty
};

RemovalJob* Removing = nullptr;  // owned by the GUI thread from start to finish
bool CloseRequested = false;

void FreeJob(RemovalJob* job) {
  if (job->entries) HeapFree(GetProcessHeap(), 0, job->entries);
  HeapFree(GetProcessHeap(), 0, job);
}

DWORD WINAPI RunRemovals(void* parameter) {
  auto* job = static_cast<RemovalJob*>(parameter);
  for (int i = 0; i < job->count; ++i)
    if (job->entries[i][0]) RemoveControl(job->entries[i]);
  PostMessageW(job->window, RemovalsEndedMessage, 0, reinterpret_cast<LPARAM>(job));
  return 0;
}

void RemoveAllEntries(HWND owner) {
  int count = static_cast<int>(SendMessageW(ControlList, LB_GETCOUNT, 0, 0));
  if (count <= 0) {
    Notify(owner, L"请点击查询安装按钮！");
    return;
  }
  if (!AskYesNo(owner,
                L"是否卸载列表中的全部控件？\r\n如果点击是,请稍等几秒钟,直到列表为空就表示卸载全部操作完成。"))
    return;
  auto* job = static_cast<RemovalJob*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(RemovalJob)));
  if (!job) return;
  job->entries = static_cast<wchar_t(*)[EntryCapacity]>(HeapAlloc(
      GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(wchar_t[EntryCapacity]) * static_cast<SIZE_T>(count)));
  if (!job->entries) {
    FreeJob(job);
    return;
  }
  job->window = owner;
  job->count = count;
  // Read here, on the list's own thread, before anything changes it.
  for (int i = 0; i < count; ++i)
    if (!ReadEntry(i, job->entries[i])) job->entries[i][0] = 0;
  Removing = job;
  HANDLE worker = CreateThread(nullptr, 0, RunRemovals, job, 0, nullptr);
  if (!worker) {
    Removing = nullptr;
    FreeJob(job);
    return;
  }
  CloseHandle(worker);  // the end is told by RemovalsEndedMessage
}

}  // namespace

bool RemovalInProgress() { return Removing != nullptr; }

bool DeferCloseDuringRemovals() {
  if (!Removing) return false;
  CloseRequested = true;
  return true;
}

void FinishRemovals(LPARAM job) {
  auto* done = reinterpret_cast<RemovalJob*>(job);
  HWND window = done->window;
  FreeJob(done);
  Removing = nullptr;
  QueryInstalledControls();
  if (CloseRequested) {
    CloseRequested = false;
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
}

void HandleMainCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  HWND sender = reinterpret_cast<HWND>(lParam);
  if (!sender) return;  // not from a control
  if (Removing) return;  // the list and the buttons wait for the removals
  if (sender == ControlList && HIWORD(wParam) == LBN_DBLCLK) {
    RemoveSelectedEntry(window);
  } else if (sender == QueryButton) {
    QueryControls(window);
  } else if (sender == RemoveAllButton) {
    RemoveAllEntries(window);
  }
}
