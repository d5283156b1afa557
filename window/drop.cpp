// A file dropped on the main window: a control is registered at once; a cabinet is unpacked
// and every control found in it is registered. Each registration is waited for, so the report
// in StatusBox tells what regsvr32 did; each control that failed is told in a message box.
#include "window/drop.h"

#include "core/register/cabinet.h"
#include "core/register/register_control.h"
#include "platform/text.h"
#include "platform/unique.h"
#include "window/globals.h"

namespace {
// The first dropped name, whole. False when it does not fit.
bool ReadDroppedPath(HDROP drop, wchar_t (&path)[DroppedPathCapacity]) {
  UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  if (length >= DroppedPathCapacity) return false;
  if (length == 0) return true;  // nothing readable: an empty path, rejected below
  return DragQueryFileW(drop, 0, path, DroppedPathCapacity) == length;
}

// Nothing runs on a path that could only be read cut, and PathBox shows no cut path either: it
// is emptied rather than left showing the previous drop.
void RefuseLongPath() {
  SetWindowTextW(PathBox, L"");
  SetWindowTextW(StatusBox, L"ERROR:拖入文件路径过长！");
}

// One drop's job: the work's input, its results and the report that shows them.
struct DropJob {
  bool cabinet;
  char ansi[AnsiPathCapacity];
  DropReport report;
  RegistrationResult single;
  CabinetResult result;
};

// On the job's thread: a control that did not load has its missing library looked for before
// its failure is shown. The answer is whether the work goes on.
bool RelayCabinetProgress(void* context, const Progress& progress) {
  auto& job = *static_cast<DropJob*>(context);
  if (progress.event == ProgressEvent::ControlDone)
    NoteMissingLibrary(job.report, progress.path, *progress.result);
  return RelayProgress(TheWindow.job, &progress);
}

void DoDrop(void* data) {
  auto& job = *static_cast<DropJob*>(data);
  if (job.cabinet) {
    ProgressSink sink = {RelayCabinetProgress, &job};
    job.result = RegisterCabinet(job.ansi, &sink);
  } else {
    job.single = RegisterControl(job.report.path, ControlSource::Single);
    NoteMissingLibrary(job.report, job.report.path, job.single);
  }
}

bool ShowDropProgress(void* data, const void* event) {
  auto& job = *static_cast<DropJob*>(data);
  return ReportCabinetProgress(&job.report.cabinet, *static_cast<const Progress*>(event));
}

void FinishDrop(void* data) {
  UniqueHeap<DropJob> job(static_cast<DropJob*>(data));
  if (job.get()->cabinet) FinishCabinetReport(job.get()->report, job.get()->result);
  else FinishControlReport(job.get()->report, job.get()->single);
}

// Starts the registration of the control or cabinet at path as the window's job.
void StartDrop(HWND window, const wchar_t* path, bool cabinet) {
  UniqueHeap<DropJob> job = HeapAllocate<DropJob>();
  if (!job) {
    SetWindowTextW(StatusBox, L"ERROR:内存不足，未注册！");
    return;
  }
  job.get()->cabinet = cabinet;
  BeginDropReport(job.get()->report, window, path);
  if (cabinet && !ConvertToAnsiPath(path, job.get()->ansi, sizeof job.get()->ansi)) {
    SetWindowTextW(StatusBox, L"ERROR:拖入文件路径含有当前代码页无法表示的字符！");
    return;
  }
  if (!StartJob(TheWindow.job, MainWindow, {DoDrop, ShowDropProgress, FinishDrop}, job.get())) {
    SetWindowTextW(StatusBox, L"ERROR:无法启动注册，未注册！");
    return;
  }
  job.release();  // FinishDrop takes it back
}
}  // namespace

bool DropInProgress() { return TheWindow.job.running && TheWindow.job.calls.work == DoDrop; }

void HandleDroppedFile(HWND window, HDROP drop) {
  if (ViewMode != RegisterView || Busy()) return;  // one job at a time
  wchar_t path[DroppedPathCapacity] = {};
  if (!ReadDroppedPath(drop, path)) {
    RefuseLongPath();
    return;
  }
  HandleDroppedPath(window, path);
}

void HandleDroppedPath(HWND window, const wchar_t* path) {
  if (ViewMode != RegisterView || Busy()) return;
  if (TextLength(path) >= DroppedPathCapacity) {
    RefuseLongPath();
    return;
  }
  SetWindowTextW(PathBox, path);
  if (IsControl(path))
    StartDrop(window, path, false);
  else if (IsCabinet(path))
    StartDrop(window, path, true);
  else
    SetWindowTextW(StatusBox, L"ERROR:拖入不是.cab、.ocx、.dll文件！");
}
