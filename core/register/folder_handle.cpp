#include "core/register/folder_handle.h"

#include <winternl.h>

#include <cwchar>

#include "platform/relative_open.h"

FolderOpen OpenInFolder(HANDLE parent, const wchar_t* name, size_t length, ACCESS_MASK access,
                        ULONG share, bool directory) {
  FolderOpen opened;
  // One name only: a separator would reach past the folder.
  if (length == 0 || length > 255 || wmemchr(name, L'\\', length) || wmemchr(name, L'/', length)) {
    opened.error = ERROR_INVALID_NAME;
    return opened;
  }
  const ULONG options = FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT |
                        (directory ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE);
  opened.handle = CreateRelative(parent, name, length, access, share, FILE_OPEN, options, nullptr,
                                 &opened.error);
  return opened;
}

bool FinalPathOf(HANDLE handle, wchar_t (&path)[FinalPathCapacity]) {
  DWORD length = GetFinalPathNameByHandleW(handle, path, FinalPathCapacity,
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= FinalPathCapacity) {
    path[0] = 0;
    return false;
  }
  return true;
}

bool IsPlainEntryOf(HANDLE handle, HANDLE volumeOf, const wchar_t* parentPath,
                    const wchar_t* name, size_t length, BY_HANDLE_FILE_INFORMATION& info) {
  BY_HANDLE_FILE_INFORMATION volume;
  if (!GetFileInformationByHandle(handle, &info) ||
      !GetFileInformationByHandle(volumeOf, &volume) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      info.dwVolumeSerialNumber != volume.dwVolumeSerialNumber)
    return false;
  // Where the handle really is: the parent's own final path, a separator and the name.
  wchar_t final[FinalPathCapacity];
  size_t parentLength = wcslen(parentPath);
  if (!FinalPathOf(handle, final) || wcslen(final) != parentLength + 1 + length) return false;
  return CompareStringOrdinal(final, static_cast<int>(parentLength), parentPath,
                              static_cast<int>(parentLength), TRUE) == CSTR_EQUAL &&
         final[parentLength] == L'\\' &&
         CompareStringOrdinal(final + parentLength + 1, static_cast<int>(length), name,
                              static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

const FILE_FULL_DIR_INFO* Listing::Next(DWORD* error) {
  *error = 0;
  for (;;) {
    if (entry_ && entry_->NextEntryOffset) {
      entry_ = reinterpret_cast<const FILE_FULL_DIR_INFO*>(
          reinterpret_cast<const BYTE*>(entry_) + entry_->NextEntryOffset);
    } else {
      if (!block_) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
      }
      FILE_INFO_BY_HANDLE_CLASS query = started_ ? FileFullDirectoryInfo : FileFullDirectoryRestartInfo;
      started_ = true;
      if (!GetFileInformationByHandleEx(directory_, query, block_.get(), Size)) {
        DWORD ended = GetLastError();
        if (ended != ERROR_NO_MORE_FILES) *error = ended;
        return nullptr;
      }
      entry_ = reinterpret_cast<const FILE_FULL_DIR_INFO*>(block_.get());
    }
    size_t length = entry_->FileNameLength / sizeof(wchar_t);
    const wchar_t* name = entry_->FileName;
    bool dots = (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
    if (!dots) return entry_;
  }
}

