// Naming and creating the directory that one cabinet is unpacked into.
#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "platform/text.h"
#include "core/register/cabinet.h"
#include "core/register/unpack_folder.h"

bool FormatUnpackDirectory(long long seconds, char* out, size_t cap) {
  // The low 32 bits read as signed: from 2038-01-19 03:14:08 UTC on the number is negative.
  int32_t number = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(seconds)));
  char digits[12] = {};
  _itoa(number, digits, 10);
  if (cap == 0) return false;
  out[0] = 0;
  if (CopyText(out, cap, UnpackRoot) && AppendText(out, cap, digits) && AppendText(out, cap, "/"))
    return true;
  out[0] = 0;
  return false;
}

const wchar_t UnpackRootRefusal[] =
    L"解压文件夹C:/VornActiveX/不安全（不是普通文件夹，或不属于管理员），未解压！";
const wchar_t UnpackDirectoryRefusal[] =
    L"解压文件夹已被其他程序创建，可能含有他人放入的文件，未解压！请稍后重试。";

// The extraction's way to the unpack folder until it holds an UnpackFolder itself: the same
// new, empty folder, but the root and the folder are let go before the cabinet is unpacked.
const char* CreateUnpackDirectory(const wchar_t** refusal) {
  static char path[UnpackDirCapacity];
  UnpackFolder folder;
  if (CreateUnpackFolder(folder, nullptr) != UnpackFolderStatus::Created ||
      !CopyText(path, folder.ansi)) {
    // Nothing is unpacked into a folder that this call did not make.
    *refusal = UnpackRootRefusal;
    return nullptr;
  }
  return path;
}
