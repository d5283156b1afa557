// Naming and creating the directory that one cabinet is unpacked into.
#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "platform/text.h"
#include "core/register/cabinet.h"

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
const wchar_t UnpackRootFailure[] = L"无法创建或打开解压文件夹C:/VornActiveX/，未解压！";
const wchar_t UnpackNamesTaken[] =
    L"解压文件夹C:/VornActiveX/下可用的文件夹名都已被占用，未解压！请清理该文件夹后重试。";
const wchar_t UnpackFolderFailure[] = L"无法在C:/VornActiveX/下新建解压文件夹，未解压！";
