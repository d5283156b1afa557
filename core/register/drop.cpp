#include "core/register/drop.h"

#include <windows.h>

#include <cstring>

bool ConvertToAnsiPath(const wchar_t* path, char* ansi, size_t cap) {
  if (cap == 0) return false;
  memset(ansi, 0, cap);
  int written;
  BOOL usedDefault = FALSE;
  if (GetACP() == CP_UTF8) {
    // UTF-8 expresses every character; only a broken surrogate is refused.
    written = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, path, -1, ansi,
                                  static_cast<int>(cap), nullptr, nullptr);
  } else {
    written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path, -1, ansi,
                                  static_cast<int>(cap), nullptr, &usedDefault);
  }
  if (written > 0 && !usedDefault) return true;
  memset(ansi, 0, cap);
  return false;
}
