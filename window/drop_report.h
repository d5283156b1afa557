// The report of one drop, as StatusBox shows it: a control's two lines, or a cabinet's growing
// list in StatusText; for a control that did not load for want of a library, one more line
// naming it. Everything here runs on the window's thread, except NoteMissingLibrary.
#pragma once
#include <windows.h>

#include "core/diagnose/pe_imports.h"
#include "core/diagnose/runtimes.h"
#include "core/register/cabinet.h"
#include "core/register/drop.h"
#include "window/failure_text.h"

// A cabinet's part of the report; its text is StatusText.
struct CabinetReport {
  HWND window;             // owner of the boxes
  const wchar_t* path;     // the dropped cabinet
  bool registeredHeading;  // "注册成功文件列表:" is in StatusText
};
// Shows one event of a cabinet's work; always answers "go on".
bool ReportCabinetProgress(void* report, const Progress& progress);

// "\r\n缺少依赖文件：", a library's name and a runtime's hint, terminated.
constexpr size_t MissingLineCapacity = 9 + ImportNameCapacity + RuntimeHintCapacity;

struct DropReport {
  HWND owner;  // owner of the boxes
  wchar_t path[DroppedPathCapacity];
  CabinetReport cabinet;
  // The line naming the first library found missing, or empty. Written on the job's thread
  // before the event that tells the control's failure is relayed, read after it.
  wchar_t missing[MissingLineCapacity];
};

// Starts the report of a drop of path (under DroppedPathCapacity characters).
void BeginDropReport(DropReport& report, HWND owner, const wchar_t* path);
// On the job's thread, for a control that did not load: the first library it imports that is
// found nowhere, unless a line names one already.
void NoteMissingLibrary(DropReport& report, const wchar_t* control,
                        const RegistrationResult& result);
// A single control's end: its box when it failed, then its two lines (and the missing line).
void FinishControlReport(const DropReport& report, const RegistrationResult& result);
// A cabinet's end: the status line (and the missing line) behind the list, shown whole, and
// StatusText ready for the next cabinet; a cabinet that could not be unpacked is told in boxes.
void FinishCabinetReport(DropReport& report, const CabinetResult& result);
