#include "platform/relative_open.h"

#include <winternl.h>

#include <cwchar>
#include <iterator>

namespace {

using NtCreateFileFunction = decltype(&NtCreateFile);
using StatusToErrorFunction = decltype(&RtlNtStatusToDosError);
using SetInformationFunction = decltype(&NtSetInformationFile);

// FILE_RENAME_INFORMATION as documented for ZwSetInformationFile, with room for the longest
// name a folder holds.
struct RenameInformation {
  BOOLEAN replaceIfExists;
  HANDLE rootDirectory;
  ULONG fileNameLength;
  WCHAR fileName[256];
};

// ntdll is in every process from its start; its functions are looked up, not imported. Looked
// up on each call: a cached function-local static would need the runtime's thread-safe
// initialisation, which brings its exception support into the program.
template <typename Function>
Function Ntdll(const char* name) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(ntdll, name)))
               : nullptr;
}

}  // namespace

UniqueCreateFileHandle CreateRelative(HANDLE directory, const wchar_t* name, size_t length,
                                      ACCESS_MASK access, ULONG share, ULONG disposition,
                                      ULONG options, PSECURITY_DESCRIPTOR security, DWORD* error) {
  *error = 0;
  const auto create = Ntdll<NtCreateFileFunction>("NtCreateFile");
  const auto toError = Ntdll<StatusToErrorFunction>("RtlNtStatusToDosError");
  if (!create || !toError) {
    *error = ERROR_PROC_NOT_FOUND;
    return UniqueCreateFileHandle();
  }
  if (length == 0 || length * sizeof(wchar_t) > 0xFFFE) {
    *error = ERROR_INVALID_NAME;
    return UniqueCreateFileHandle();
  }
  UNICODE_STRING text;
  text.Buffer = const_cast<wchar_t*>(name);
  text.Length = static_cast<USHORT>(length * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, directory, security);
  IO_STATUS_BLOCK io = {};
  HANDLE handle = nullptr;
  NTSTATUS status = create(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr,
                           FILE_ATTRIBUTE_NORMAL, share, disposition,
                           options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  // NtCreateFile leaves null, not INVALID_HANDLE_VALUE, when it fails: no handle is taken then.
  if (status < 0) {
    *error = toError(status);
    return UniqueCreateFileHandle();
  }
  return UniqueCreateFileHandle(handle);
}

bool RenameRelative(HANDLE file, HANDLE directory, const wchar_t* name, size_t length, bool replace,
                    DWORD* error) {
  *error = 0;
  const auto set = Ntdll<SetInformationFunction>("NtSetInformationFile");
  const auto toError = Ntdll<StatusToErrorFunction>("RtlNtStatusToDosError");
  if (!set || !toError) {
    *error = ERROR_PROC_NOT_FOUND;
    return false;
  }
  RenameInformation rename = {};
  if (length == 0 || length > std::size(rename.fileName)) {
    *error = ERROR_INVALID_NAME;
    return false;
  }
  rename.replaceIfExists = replace;
  rename.rootDirectory = directory;
  rename.fileNameLength = static_cast<ULONG>(length * sizeof(wchar_t));
  wmemcpy(rename.fileName, name, length);
  IO_STATUS_BLOCK io = {};
  NTSTATUS status = set(file, &io, &rename, sizeof rename, FileRenameInformation);
  if (status < 0) {
    *error = toError(status);
    return false;
  }
  return true;
}
