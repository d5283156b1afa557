#include "window/commands.h"

#include <new>

#include "core/uninstall/remove.h"
#include "window/control_list.h"
#include "window/globals.h"
#include "window/message.h"
#include "platform/unique.h"

namespace {

void Notify(HWND owner, const wchar_t* text) { ShowMessage(owner, text, L"提示", MB_OK); }

// Any answer but No counts as yes.
bool AskYesNo(HWND owner, const wchar_t* text) {
  return ShowMessage(owner, text, L"提示", MB_YESNO) != IDNO;
}

// Reads entry index of ControlList; false when there is no such entry or its text would not
// fit, so that no removal ever acts on an empty or cut name.
bool ReadEntry(int index, ListEntry& entry) {
  entry.name[0] = L'\0';
  LRESULT length = SendMessageW(ControlList, LB_GETTEXTLEN, index, 0);
  if (length == LB_ERR || length <= 0 || length >= EntryCapacity) return false;
  LRESULT copied =
      SendMessageW(ControlList, LB_GETTEXT, index, reinterpret_cast<LPARAM>(entry.name));
  return copied != LB_ERR && copied > 0 && copied < EntryCapacity;
}

// A command's job: the entries to remove (read on the window's thread before anything changes
// the list), then the query; the list is filled from found when the job ends.
struct ListJob {
  HWND owner;
  bool tellEmpty;  // the query button's notice when nothing is found
  ListEntries removals{ListBound};
  ListEntries found{ListBound};
  int count = 0;
};

ListJob* Listing = nullptr;  // the command's job while it runs

// Jobs live on the process heap, made and ended here: the C++ runtime's operator new would
// bring its exception support into the program.
ListJob* NewListJob(HWND owner, bool tellEmpty) {
  UniqueHeap<ListJob> memory = HeapAllocate<ListJob>(1, false);
  return memory ? new (memory.release()) ListJob{owner, tellEmpty} : nullptr;
}

void DeleteListJob(ListJob* job) {
  if (!job) return;
  job->~ListJob();
  UniqueHeap<ListJob> memory(job);  // gives the block back
}

void DoListJob(void* data) {
  auto& job = *static_cast<ListJob*>(data);
  for (size_t i = 0; i < job.removals.Size(); ++i) {
    if (StopRequested(TheWindow.job)) return;  // the window closes: the list is not shown
    if (job.removals[i].name[0]) RemoveControl(job.removals[i].name);
  }
  job.count = CollectInstalledControls(job.found);
}

void FinishListJob(void* data) {
  auto* job = static_cast<ListJob*>(data);
  Listing = nullptr;
  bool stopped = StopRequested(TheWindow.job);  // the window closes: nothing more is shown
  if (!stopped) FillControlList(job->found);
  if (!stopped && job->tellEmpty && job->count == 0) Notify(job->owner, L"当前电脑没有安装控件！");
  DeleteListJob(job);
}

void StartListJob(ListJob* job) {
  if (!job) return;
  if (!StartJob(TheWindow.job, MainWindow, {DoListJob, nullptr, FinishListJob}, job)) {
    DeleteListJob(job);
    return;
  }
  Listing = job;
}

void RemoveSelectedEntry(HWND owner) {
  LRESULT selected = SendMessageW(ControlList, LB_GETCURSEL, 0, 0);
  if (selected == LB_ERR) return;
  ListEntry entry;
  if (!ReadEntry(static_cast<int>(selected), entry)) return;
  if (!AskYesNo(owner, L"   是否卸载？")) return;
  ListJob* job = NewListJob(owner, false);
  if (job && job->removals.Append(entry)) StartListJob(job);
  else DeleteListJob(job);
}

void QueryControls(HWND owner) { StartListJob(NewListJob(owner, true)); }

void RemoveAllEntries(HWND owner) {
  int count = static_cast<int>(SendMessageW(ControlList, LB_GETCOUNT, 0, 0));
  if (count <= 0) {
    Notify(owner, L"请点击查询安装按钮！");
    return;
  }
  if (!AskYesNo(owner,
                L"是否卸载列表中的全部控件？\r\n如果点击是,请稍等几秒钟,直到列表为空就表示卸载全部操作完成。"))
    return;
  ListJob* job = NewListJob(owner, false);
  if (!job || !job->removals.Reserve(static_cast<size_t>(count))) {
    DeleteListJob(job);
    return;
  }
  for (int i = 0; i < count; ++i) {
    ListEntry entry;
    ReadEntry(i, entry);  // an unreadable entry stays empty and is passed over
    job->removals.Append(entry);
  }
  StartListJob(job);
}

}  // namespace

bool CommandInProgress() { return Listing != nullptr; }

void HandleMainCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  HWND sender = reinterpret_cast<HWND>(lParam);
  if (!sender || Busy()) return;  // not from a control, or the list and buttons wait for a job
  if (sender == ControlList && HIWORD(wParam) == LBN_DBLCLK) {
    RemoveSelectedEntry(window);
  } else if (sender == QueryButton) {
    QueryControls(window);
  } else if (sender == RemoveAllButton) {
    RemoveAllEntries(window);
  }
}
