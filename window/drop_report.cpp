#include "window/drop_report.h"

#include <cwchar>
#include <iterator>

#include "core/diagnose/dependencies.h"
#include "core/register/register_control.h"
#include "platform/text.h"
#include "window/globals.h"
#include "window/status_box.h"
#include "window/status_text.h"

namespace {
// The prefix, the longest dropped path, the status line and the missing line, terminated.
constexpr size_t FileReportCapacity = 7 + 999 + 14 + MissingLineCapacity;

constexpr wchar_t UnpackedListHeading[] = L"解压文件列表:\r\n";

// Appends up to 255 characters of text at a time.
void AppendRun(const wchar_t* run, const wchar_t* end) {
  wchar_t piece[256];
  while (run < end) {
    size_t n = static_cast<size_t>(end - run);
    if (n > 255) n = 255;
    wmemcpy(piece, run, n);
    piece[n] = 0;
    StatusTextAppend(piece);
    run += n;
  }
}

// A name from a cabinet as one line of the report: control characters (CR, LF, tab, the rest
// below 0x20, and DEL) are written as \r, \n, \t or \xNN, so that no name forges a line.
void AppendEscaped(const wchar_t* text) {
  const wchar_t* run = text;
  for (const wchar_t* p = text;; ++p) {
    wchar_t c = *p;
    bool control = c != 0 && (c < 0x20 || c == 0x7F);
    if (c != 0 && !control) continue;
    AppendRun(run, p);
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
  wchar_t reason[256];
  StatusTextAppend(L" 写入失败：");
  if (SystemErrorText(error, reason, static_cast<DWORD>(std::size(reason)))) {
    AppendEscaped(reason);
  } else {
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

void ReportFolder(const CabinetReport& report, const wchar_t* folder) {
  StatusTextAppend(report.path);
  StatusTextAppend(L"\r\n新建文件夹:");
  StatusTextAppend(folder);
  StatusTextAppend(L"\r\n");
  SetWindowTextW(StatusBox, L"");
  SetWindowTextW(StatusBox, StatusText);
  // The list of unpacked files, one line per entry; shown as it grows.
  StatusTextReset(UnpackedListHeading);
  BeginUnpackedList(StatusBox);
}
}  // namespace

bool ReportCabinetProgress(void* context, const Progress& progress) {
  auto& report = *static_cast<CabinetReport*>(context);
  switch (progress.event) {
    case ProgressEvent::FolderMade:
      ReportFolder(report, progress.path);
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
        ShowReportSoFar(StatusBox);  // the line of a control once its regsvr32 has ended
      } else if (IsFailure(progress.result->status)) {
        TellFailure(report.window, progress.path, *progress.result);
      }
      break;
  }
  return true;
}

void BeginDropReport(DropReport& report, HWND owner, const wchar_t* path) {
  report.owner = owner;
  CopyText(report.path, path);
  report.cabinet = {owner, report.path, false};
  report.missing[0] = 0;
}

void NoteMissingLibrary(DropReport& report, const wchar_t* control,
                        const RegistrationResult& result) {
  if (result.status != RegistrationStatus::DidNotLoad || report.missing[0]) return;
  // A cabinet's controls are named with forward slashes; the library search takes the
  // control's folder at its last backslash, as the loader does.
  wchar_t path[DroppedPathCapacity];
  if (!CopyText(path, control)) return;
  for (wchar_t* p = path; *p; ++p)
    if (*p == L'/') *p = L'\\';
  wchar_t library[ImportNameCapacity];
  wchar_t hint[RuntimeHintCapacity];
  if (!FindMissingLibrary(path, library, hint)) return;
  // Fits: the capacity is the sum of the parts.
  CopyText(report.missing, L"\r\n缺少依赖文件：");
  AppendText(report.missing, library);
  AppendText(report.missing, hint);
}

void FinishControlReport(const DropReport& report, const RegistrationResult& result) {
  bool registered = result.status == RegistrationStatus::Registered;
  if (!registered) TellFailure(report.owner, report.path, result);
  wchar_t text[FileReportCapacity] = L"拖入文件路径：";
  AppendText(text, report.path);  // fits: under DroppedPathCapacity characters
  AppendText(text, registered ? L"\r\n注册状态：文件注册成功！" : L"\r\n注册状态：文件注册失败！");
  AppendText(text, report.missing);
  SetWindowTextW(StatusBox, text);
}

void FinishCabinetReport(DropReport& report, const CabinetResult& result) {
  if (TellUnpackFailure(result)) return;  // StatusText keeps the list
  AppendRegisteredHeading(report.cabinet);
  // A cabinet succeeds when it held a control, every control in it was registered, every entry
  // that was written was written whole and the work was not stopped; a copy that stopped on a
  // damaged cabinet is not told: what was unpacked whole gets registered.
  bool registered = result.registered > 0 && result.failed == 0 && !result.writeFailed &&
                    !result.stopped;
  SendMessageW(StatusBox, WM_VSCROLL, SB_BOTTOM, 0);
  StatusTextAppend(registered ? L"注册状态:注册成功！" : L"注册状态:注册失败！");
  StatusTextAppend(report.missing);
  ShowWholeReport(StatusBox);
  StatusTextReset(StatusTextInitial);  // ready for the next cabinet; the box keeps the report
  SendMessageW(StatusBox, WM_VSCROLL, SB_BOTTOM, 0);
}
