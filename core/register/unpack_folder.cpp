#include "core/register/unpack_folder.h"

#include "platform/text.h"

UnpackFolder::~UnpackFolder() { CloseUnpackFolder(*this); }

void CloseUnpackFolder(UnpackFolder& folder) {
  if (folder.root != INVALID_HANDLE_VALUE) CloseHandle(folder.root);
  folder.root = INVALID_HANDLE_VALUE;
}

UnpackFolderStatus CreateUnpackFolder(UnpackFolder& folder, DWORD* error) {
  if (error) *error = 0;
  CloseUnpackFolder(folder);
  folder.ansi[0] = 0;
  folder.wide[0] = 0;
  const wchar_t* refusal = nullptr;
  const char* made = CreateUnpackDirectory(&refusal);
  if (!made) return refusal == UnpackRootRefusal ? UnpackFolderStatus::RootUnsafe
                                                 : UnpackFolderStatus::FolderTaken;
  if (!CopyText(folder.ansi, made)) return UnpackFolderStatus::Failed;
  MultiByteToWideChar(CP_ACP, 0, folder.ansi, -1, folder.wide, UnpackDirCapacity);
  return UnpackFolderStatus::Created;
}
