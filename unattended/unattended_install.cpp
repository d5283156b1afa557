// /install: every file is checked before anything is done, then each control is registered
// and each cabinet unpacked and its controls registered, by the same code as a drop. The
// registrations are waited for (register/registration_wait), so the exit code tells the truth.
#include <windows.h>

#include <ctime>
#include <cwchar>

#include "unattended/exit_codes.h"
#include "unattended/unattended_steps.h"
#include "unattended/run_log.h"
#include "window/status_text.h"
#include "platform/text.h"
#include "core/register/cabinet.h"
#include "core/register/drop.h"
#include "core/register/register_control.h"

namespace {

struct Source {
  wchar_t path[DroppedPathCapacity];
  bool cabinet;
};

// Full path (regsvr32 runs in the system directory), readable, and a control or a cabinet by
// the same ending a drop goes by. 0, or the exit code of the first fault of its kind.
int CheckSource(const wchar_t* item, Source& source) {
  DWORD length = GetFullPathNameW(item, DroppedPathCapacity, source.path, nullptr);
  if (length == 0 || length >= DroppedPathCapacity) {
    LogEvent(L"check", item, Outcome::Failed, L"the path is too long or not valid",
             length ? ERROR_FILENAME_EXCED_RANGE : GetLastError());
    return ExitSourceUnreadable;
  }
  DWORD attributes = GetFileAttributesW(source.path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    LogEvent(L"check", source.path, Outcome::Failed, L"the file is not there", GetLastError());
    return ExitSourceUnreadable;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    LogEvent(L"check", source.path, Outcome::Failed, L"this is a folder, not a file");
    return ExitSourceUnreadable;
  }
  HANDLE file = CreateFileW(source.path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    LogEvent(L"check", source.path, Outcome::Failed, L"the file cannot be read", GetLastError());
    return ExitSourceUnreadable;
  }
  CloseHandle(file);
  source.cabinet = EndsWith(source.path, L".cab");
  if (!source.cabinet && !IsControl(source.path)) {
    LogEvent(L"check", source.path, Outcome::Failed,
             L"not a .cab, .ocx or .dll file (the ending counts in lower case, as for a drop)");
    return ExitNotAControl;
  }
  char ansi[AnsiPathCapacity];
  if (source.cabinet && !ConvertToAnsiPath(source.path, ansi, sizeof ansi)) {
    LogEvent(L"check", source.path, Outcome::Failed,
             L"the path holds characters that the ANSI code page cannot express, so the cabinet "
             L"interface cannot open it");
    return ExitSourceUnreadable;
  }
  return 0;
}

// Every cabinet gets a folder of its own: one made earlier in the same second (by this run or
// another) is not shared; the next second's is taken instead.
void WaitForFreshUnpackSecond() {
  for (int tries = 0; tries < 3; ++tries) {
    char folder[UnpackDirCapacity] = {};
    wchar_t wide[UnpackDirCapacity] = {};
    if (!FormatUnpackDirectory(_time64(nullptr), folder, sizeof folder)) return;
    MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, UnpackDirCapacity);
    if (GetFileAttributesW(wide) == INVALID_FILE_ATTRIBUTES) return;
    SYSTEMTIME now;
    GetSystemTime(&now);
    Sleep(1000 - now.wMilliseconds + 10);
  }
}

// The files the cabinet interface asked for, as the extraction listed them in StatusText
// (a heading line, then one path a line): each is there now, or its unpacking failed.
void LogUnpackedEntries() {
  const wchar_t* line = StatusText;
  const wchar_t* end = wcsstr(line, L"\r\n");
  while (end) {
    line = end + 2;
    end = wcsstr(line, L"\r\n");
    if (!end) break;
    // Each line is a destination path of the extraction, which holds at most 999 characters.
    wchar_t path[DroppedPathCapacity] = {};
    size_t length = static_cast<size_t>(end - line);
    if (length >= DroppedPathCapacity) continue;
    wmemcpy(path, line, length);
    bool there = GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
    LogEvent(L"unpack", path, there ? Outcome::Ok : Outcome::Failed, nullptr,
             there ? 0 : GetLastError());
  }
}

bool InstallCabinet(const wchar_t* path) {
  char ansi[AnsiPathCapacity] = {};
  ConvertToAnsiPath(path, ansi, sizeof ansi);  // checked with the sources
  WaitForFreshUnpackSecond();
  int failures = FailureCount();
  int extracted = ExtractCabinet(path, ansi);
  if (extracted) {
    wchar_t folder[8 + UnpackDirCapacity] = L"folder ";
    AppendText(folder, UnpackDir);
    LogEvent(L"unpack", path, Outcome::Info, folder);
    LogUnpackedEntries();
    if (!CabinetCopiedWhole)
      LogEvent(L"unpack", path, Outcome::Failed, L"the cabinet could not be unpacked whole");
  }
  bool registered = extracted && RegisterUnpackedControls(nullptr);
  if (extracted && !registered)
    LogEvent(L"register", path, Outcome::Failed, L"no control of the cabinet was registered");
  StatusTextReset(StatusTextInitial);
  return registered && CabinetCopiedWhole && FailureCount() == failures;
}

}  // namespace

int InstallFiles(wchar_t* const* files, int count) {
  auto* sources = static_cast<Source*>(
      HeapAlloc(GetProcessHeap(), 0, sizeof(Source) * static_cast<SIZE_T>(count)));
  if (!sources) {
    LogEvent(L"install", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    return ExitFatalError;
  }
  int fault = 0;
  for (int i = 0; i < count; ++i) {
    int checked = CheckSource(files[i], sources[i]);
    // A missing or unreadable file outranks one of the wrong kind.
    if (checked && (fault == 0 || checked == ExitSourceUnreadable)) fault = checked;
  }
  if (fault) {  // nothing was done
    HeapFree(GetProcessHeap(), 0, sources);
    return fault;
  }

  bool allInstalled = true;
  for (int i = 0; i < count; ++i) {
    const Source& source = sources[i];
    SetCurrentItem(source.path);
    int failures = FailureCount();
    bool installed = source.cabinet ? InstallCabinet(source.path)
                                    : RegisterControlFile(source.path, nullptr);
    installed = installed && FailureCount() == failures;
    LogEvent(L"install", source.path, installed ? Outcome::Ok : Outcome::Failed, nullptr);
    CountItem(installed);
    allInstalled = allInstalled && installed;
  }
  SetCurrentItem(nullptr);
  HeapFree(GetProcessHeap(), 0, sources);
  if (allInstalled) CleanUpUnpackFolders(UnpackDir);
  return allInstalled ? ExitSuccess : ExitFatalError;
}
