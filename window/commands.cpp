// WM_COMMAND of MainWindow: the list double-click, the query button and the remove-all
// button, with the questions and notices that guard them.
#include "window/commands.h"

#include "window/globals.h"
#include "window/message.h"
#include "window/control_list.h"
#include "core/uninstall/remove.h"
#include "platform/unique.h"

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
using Entry = wchar_t[EntryCapacity];

// The job and its entries are two heap blocks, handed from the GUI thread to the worker and
// back with RemovalsEndedMessage, whose handler takes them into owners again.
struct RemovalJob {
  HWND window;
  int count;
  Entry* entries;  // count of them; an unreadable one is left empty
};

RemovalJob* Removing = nullptr;  // owned by the GUI thread from start to finish
bool CloseRequested = false;

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
  UniqueHeap<RemovalJob> job = HeapAllocate<RemovalJob>();
  UniqueHeap<Entry> entries = HeapAllocate<Entry>(static_cast<SIZE_T>(count));
  if (!job || !entries) return;
  *job.get() = {owner, count, entries.get()};
  // Read here, on the list's own thread, before anything changes it.
  for (int i = 0; i < count; ++i)
    if (!ReadEntry(i, entries.get()[i])) entries.get()[i][0] = 0;
  UniqueKernelHandle worker(CreateThread(nullptr, 0, RunRemovals, job.get(), 0, nullptr));
  if (!worker) return;
  // The worker has them now; the end is told by RemovalsEndedMessage, not by the thread's handle.
  entries.release();
  Removing = job.release();
}

}  // namespace

bool RemovalInProgress() { return Removing != nullptr; }

bool DeferCloseDuringRemovals() {
  if (!Removing) return false;
  CloseRequested = true;
  return true;
}

void FinishRemovals(LPARAM job) {
  UniqueHeap<RemovalJob> done(reinterpret_cast<RemovalJob*>(job));
  UniqueHeap<Entry> entries(done.get()->entries);
  HWND window = done.get()->window;
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
