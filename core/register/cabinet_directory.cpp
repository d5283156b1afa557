// Naming and creating the directory that one cabinet is unpacked into.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/text.h"
#include "core/register/cabinet.h"
#include "core/register/unpack_root.h"

const char UnpackRoot[] = "C:/VornActiveX/";

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

namespace {
// The last unpack directory this process created: a second cabinet of the same second shares
// it. Any other directory of the current second that exists already is not used.
char CreatedByThisProcess[UnpackDirCapacity] = "";
}  // namespace

const char* CreateUnpackDirectory(const wchar_t** refusal) {
  static char path[512];
  FormatUnpackDirectory(_time64(nullptr), path, sizeof path);

  wchar_t wideRoot[1000] = {};
  wchar_t widePath[1000] = {};
  MultiByteToWideChar(CP_ACP, 0, UnpackRoot, -1, wideRoot, 1000);
  MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, 1000);
  // The root is created protected, or checked and protected again before every cabinet;
  // a root that cannot be trusted is not used.
  if (!SecureUnpackRoot(wideRoot)) {
    *refusal = UnpackRootRefusal;
    return nullptr;
  }
  // The directory gets the root's descriptor itself, so that it does not depend on what the
  // root passes on.
  PSECURITY_DESCRIPTOR descriptor = BuildUnpackRootSecurity();
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  bool created = descriptor && CreateDirectoryW(widePath, &attributes);
  DWORD error = GetLastError();
  if (descriptor) LocalFree(descriptor);
  if (created) {
    CopyText(CreatedByThisProcess, path);
  } else if (error == ERROR_ALREADY_EXISTS && strcmp(path, CreatedByThisProcess) != 0) {
    // Made by someone else before the root was protected (or by another copy of the program),
    // maybe with files of their own waiting to be registered.
    *refusal = UnpackDirectoryRefusal;
    return nullptr;
  }
  // Any other failure shows itself as the first entry's open failing.
  return path;
}
