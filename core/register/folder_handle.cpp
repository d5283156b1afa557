#include "core/register/folder_handle.h"

#include <winternl.h>

#include <cwchar>

namespace {

// CreateOptions and the disposition of NtCreateFile, as documented for it.
constexpr ULONG OpenExisting = 1;                 // FILE_OPEN
constexpr ULONG DirectoryFile = 0x00000001;       // FILE_DIRECTORY_FILE
constexpr ULONG SynchronousIo = 0x00000020;       // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG NonDirectoryFile = 0x00000040;    // FILE_NON_DIRECTORY_FILE
constexpr ULONG BackupIntent = 0x00004000;        // FILE_OPEN_FOR_BACKUP_INTENT
constexpr ULONG OpenReparsePoint = 0x00200000;    // FILE_OPEN_REPARSE_POINT
constexpr ULONG CaseInsensitive = 0x00000040;     // OBJ_CASE_INSENSITIVE

using CreateFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                        PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG,
                                        ULONG, PVOID, ULONG);
using StatusToErrorCall = ULONG(NTAPI*)(NTSTATUS);

// ntdll is in every process from its start; its functions are looked up, not imported.
template <typename Call>
Call NtdllFunction(const char* name) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll ? reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(ntdll, name)))
               : nullptr;
}

}  // namespace

FolderOpen OpenInFolder(HANDLE parent, const wchar_t* name, size_t length, ACCESS_MASK access,
                        ULONG share, bool directory) {
  FolderOpen opened;
  // Looked up on each call: a cached function-local static would need the runtime's
  // thread-safe initialisation, which brings its exception support into the program.
  const auto create = NtdllFunction<CreateFileCall>("NtCreateFile");
  const auto toError = NtdllFunction<StatusToErrorCall>("RtlNtStatusToDosError");
  if (!create || !toError) {
    opened.error = ERROR_PROC_NOT_FOUND;
    return opened;
  }
  // One name only: a separator would reach past the folder.
  if (length == 0 || length > 255 || wmemchr(name, L'\\', length) || wmemchr(name, L'/', length)) {
    opened.error = ERROR_INVALID_NAME;
    return opened;
  }
  UNICODE_STRING text;
  text.Buffer = const_cast<wchar_t*>(name);
  text.Length = static_cast<USHORT>(length * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, CaseInsensitive, parent, nullptr);
  IO_STATUS_BLOCK io = {};
  HANDLE handle = nullptr;
  ULONG options = SynchronousIo | OpenReparsePoint | BackupIntent |
                  (directory ? DirectoryFile : NonDirectoryFile);
  NTSTATUS status = create(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, share,
                           OpenExisting, options, nullptr, 0);
  if (status < 0) {
    opened.error = toError(status);
    return opened;
  }
  opened.handle.reset(handle);
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

