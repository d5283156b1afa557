#include "core/register/unpack_folder.h"

#include <winternl.h>

#include <cstdint>
#include <ctime>

#include "core/register/cabinet.h"
#include "platform/admin_only.h"
#include "platform/relative_open.h"
#include "platform/text.h"

namespace {

// Names tried after the first before giving up: a folder of each would have to exist
// already, which only an administrator can make below a protected root.
constexpr int FolderAttempts = 10000;

UnpackFolderStatus Fail(UnpackFolder& folder, UnpackFolderStatus status, DWORD code,
                        DWORD* error) {
  CloseUnpackFolder(folder);
  folder.ansi[0] = 0;
  folder.wide[0] = 0;
  if (error) *error = code;
  return status;
}

// The number of a folder name made of an optional '-' and one to ten digits.
bool FolderNumber(const wchar_t* name, size_t length, int32_t* number) {
  size_t i = length && name[0] == L'-' ? 1 : 0;
  if (length == i || length - i > 10) return false;
  long long value = 0;
  for (size_t k = i; k < length; ++k) {
    if (name[k] < L'0' || name[k] > L'9') return false;
    value = value * 10 + (name[k] - L'0');
  }
  if (i) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return false;
  *number = static_cast<int32_t>(value);
  return true;
}

// The first number to try: this second's, or one past the highest folder in the root when
// that is higher. Folder numbers are the low 32 bits of the seconds read as signed, and are
// compared that way.
long long FirstNumber(HANDLE root) {
  int32_t now = static_cast<int32_t>(static_cast<uint32_t>(_time64(nullptr)));
  int32_t highest = now - 1;
  alignas(8) BYTE buffer[8192];
  FILE_INFO_BY_HANDLE_CLASS kind = FileFullDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(root, kind, buffer, sizeof buffer)) {
    kind = FileFullDirectoryInfo;
    for (auto* entry = reinterpret_cast<FILE_FULL_DIR_INFO*>(buffer);;
         entry = reinterpret_cast<FILE_FULL_DIR_INFO*>(reinterpret_cast<BYTE*>(entry) +
                                                        entry->NextEntryOffset)) {
      int32_t number;
      if ((entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          FolderNumber(entry->FileName, entry->FileNameLength / sizeof(wchar_t), &number) &&
          number > highest)
        highest = number;
      if (!entry->NextEntryOffset) break;
    }
  }
  return static_cast<long long>(highest) + 1;
}

// The root without its trailing slash, with backslashes: the name a moved-aside root gets is
// built from it as an NT path.
bool RootName(wchar_t (&root)[UnpackDirCapacity]) {
  if (!MultiByteToWideChar(CP_ACP, 0, UnpackRoot, -1, root, UnpackDirCapacity)) return false;
  root[TextLength(root) - 1] = 0;
  for (wchar_t* c = root; *c; ++c)
    if (*c == L'/') *c = L'\\';
  return true;
}

}  // namespace

UnpackFolder::~UnpackFolder() { CloseUnpackFolder(*this); }

void CloseUnpackFolder(UnpackFolder& folder) {
  folder.folder.reset();
  folder.root.reset();
}

UnpackFolderStatus CreateUnpackFolder(UnpackFolder& folder, DWORD* error) {
  if (error) *error = 0;
  CloseUnpackFolder(folder);
  folder.ansi[0] = 0;
  folder.wide[0] = 0;
  folder.movedAside[0] = 0;

  wchar_t root[UnpackDirCapacity] = L"";
  if (!RootName(root)) return Fail(folder, UnpackFolderStatus::RootFailed, GetLastError(), error);
  DWORD code = 0;
  switch (HoldUnpackRoot(root, folder.root, folder.movedAside, MovedAsideCapacity, &code)) {
    case UnpackRootStatus::Held: break;
    case UnpackRootStatus::Unsafe: return Fail(folder, UnpackFolderStatus::RootUnsafe, code, error);
    case UnpackRootStatus::Failed: return Fail(folder, UnpackFolderStatus::RootFailed, code, error);
  }

  // The folder gets the root's descriptor itself, so that it does not depend on what the
  // root passes on.
  UniqueSecurityDescriptor descriptor = MakeSecurityDescriptor(AdminsOnlyFolderSddl);
  if (!descriptor) return Fail(folder, UnpackFolderStatus::Failed, GetLastError(), error);
  long long first = FirstNumber(folder.root.get());
  UnpackFolderStatus status = UnpackFolderStatus::NamesTaken;
  code = ERROR_ALREADY_EXISTS;
  for (int step = 0; step < FolderAttempts; ++step) {
    char ansi[UnpackDirCapacity];
    wchar_t wide[UnpackDirCapacity];
    if (!FormatUnpackDirectory(first + step, ansi, sizeof ansi) ||
        !MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, UnpackDirCapacity)) {
      status = UnpackFolderStatus::Failed;
      code = ERROR_BUFFER_OVERFLOW;
      break;
    }
    // The folder's own name: the part behind the root, without the closing slash.
    wchar_t name[UnpackDirCapacity];
    CopyText(name, wide + TextLength(root) + 1);
    name[TextLength(name) - 1] = 0;
    // Creation is the test of newness: a folder that exists, whoever made it and whatever it
    // holds, is never used. The handle comes from the creation itself, with listing access
    // (an open for attributes alone takes no part in sharing, and would not keep the folder
    // from being renamed).
    folder.folder = CreateRelative(folder.root.get(), name, TextLength(name),
                                   FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
                                   FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, descriptor.get(),
                                   &code);
    if (folder.folder) {
      CopyText(folder.ansi, ansi);
      CopyText(folder.wide, wide);
      return UnpackFolderStatus::Created;
    }
    if (code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS) {
      status = UnpackFolderStatus::Failed;
      break;
    }
  }
  return Fail(folder, status, code, error);
}
