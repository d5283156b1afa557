#include "unattended/source_file.h"

#include <windows.h>

#include "core/register/cabinet.h"
#include "core/register/file_kind.h"
#include "unattended/exit_codes.h"
#include "unattended/run_log.h"
#include "platform/unique.h"

int CheckSourceFile(RunRecord& run, const wchar_t* item, SourceFile& source) {
  DWORD length = GetFullPathNameW(item, DroppedPathCapacity, source.path, nullptr);
  if (length == 0 || length >= DroppedPathCapacity) {
    LogEvent(run, L"check", item, Outcome::Failed, L"the path is too long or not valid",
             length ? ERROR_FILENAME_EXCED_RANGE : GetLastError());
    return ExitSourceUnreadable;
  }
  DWORD attributes = GetFileAttributesW(source.path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    LogEvent(run, L"check", source.path, Outcome::Failed, L"the file is not there", GetLastError());
    return ExitSourceUnreadable;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    LogEvent(run, L"check", source.path, Outcome::Failed, L"this is a folder, not a file");
    return ExitSourceUnreadable;
  }
  UniqueCreateFileHandle file(CreateFileW(source.path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    LogEvent(run, L"check", source.path, Outcome::Failed, L"the file cannot be read", GetLastError());
    return ExitSourceUnreadable;
  }
  file.reset();
  source.cabinet = IsCabinet(source.path);
  if (!source.cabinet && !IsControl(source.path)) {
    LogEvent(run, L"check", source.path, Outcome::Failed,
             L"not a .cab, .ocx or .dll file (the ending counts in any case, as for a drop)");
    return ExitPackageInvalid;
  }
  char ansi[AnsiPathCapacity];
  if (source.cabinet && !ConvertToAnsiPath(source.path, ansi, sizeof ansi)) {
    LogEvent(run, L"check", source.path, Outcome::Failed,
             L"the path holds characters that the ANSI code page cannot express, so the cabinet "
             L"interface cannot open it");
    return ExitSourceUnreadable;
  }
  if (!source.cabinet) return 0;
  switch (CheckCabinet(ansi)) {
    case CabinetCheck::Cabinet:
    case CabinetCheck::NoInterface:  // told by the install, which cannot start it either
      return 0;
    case CabinetCheck::TooLong:
      LogEvent(run, L"check", source.path, Outcome::Failed,
               L"path too long: the cabinet interface opens a cabinet whose path has at most "
               L"255 bytes in the ANSI code page");
      return ExitSourceUnreadable;
    case CabinetCheck::Unreadable:
      LogEvent(run, L"check", source.path, Outcome::Failed, L"the file cannot be read");
      return ExitSourceUnreadable;
    case CabinetCheck::NotACabinet:
      break;
  }
  LogEvent(run, L"check", source.path, Outcome::Failed,
           L"the package could not be opened: the file is not a cabinet");
  return ExitPackageInvalid;
}
