// Unpacking a dropped cabinet into a fresh directory under UnpackRoot.
#include "core/register/cabinet.h"

#include "window/globals.h"
#include "window/message.h"
#include "window/status_text.h"
#include "platform/text.h"
#include "core/register/cabinet_callbacks.h"
#include "core/register/cabinet_library.h"
#include "window/status_box.h"

char UnpackDirAnsi[UnpackDirCapacity] = "";
wchar_t UnpackDir[UnpackDirCapacity] = L"";
bool CabinetCopiedWhole = false;

namespace {
ERF FdiError;  // filled in by the interface; the program reports failures its own way

constexpr wchar_t UnpackedListHeading[] = L"解压文件列表:\r\n";
}  // namespace

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
  CabinetCopiedWhole = false;
  HWND statusWindow = StatusBox;

  char cabinetName[CabinetNameCapacity] = {};
  SplitCabinetPath(ansiPath, cabinetName, sizeof cabinetName);

  const wchar_t* refusal = nullptr;
  const char* directory = CreateUnpackDirectory(&refusal);
  if (!directory) {
    // Nothing is unpacked into a folder that others may have prepared.
    ShowMessage(MainWindow, refusal, L"ERROR", MB_OK);
    return 0;
  }
  if (!CopyText(UnpackDirAnsi, UnpackDirCapacity, directory)) UnpackDirAnsi[0] = 0;
  UnpackDir[0] = 0;
  MultiByteToWideChar(CP_ACP, 0, UnpackDirAnsi, -1, UnpackDir, UnpackDirCapacity);

  StatusTextAppend(widePath);
  StatusTextAppend(L"\r\n新建文件夹:");
  StatusTextAppend(UnpackDir);
  StatusTextAppend(L"\r\n");
  SetWindowTextW(statusWindow, L"");
  SetWindowTextW(statusWindow, StatusText);

  // The list of unpacked files, one line per entry; shown as it grows.
  StatusTextReset(UnpackedListHeading);
  BeginUnpackedList(statusWindow);

  // A cabinet library that cannot be loaded is handled as an interface that cannot start.
  const CabinetFunctions* cabinet = CabinetLibrary();
  HFDI context = !cabinet ? nullptr
                          : cabinet->create(CabAlloc, CabFree, CabOpen, CabRead, CabWrite,
                                            CabClose, CabSeek, cpu80386, &FdiError);
  if (!context) {
    ShowMessage(statusWindow, L"", L"", MB_OK);
    ShowMessage(statusWindow, L"error", L"", MB_OK);
    return 0;
  }
  BOOL copied = cabinet->copy(context, cabinetName, ansiPath, 0, CabinetNotify, nullptr, nullptr);
  // A copy that stopped part way leaves no cut file under an entry's name.
  DiscardUnfinishedEntry();
  BOOL destroyed = cabinet->destroy(context);
  CabinetCopiedWhole = copied != FALSE;
  ShowUnpackedList();
  // A copy that stopped part way is not reported: what was unpacked gets registered.
  if (copied || destroyed) return 1;
  ShowMessage(statusWindow, L"error", L"", MB_OK);
  return 0;
}
