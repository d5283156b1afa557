// Unpacking a dropped cabinet into a fresh directory under UnpackRoot.
#include "register/cabinet.h"

#include "common/globals.h"
#include "common/status_text.h"
#include "common/text.h"
#include "register/cabinet_callbacks.h"

char UnpackDirAnsi[UnpackDirCapacity] = "";
wchar_t UnpackDir[UnpackDirCapacity] = L"";

namespace {
ERF FdiError;  // filled in by the interface; the program reports failures its own way
}

void SplitCabinetPath(char* path, char* name, size_t nameCap) {
  if (nameCap) name[0] = 0;
  char* lastBackslash = nullptr;
  for (char* p = path; *p; ++p) {
    if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
      ++p;  // a trail byte may have the value of a backslash
      continue;
    }
    if (*p == '\\') lastBackslash = p;
  }
  // The interface opens the path followed by the name, so the same file is opened whether or
  // not a name could be split off.
  if (!lastBackslash || !CopyText(name, nameCap, lastBackslash + 1)) return;
  lastBackslash[1] = 0;
}

int ExtractCabinet(const wchar_t* widePath, char* ansiPath) {
  CabinetStatusWindow = StatusBox;
  // Every change of a visible multi-line edit box redraws its scroll bar at once; nothing is
  // painted while the extraction runs, so the box is hidden meanwhile and shown again, with
  // the same text, before any message box.
  HWND shownBox = IsWindowVisible(CabinetStatusWindow) ? CabinetStatusWindow : nullptr;
  if (shownBox) ShowWindow(shownBox, SW_HIDE);

  char cabinetName[AnsiPathCapacity] = {};
  SplitCabinetPath(ansiPath, cabinetName, sizeof cabinetName);

  if (!CopyText(UnpackDirAnsi, UnpackDirCapacity, CreateUnpackDirectory())) UnpackDirAnsi[0] = 0;
  UnpackDir[0] = 0;
  MultiByteToWideChar(CP_ACP, 0, UnpackDirAnsi, -1, UnpackDir, UnpackDirCapacity);

  StatusTextAppend(widePath);
  StatusTextAppend(L"\r\n新建文件夹:");
  StatusTextAppend(UnpackDir);
  StatusTextAppend(L"\r\n");
  SetWindowTextW(CabinetStatusWindow, L"");
  SetWindowTextW(CabinetStatusWindow, StatusText);

  // The list of unpacked files; shown with the first entry.
  StatusTextReset(L"解压文件列表:\r\n");
  ForgetStatusWindowContent();

  HFDI context = FDICreate(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek,
                           cpu80386, &FdiError);
  if (context) {
    BOOL copied = FDICopy(context, cabinetName, ansiPath, 0, CabinetNotify, nullptr, nullptr);
    BOOL destroyed = FDIDestroy(context);
    if (shownBox) ShowWindow(shownBox, SW_SHOW);
    // A copy that stopped part way is not reported: what was unpacked gets registered.
    if (copied || destroyed) return 1;
  } else {
    if (shownBox) ShowWindow(shownBox, SW_SHOW);
    MessageBoxW(CabinetStatusWindow, L"", L"", MB_OK);
  }
  MessageBoxW(CabinetStatusWindow, L"error", L"", MB_OK);
  return 0;
}
