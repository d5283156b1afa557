// The window's drop: a control is registered, a cabinet unpacked and each of its controls
// registered, each registration waited for; the report goes to StatusBox and each failed
// control is told in a message box.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include "core/register/drop.h"

// Handles a WM_DROPFILES on MainWindow: only the first file, only in the register view.
// window owns any message box raised on the way.
void HandleDroppedFile(HWND window, HDROP drop);
// The same for a path given otherwise (the file the program was opened with), in the register
// view only; a path of DroppedPathCapacity characters or more is refused as a dropped one is.
void HandleDroppedPath(HWND window, const wchar_t* path);

// The drop's work runs on a worker thread; the window keeps answering meanwhile. While it
// runs, another drop and the view tabs are refused.
bool DropInProgress();
// WM_CLOSE of the main window: true (close put off) while a drop runs. The close takes effect
// when the drop ends, so that no registration is cut off and no report is left half written.
bool DeferCloseDuringDrop();

// The report of a cabinet drop as its work goes on: the new folder, the growing list of
// unpacked files, then each control registered (or a box for each that failed). Runs on the
// window's thread; always asks the work to go on.
struct Progress;
struct CabinetResult;
struct CabinetReport {
  HWND window;          // owner of the boxes
  const wchar_t* path;  // the dropped cabinet
  bool registeredHeading;  // "注册成功文件列表:" is in StatusText
};
bool ReportCabinetProgress(void* report, const Progress& progress);
// A cabinet that could not be unpacked, told in its message boxes; false when it was unpacked.
bool TellUnpackFailure(const CabinetResult& result);
