#include "core/register/unpack_folder.h"

#include <ctime>

#include "platform/text.h"

namespace {

// Names tried after the first before giving up: a folder of each would have to exist
// already, which only an administrator can make below a protected root.
constexpr int FolderAttempts = 10000;

// The number after the last folder this process made, as seconds: cabinets that come faster
// than one a second start there rather than walking past every folder made before.
long long NextAfterLastMade = 0;

void Close(HANDLE& handle) {
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = INVALID_HANDLE_VALUE;
}

UnpackFolderStatus Fail(UnpackFolder& folder, UnpackFolderStatus status, DWORD code,
                        DWORD* error) {
  Close(folder.folder);
  Close(folder.root);
  folder.ansi[0] = 0;
  folder.wide[0] = 0;
  if (error) *error = code;
  return status;
}

}  // namespace

UnpackFolder::~UnpackFolder() { CloseUnpackFolder(*this); }

void CloseUnpackFolder(UnpackFolder& folder) {
  Close(folder.folder);
  Close(folder.root);
}

UnpackFolderStatus CreateUnpackFolder(UnpackFolder& folder, DWORD* error) {
  if (error) *error = 0;
  CloseUnpackFolder(folder);
  folder.ansi[0] = 0;
  folder.wide[0] = 0;
  folder.movedAside[0] = 0;

  // The root without its trailing slash: the name of the directory itself.
  wchar_t root[UnpackDirCapacity] = L"";
  if (!MultiByteToWideChar(CP_ACP, 0, UnpackRoot, -1, root, UnpackDirCapacity))
    return Fail(folder, UnpackFolderStatus::Failed, GetLastError(), error);
  root[TextLength(root) - 1] = 0;
  // Backslashes: the name a moved-aside root gets is built from it as an NT path.
  for (wchar_t* c = root; *c; ++c)
    if (*c == L'/') *c = L'\\';

  DWORD code = 0;
  switch (HoldUnpackRoot(root, &folder.root, folder.movedAside, MovedAsideCapacity, &code)) {
    case UnpackRootStatus::Held: break;
    case UnpackRootStatus::Unsafe: return Fail(folder, UnpackFolderStatus::RootUnsafe, code, error);
    case UnpackRootStatus::Failed: return Fail(folder, UnpackFolderStatus::Failed, code, error);
  }

  // The folder gets the root's descriptor itself, so that it does not depend on what the
  // root passes on.
  PSECURITY_DESCRIPTOR descriptor = BuildUnpackRootSecurity();
  if (!descriptor) return Fail(folder, UnpackFolderStatus::Failed, GetLastError(), error);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  long long seconds = _time64(nullptr);
  if (NextAfterLastMade > seconds) seconds = NextAfterLastMade;
  code = ERROR_ALREADY_EXISTS;
  for (int step = 0; step < FolderAttempts; ++step) {
    char ansi[UnpackDirCapacity];
    wchar_t wide[UnpackDirCapacity];
    if (!FormatUnpackDirectory(seconds + step, ansi, sizeof ansi) ||
        !MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, UnpackDirCapacity)) {
      code = ERROR_BUFFER_OVERFLOW;
      break;
    }
    // Creation is the test of newness: a folder that exists, whoever made it and whatever
    // it holds, is never used.
    if (!CreateDirectoryW(wide, &attributes)) {
      code = GetLastError();
      if (code == ERROR_ALREADY_EXISTS) continue;
      break;
    }
    // Listing access: an open for attributes alone takes no part in sharing, and would not
    // keep the folder from being renamed.
    folder.folder = CreateFileW(wide, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder.folder == INVALID_HANDLE_VALUE) {
      code = GetLastError();
      break;
    }
    LocalFree(descriptor);
    NextAfterLastMade = seconds + step + 1;
    CopyText(folder.ansi, ansi);
    CopyText(folder.wide, wide);
    return UnpackFolderStatus::Created;
  }
  LocalFree(descriptor);
  return Fail(folder, UnpackFolderStatus::Failed, code, error);
}
