// The path is walked from its root down: each folder is opened without following a link,
// checked, and held until the file is open. A held folder cannot be renamed, deleted or
// replaced by a link (its handle shares no deletion), so what was checked is what the file is
// opened in.
#include "unattended/log_file.h"

#include <winternl.h>

#include <cwchar>
#include <utility>

#include "platform/admin_only.h"
#include "platform/relative_open.h"
#include "platform/text.h"
#include "platform/unique.h"

namespace {

constexpr int MaxDepth = 128;
const wchar_t LinkReason[] = L"the log path leads through a link or junction; nothing is written there";
struct HeldFolders {
  UniqueCreateFileHandle held[MaxDepth];
  int count = 0;
};

// The part of a full path that is not checked, because no user can replace it: "C:\", or
// "\\server\share\". 0: a form the log does not take (a device, "\\?\" or "\\.\").
size_t RootLength(const wchar_t* full) {
  if (full[0] && full[1] == L':' && full[2] == L'\\') return 3;
  if (full[0] != L'\\' || full[1] != L'\\' || full[2] == L'?' || full[2] == L'.') return 0;
  int separators = 0;
  for (size_t i = 2; full[i]; ++i)
    if (full[i] == L'\\' && ++separators == 2) return i + 1;
  return 0;
}

// Windows opens a link itself (FILE_FLAG_OPEN_REPARSE_POINT) and shows its attribute on the
// handle; Wine opens the target of a Unix symbolic link and shows the link by its name only.
// Either shows it; the name is looked at while the handle is held, so it is the same object.
bool NameIsReparsePoint(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// FILE_LIST_DIRECTORY takes part in the sharing check, which an open for attributes alone
// does not: without FILE_SHARE_DELETE nobody may then rename or delete the folder.
HANDLE OpenFolder(const wchar_t* path) {
  return CreateFileW(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool CreateProtectedFolder(const wchar_t* path) {
  // As the unpack root: only administrators and SYSTEM may write, users may read.
  UniqueSecurityDescriptor descriptor = MakeSecurityDescriptor(AdminsOnlyFolderSddl);
  if (!descriptor) return false;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.get(), FALSE};
  return CreateDirectoryW(path, &attributes) || GetLastError() == ERROR_ALREADY_EXISTS;
}

LogFileOpening Refused(const wchar_t* reason, DWORD error = 0) {
  LogFileOpening opening;
  opening.reason = reason;
  opening.error = error;
  return opening;
}

// Opens and holds every folder above the file, creating the missing ones.
LogFileOpening HoldFolders(const wchar_t* full, HeldFolders& folders) {
  size_t root = RootLength(full);
  if (root == 0) return Refused(L"the log path must be a file on a drive or a share");
  wchar_t folder[LogPathCapacity] = {};
  if (!CopyText(folder, full)) return Refused(L"the log path is too long", ERROR_FILENAME_EXCED_RANGE);
  size_t length = TextLength(folder);
  for (size_t i = root; i < length; ++i) {
    if (folder[i] != L'\\') continue;
    if (folders.count == MaxDepth) return Refused(L"the log path has too many folders");
    folder[i] = 0;
    UniqueCreateFileHandle handle(OpenFolder(folder));
    if (!handle) {
      DWORD error = GetLastError();
      if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        return Refused(L"a folder of the log path cannot be opened", error);
      if (NameIsReparsePoint(folder)) return Refused(LinkReason);  // a link to nowhere
      if (!CreateProtectedFolder(folder))
        return Refused(L"a folder of the log path cannot be created", GetLastError());
      handle.reset(OpenFolder(folder));
      if (!handle)
        return Refused(L"a folder of the log path cannot be opened", GetLastError());
    }
    HANDLE held = handle.get();
    folders.held[folders.count++] = std::move(handle);
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(held, &info))
      return Refused(L"a folder of the log path cannot be opened", GetLastError());
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || NameIsReparsePoint(folder))
      return Refused(LinkReason);
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return Refused(L"a folder of the log path is a file", ERROR_DIRECTORY);
    folder[i] = L'\\';
  }
  return LogFileOpening();
}

// A file that is over the bound is renamed aside, within its held folder: it is opened relative
// to the folder's handle, checked, and renamed through its own handle to a name in that same
// folder, so neither a folder renamed meanwhile nor a link decides what moves where. A run that
// has it open keeps it (its handle shares no deletion), and it is renamed by a later run.
void RotateIfOver(HANDLE parent, const wchar_t* full, unsigned long long bound, const wchar_t* oldPath) {
  const wchar_t* name = wcsrchr(full, L'\\') + 1;
  const wchar_t* oldName = wcsrchr(oldPath, L'\\');
  const int folderLength = static_cast<int>(name - full);
  if (!oldName || oldName + 1 - oldPath != folderLength ||
      CompareStringOrdinal(full, folderLength, oldPath, folderLength, TRUE) != CSTR_EQUAL)
    return;  // the old log belongs beside the log, nowhere else
  ++oldName;
  DWORD error = 0;
  UniqueCreateFileHandle file =
      CreateRelative(parent, name, TextLength(name), DELETE | FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
                     FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, nullptr, &error);
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!file || !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
      info.nNumberOfLinks != 1 ||
      ((static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow) <= bound)
    return;
  RenameRelative(file.get(), parent, oldName, TextLength(oldName), true, &error);
}

// The opened file is the entry of the held parent folder that full names: Wine opens the target
// of a Unix symbolic link to a file and shows no reparse point for it, but the file's final
// path is then the target's. Where the system cannot tell the final paths, the handle's own
// attributes decide (Windows opened a link itself).
bool OpenedWhereNamed(HANDLE file, HANDLE parent, const wchar_t* full) {
  wchar_t opened[LogPathCapacity + 16] = {}, folder[LogPathCapacity + 16] = {};
  DWORD length = GetFinalPathNameByHandleW(file, opened, LogPathCapacity + 16, FILE_NAME_NORMALIZED);
  DWORD folderLength = GetFinalPathNameByHandleW(parent, folder, LogPathCapacity + 16, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= LogPathCapacity + 16 || folderLength == 0 || folderLength >= LogPathCapacity + 16)
    return true;
  if (!EndsWith(folder, L"\\") && !AppendText(folder, L"\\")) return true;
  const wchar_t* name = wcsrchr(full, L'\\') + 1;
  if (!AppendText(folder, name)) return false;
  return CompareStringOrdinal(opened, -1, folder, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

bool ExpandLogPath(const wchar_t* given, wchar_t (&full)[LogPathCapacity], const wchar_t** reason,
                   DWORD* error) {
  full[0] = 0;
  *reason = nullptr;
  *error = 0;
  wchar_t expanded[LogPathCapacity] = {};
  DWORD length = ExpandEnvironmentStringsW(given, expanded, LogPathCapacity);
  if (length == 0 || length > LogPathCapacity) {
    *reason = L"the log path is too long";
    *error = length ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
    return false;
  }
  // A %NAME% that is left names a variable that is not set: never a folder named so.
  for (const wchar_t* open = wcschr(expanded, L'%'); open; open = wcschr(open + 1, L'%')) {
    const wchar_t* close = wcschr(open + 1, L'%');
    if (!close) break;
    if (close > open + 1) {
      *reason = L"the log path names an environment variable that is not set";
      *error = ERROR_ENVVAR_NOT_FOUND;
      return false;
    }
    open = close;  // "%%" names nothing
  }
  length = GetFullPathNameW(expanded, LogPathCapacity, full, nullptr);
  if (length == 0 || length >= LogPathCapacity) {
    full[0] = 0;
    *reason = L"the log path is too long or not valid";
    *error = length ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
    return false;
  }
  return true;
}

LogFileOpening OpenLogFile(const wchar_t* full, unsigned long long rotateOver, const wchar_t* oldPath) {
  HeldFolders folders;
  LogFileOpening held = HoldFolders(full, folders);
  if (held.reason) return held;
  if (EndsWith(full, L"\\")) return Refused(L"the log path names a folder, not a file");

  // A file at the root of a drive: its folder is opened for the checks alone.
  UniqueCreateFileHandle rootFolder;
  wchar_t root[4] = {full[0], full[1], full[2], 0};
  if (!folders.count && RootLength(full) == 3) rootFolder.reset(OpenFolder(root));
  HANDLE parent = folders.count ? folders.held[folders.count - 1].get() : rootFolder.get();

  DWORD attributes = GetFileAttributesW(full);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Refused(LinkReason);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Refused(L"the log path names a folder, not a file");
    if (rotateOver && oldPath && parent != INVALID_HANDLE_VALUE) {
      RotateIfOver(parent, full, rotateOver, oldPath);
      attributes = GetFileAttributesW(full);
    }
  }
  // A new file only where there was none: never through a link that appeared meanwhile.
  DWORD disposition = attributes == INVALID_FILE_ATTRIBUTES ? CREATE_NEW : OPEN_EXISTING;
  UniqueCreateFileHandle owned(CreateFileW(full, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  HANDLE file = owned.get();
  if (!owned) {
    DWORD error = GetLastError();
    // Nothing was there a moment ago: a link to nowhere (which Wine shows as nothing), or a
    // file made meanwhile. Neither is written through.
    if (disposition == CREATE_NEW && error == ERROR_FILE_EXISTS) return Refused(LinkReason, error);
    return Refused(L"the log file cannot be opened", error);
  }
  LogFileOpening opening;
  BY_HANDLE_FILE_INFORMATION info = {};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    opening.reason = L"the log path is no plain file";
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || NameIsReparsePoint(full) ||
             (parent != INVALID_HANDLE_VALUE && !OpenedWhereNamed(file, parent, full))) {
    opening.reason = LinkReason;
  } else if (info.nNumberOfLinks > 1) {
    // A hard link: another name of a file that may be the system's.
    opening.reason = L"the log file has other names (hard links); nothing is written there";
  }
  if (!opening.reason) opening.file = std::move(owned);
  return opening;
}
