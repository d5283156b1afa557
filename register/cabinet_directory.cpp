// Naming and creating the directory that one cabinet is unpacked into.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "common/text.h"
#include "register/cabinet.h"

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

const char* CreateUnpackDirectory() {
  static char path[512];
  FormatUnpackDirectory(_time64(nullptr), path, sizeof path);

  wchar_t wideRoot[1000] = {};
  wchar_t widePath[1000] = {};
  MultiByteToWideChar(CP_ACP, 0, UnpackRoot, -1, wideRoot, 1000);
  MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, 1000);
  // Both may exist already (a cabinet dropped earlier, or within the same second): then the
  // calls fail harmlessly and the directory is used as it is.
  CreateDirectoryW(wideRoot, nullptr);
  CreateDirectoryW(widePath, nullptr);
  return path;
}
