// A file dropped on the main window: a control is registered at once; a cabinet is unpacked
// and every control found in it is registered. The report goes to StatusBox.
#include "core/register/drop.h"

#include <cstring>

#include "window/globals.h"
#include "window/status_text.h"
#include "platform/text.h"
#include "core/register/cabinet.h"
#include "core/register/register_control.h"
#include "window/status_box.h"

namespace {
// The prefix, the longest dropped path and the status line, and the terminator: 1021
// characters, where 1000 would cut the status line of a long path.
constexpr size_t FileReportCapacity = 7 + 999 + 14 + 1;
constexpr size_t DirectoryCopyCapacity = 200;
constexpr size_t CandidateCapacity = 400;

// The first dropped name, whole. False when it does not fit.
bool ReadDroppedPath(HDROP drop, wchar_t (&path)[DroppedPathCapacity]) {
  UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  if (length >= DroppedPathCapacity) return false;
  if (length == 0) return true;  // nothing readable: an empty path, rejected below
  return DragQueryFileW(drop, 0, path, DroppedPathCapacity) == length;
}

void RegisterSingleControl(HWND window, const wchar_t* path, wchar_t (&report)[FileReportCapacity]) {
  bool launched = RegisterControlFile(path, window);
  AppendText(report, launched ? L"\r\n注册状态：文件注册成功！" : L"\r\n注册状态：文件注册失败！");
  SetWindowTextW(StatusBox, report);
}

}  // namespace

bool IsControl(const wchar_t* path) { return EndsWith(path, L".ocx") || EndsWith(path, L".dll"); }

bool RegisterUnpackedControls(HWND window) {
  wchar_t directory[DirectoryCopyCapacity] = {};
  wchar_t pattern[DirectoryCopyCapacity] = {};
  CopyText(directory, UnpackDir);
  bool searchable = CopyText(pattern, UnpackDir) && AppendText(pattern, L"*.*");

  WIN32_FIND_DATAW found;
  HANDLE search = searchable ? FindFirstFileW(pattern, &found) : INVALID_HANDLE_VALUE;
  StatusTextAppend(L"注册成功文件列表:\r\n");
  bool launched = false;
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    // Equality, not a bit test: this drops "." and "..".
    if (found.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY) continue;
    wchar_t candidate[CandidateCapacity] = {};
    if (!CopyText(candidate, directory) || !AppendText(candidate, found.cFileName)) continue;
    if (!IsControl(candidate)) continue;
    if (RegisterControlFile(candidate, window)) {
      launched = true;
      StatusTextAppend(candidate);
      StatusTextAppend(L"\r\n");
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return launched;
}

namespace {

// Nothing runs on a path that could only be read cut, and PathBox shows no cut path either: it
// is emptied rather than left showing the previous drop.
void RefuseLongPath() {
  SetWindowTextW(PathBox, L"");
  SetWindowTextW(StatusBox, L"ERROR:拖入文件路径过长！");
}

void RegisterCabinet(HWND window, const wchar_t* path) {
  char ansi[AnsiPathCapacity] = {};  // three bytes a character: see AnsiPathCapacity
  if (!ConvertToAnsiPath(path, ansi, sizeof ansi)) {
    SetWindowTextW(StatusBox, L"ERROR:拖入文件路径含有当前代码页无法表示的字符！");
    return;
  }
  if (!ExtractCabinet(path, ansi)) return;  // already reported; StatusText keeps the list

  bool launched = RegisterUnpackedControls(window);
  SendMessageW(StatusBox, WM_VSCROLL, SB_BOTTOM, 0);
  StatusTextAppend(launched ? L"注册状态:注册成功！" : L"注册状态:注册失败！");
  ShowWholeReport(StatusBox);
  StatusTextReset(StatusTextInitial);  // ready for the next cabinet; the box keeps the report
  SendMessageW(StatusBox, WM_VSCROLL, SB_BOTTOM, 0);
}
}  // namespace

bool ConvertToAnsiPath(const wchar_t* path, char* ansi, size_t cap) {
  if (cap == 0) return false;
  memset(ansi, 0, cap);
  int written;
  BOOL usedDefault = FALSE;
  if (GetACP() == CP_UTF8) {
    // UTF-8 expresses every character; only a broken surrogate is refused.
    written = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, path, -1, ansi,
                                  static_cast<int>(cap), nullptr, nullptr);
  } else {
    written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path, -1, ansi,
                                  static_cast<int>(cap), nullptr, &usedDefault);
  }
  if (written > 0 && !usedDefault) return true;
  memset(ansi, 0, cap);
  return false;
}

void HandleDroppedFile(HWND window, HDROP drop) {
  if (ViewMode != RegisterView) return;
  wchar_t path[DroppedPathCapacity] = {};
  if (!ReadDroppedPath(drop, path)) {
    RefuseLongPath();
    return;
  }
  HandleDroppedPath(window, path);
}

void HandleDroppedPath(HWND window, const wchar_t* path) {
  if (ViewMode != RegisterView) return;
  if (TextLength(path) >= DroppedPathCapacity) {
    RefuseLongPath();
    return;
  }

  wchar_t report[FileReportCapacity] = {};
  CopyText(report, L"拖入文件路径：");
  SetWindowTextW(PathBox, path);
  // The window handles no messages until the drop has ended: the path is painted now, so that
  // it is seen while a long cabinet unpacks.
  UpdateWindow(PathBox);
  AppendText(report, path);

  if (IsControl(path))
    RegisterSingleControl(window, path, report);
  else if (EndsWith(path, L".cab"))
    RegisterCabinet(window, path);
  else
    SetWindowTextW(StatusBox, L"ERROR:拖入不是.cab、.ocx、.dll文件！");
}
