// A file dropped on the main window: a control is registered at once; a cabinet is unpacked
// and every control found in it is registered. Each registration is waited for, so the report
// in StatusBox tells what regsvr32 did; each control that failed is told in a message box.
#include "window/drop.h"

#include <cwchar>
#include <iterator>

#include "core/register/cabinet.h"
#include "core/register/register_control.h"
#include "platform/text.h"
#include "window/globals.h"
#include "window/message.h"
#include "window/status_box.h"
#include "window/status_text.h"

namespace {
// The prefix, the longest dropped path and the status line, and the terminator: 1021
// characters, where 1000 would cut the status line of a long path.
constexpr size_t FileReportCapacity = 7 + 999 + 14 + 1;
constexpr size_t ReasonCapacity = 160;

constexpr wchar_t UnpackedListHeading[] = L"解压文件列表:\r\n";

// The first dropped name, whole. False when it does not fit.
bool ReadDroppedPath(HDROP drop, wchar_t (&path)[DroppedPathCapacity]) {
  UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  if (length >= DroppedPathCapacity) return false;
  if (length == 0) return true;  // nothing readable: an empty path, rejected below
  return DragQueryFileW(drop, 0, path, DroppedPathCapacity) == length;
}

// What regsvr32's exit code means (its own codes, not the system's).
const wchar_t* Regsvr32Meaning(DWORD code) {
  switch (code) {
    case 1: return L"命令参数无效";
    case 2: return L"OLE初始化失败";
    case 3: return L"控件装载失败";
    case 4: return L"控件没有注册函数DllRegisterServer";
    case 5: return L"控件的注册函数DllRegisterServer报告失败";
    default: return L"未知错误";
  }
}

// The text of the box that tells why a control was not registered.
void DescribeFailure(const RegistrationResult& result, wchar_t (&text)[ReasonCapacity]) {
  text[0] = 0;
  switch (result.status) {
    case RegistrationStatus::RefusedPath:
      CopyText(text, L"控件路径过长，未注册！");
      break;
    case RegistrationStatus::DidNotLoad:
      CopyText(text, L"装载ActiveX控件失败！");
      break;
    case RegistrationStatus::NoEntryPoint:
      CopyText(text, L"此文件没有注册函数DllRegisterServer，不是ActiveX控件，未注册！");
      break;
    case RegistrationStatus::ExitCode:
      // Fits: the meanings are short; a cut text would be refused whole and left empty.
      if (!(CopyText(text, L"注册ActiveX控件失败！regsvr32返回") &&
            AppendNumber(text, result.exitCode) && AppendText(text, L"：") &&
            AppendText(text, Regsvr32Meaning(result.exitCode)) && AppendText(text, L"。")))
        text[0] = 0;
      break;
    case RegistrationStatus::TimeLimit:
      CopyText(text, L"注册ActiveX控件超时：regsvr32在120秒内没有完成！");
      break;
    case RegistrationStatus::NotStarted:
      CopyText(text, L"无法启动regsvr32，控件未注册！");
      break;
    case RegistrationStatus::Registered:
    case RegistrationStatus::HelperLibrary:
      break;
  }
}

void TellFailure(HWND window, const wchar_t* path, const RegistrationResult& result) {
  wchar_t text[ReasonCapacity];
  DescribeFailure(result, text);
  ShowMessage(window, text, L"ERROR", MB_OK, path, result.error);
}

// A name from a cabinet as one line of the report: control characters (CR, LF, tab, the rest
// below 0x20, and DEL) are written as \r, \n, \t or \xNN, so that no name forges a line.
void AppendEscaped(const wchar_t* text) {
  const wchar_t* run = text;
  for (const wchar_t* p = text;; ++p) {
    wchar_t c = *p;
    bool control = c != 0 && (c < 0x20 || c == 0x7F);
    if (c != 0 && !control) continue;
    if (p > run) {
      wchar_t piece[256];
      while (run < p) {
        size_t n = static_cast<size_t>(p - run);
        if (n > 255) n = 255;
        wmemcpy(piece, run, n);
        piece[n] = 0;
        StatusTextAppend(piece);
        run += n;
      }
    }
    if (c == 0) return;
    wchar_t escape[8];
    if (c == L'\r') CopyText(escape, L"\\r");
    else if (c == L'\n') CopyText(escape, L"\\n");
    else if (c == L'\t') CopyText(escape, L"\\t");
    else {
      constexpr wchar_t Hex[] = L"0123456789ABCDEF";
      const wchar_t code[] = {L'\\', L'x', Hex[(c >> 4) & 15], Hex[c & 15], 0};
      CopyText(escape, code);
    }
    StatusTextAppend(escape);
    run = p + 1;
  }
}

// " 写入失败：" and the system's text for error, for an entry that could not be written whole.
void AppendWriteFailure(DWORD error) {
  wchar_t reason[256] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, error, 0, reason, static_cast<DWORD>(std::size(reason)),
                                nullptr);
  while (length > 0 && (reason[length - 1] == L'\r' || reason[length - 1] == L'\n' ||
                        reason[length - 1] == L' '))
    reason[--length] = 0;
  StatusTextAppend(L" 写入失败：");
  if (length) AppendEscaped(reason);
  else {
    wchar_t code[24] = L"错误";
    AppendNumber(code, error);
    StatusTextAppend(code);
  }
}
// The heading of the registered controls, once, before the first of them or the status line.
void AppendRegisteredHeading(CabinetReport& report) {
  if (report.registeredHeading) return;
  StatusTextAppend(L"注册成功文件列表:\r\n");
  report.registeredHeading = true;
}
}  // namespace

bool ReportCabinetProgress(void* context, const Progress& progress) {
  auto& report = *static_cast<CabinetReport*>(context);
  switch (progress.event) {
    case ProgressEvent::FolderMade:
      StatusTextAppend(report.path);
      StatusTextAppend(L"\r\n新建文件夹:");
      StatusTextAppend(progress.path);
      StatusTextAppend(L"\r\n");
      SetWindowTextW(StatusBox, L"");
      SetWindowTextW(StatusBox, StatusText);
      // The list of unpacked files, one line per entry; shown as it grows.
      StatusTextReset(UnpackedListHeading);
      BeginUnpackedList(StatusBox);
      break;
    case ProgressEvent::EntryUnpacked:
      // Every entry is listed, also one that was refused or failed.
      AppendEscaped(progress.path);
      if (progress.entry == EntryStatus::WriteFailed) AppendWriteFailure(progress.error);
      StatusTextAppend(L"\r\n");
      ShowUnpackedListProgress();
      break;
    case ProgressEvent::UnpackEnded:
      ShowUnpackedList();
      break;
    case ProgressEvent::ControlStarting:
      AppendRegisteredHeading(report);
      break;
    case ProgressEvent::ControlDone:
      if (progress.result->status == RegistrationStatus::Registered) {
        AppendEscaped(progress.path);
        StatusTextAppend(L"\r\n");
      } else if (IsFailure(progress.result->status)) {
        TellFailure(report.window, progress.path, *progress.result);
      }
      break;
  }
  return true;
}

// A root or folder that cannot be had in a box owned by the main window; an interface that
// cannot start or fails in the boxes owned by the status box.
bool TellUnpackFailure(const CabinetResult& result) {
  switch (result.unpack) {
    case UnpackStatus::Unpacked:
      return false;
    case UnpackStatus::RootUnsafe:
      ShowMessage(MainWindow, UnpackRootRefusal, L"ERROR", MB_OK);
      return true;
    case UnpackStatus::RootFailed:
      ShowMessage(MainWindow, UnpackRootFailure, L"ERROR", MB_OK, nullptr, result.error);
      return true;
    case UnpackStatus::NamesTaken:
      ShowMessage(MainWindow, UnpackNamesTaken, L"ERROR", MB_OK);
      return true;
    case UnpackStatus::FolderFailed:
      ShowMessage(MainWindow, UnpackFolderFailure, L"ERROR", MB_OK, nullptr, result.error);
      return true;
    case UnpackStatus::NoInterface:
      ShowMessage(StatusBox, L"", L"", MB_OK);
      ShowMessage(StatusBox, L"error", L"", MB_OK);
      return true;
    case UnpackStatus::Failed:
      ShowMessage(StatusBox, L"error", L"", MB_OK);
      return true;
  }
  return true;
}

namespace {
// Nothing runs on a path that could only be read cut, and PathBox shows no cut path either: it
// is emptied rather than left showing the previous drop.
void RefuseLongPath() {
  SetWindowTextW(PathBox, L"");
  SetWindowTextW(StatusBox, L"ERROR:拖入文件路径过长！");
}

// The drop at work. The registration runs on a worker thread; everything it has to show it
// sends to the messenger, a message-only window of the GUI thread, and waits until the GUI
// thread has shown it (a box about a failed control halts the walk until it is answered, as
// it always has). The GUI thread itself never waits for the worker.
constexpr UINT ProgressMessage = WM_APP + 1;  // wParam: const Progress*, lParam: the job
constexpr UINT FinishedMessage = WM_APP + 3;  // lParam: the job, all done

struct DropJob {
  HWND window;  // owner of the boxes
  bool cabinet;
  wchar_t path[DroppedPathCapacity];
  char ansi[AnsiPathCapacity];
  wchar_t report[FileReportCapacity];  // a single control's report
  CabinetReport cabinetReport;
  RegistrationResult single;
  CabinetResult result;
};

HWND Messenger = nullptr;
DropJob* Running = nullptr;  // owned by the GUI thread from start to finish
bool CloseRequested = false;

// The answer is whether the work goes on.
bool SendProgress(void* context, const Progress& progress) {
  return SendMessageW(Messenger, ProgressMessage, reinterpret_cast<WPARAM>(&progress),
                      reinterpret_cast<LPARAM>(context)) != 0;
}

DWORD WINAPI RunDrop(void* parameter) {
  auto& job = *static_cast<DropJob*>(parameter);
  ProgressSink sink = {SendProgress, &job};
  if (job.cabinet) {
    job.result = RegisterCabinet(job.ansi, &sink);
  } else {
    job.single = RegisterControl(job.path, ControlSource::Single);
  }
  // Posted, not sent: the job is the GUI thread's again once this thread is done with it.
  PostMessageW(Messenger, FinishedMessage, 0, reinterpret_cast<LPARAM>(&job));
  return 0;
}

void FinishSingleControl(DropJob& job) {
  bool registered = job.single.status == RegistrationStatus::Registered;
  if (!registered) TellFailure(job.window, job.path, job.single);
  AppendText(job.report, registered ? L"\r\n注册状态：文件注册成功！" : L"\r\n注册状态：文件注册失败！");
  SetWindowTextW(StatusBox, job.report);
}

void FinishCabinet(DropJob& job) {
  if (TellUnpackFailure(job.result)) return;  // StatusText keeps the list
  AppendRegisteredHeading(job.cabinetReport);
  // A cabinet succeeds when it held a control, every control in it was registered, every entry
  // that was written was written whole and the work was not stopped; a copy that stopped on a
  // damaged cabinet is not told: what was unpacked whole gets registered.
  const CabinetResult& result = job.result;
  bool registered = result.registered > 0 && result.failed == 0 && !result.writeFailed &&
                    !result.stopped;
  SendMessageW(StatusBox, WM_VSCROLL, SB_BOTTOM, 0);
  StatusTextAppend(registered ? L"注册状态:注册成功！" : L"注册状态:注册失败！");
  ShowWholeReport(StatusBox);
  StatusTextReset(StatusTextInitial);  // ready for the next cabinet; the box keeps the report
  SendMessageW(StatusBox, WM_VSCROLL, SB_BOTTOM, 0);
}

LRESULT CALLBACK MessengerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* job = reinterpret_cast<DropJob*>(lParam);
  switch (message) {
    case ProgressMessage:
      return ReportCabinetProgress(&job->cabinetReport, *reinterpret_cast<const Progress*>(wParam));
    case FinishedMessage:
      if (job->cabinet) FinishCabinet(*job);
      else FinishSingleControl(*job);
      HeapFree(GetProcessHeap(), 0, job);
      Running = nullptr;
      // A close asked for during the drop takes effect now that nothing is half done.
      if (CloseRequested && MainWindow) {
        CloseRequested = false;
        PostMessageW(MainWindow, WM_CLOSE, 0, 0);
      }
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

bool EnsureMessenger() {
  if (Messenger) return true;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW cls = {};
  cls.lpfnWndProc = MessengerProc;
  cls.hInstance = instance;
  cls.lpszClassName = L"CtlwardenDropMessenger";
  RegisterClassW(&cls);  // fails harmlessly when already registered
  Messenger = CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              instance, nullptr);
  return Messenger != nullptr;
}

// Starts the registration of the control or cabinet at path on a worker thread.
void StartDrop(HWND window, const wchar_t* path, bool cabinet, const wchar_t* report) {
  auto* job = static_cast<DropJob*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(DropJob)));
  if (!job || !EnsureMessenger()) {
    if (job) HeapFree(GetProcessHeap(), 0, job);
    SetWindowTextW(StatusBox, L"ERROR:内存不足，未注册！");
    return;
  }
  job->window = window;
  job->cabinet = cabinet;
  CopyText(job->path, path);  // both hold DroppedPathCapacity characters
  CopyText(job->report, report);
  job->cabinetReport = {window, job->path, false};
  if (cabinet && !ConvertToAnsiPath(path, job->ansi, sizeof job->ansi)) {
    HeapFree(GetProcessHeap(), 0, job);
    SetWindowTextW(StatusBox, L"ERROR:拖入文件路径含有当前代码页无法表示的字符！");
    return;
  }
  Running = job;
  HANDLE worker = CreateThread(nullptr, 0, RunDrop, job, 0, nullptr);
  if (!worker) {
    Running = nullptr;
    HeapFree(GetProcessHeap(), 0, job);
    SetWindowTextW(StatusBox, L"ERROR:无法启动注册，未注册！");
    return;
  }
  CloseHandle(worker);  // the job's end is told by FinishedMessage
}
}  // namespace

bool DropInProgress() { return Running != nullptr; }

bool DeferCloseDuringDrop() {
  if (!Running) return false;
  CloseRequested = true;
  return true;
}

void HandleDroppedFile(HWND window, HDROP drop) {
  if (ViewMode != RegisterView || Running) return;  // one drop at a time
  wchar_t path[DroppedPathCapacity] = {};
  if (!ReadDroppedPath(drop, path)) {
    RefuseLongPath();
    return;
  }
  HandleDroppedPath(window, path);
}

void HandleDroppedPath(HWND window, const wchar_t* path) {
  if (ViewMode != RegisterView || Running) return;
  if (TextLength(path) >= DroppedPathCapacity) {
    RefuseLongPath();
    return;
  }

  wchar_t report[FileReportCapacity] = {};
  CopyText(report, L"拖入文件路径：");
  SetWindowTextW(PathBox, path);
  AppendText(report, path);

  if (IsControl(path))
    StartDrop(window, path, false, report);
  else if (IsCabinet(path))
    StartDrop(window, path, true, report);
  else
    SetWindowTextW(StatusBox, L"ERROR:拖入不是.cab、.ocx、.dll文件！");
}
