#include "platform/system_path.h"

#include "platform/text.h"

bool SystemPath(const wchar_t* name, wchar_t* out, size_t cap) {
  if (cap == 0) return false;
  out[0] = 0;
  if (cap > 0x7fffffff) cap = 0x7fffffff;
  // The result counts the terminator only when the buffer was too small.
  UINT length = GetSystemDirectoryW(out, static_cast<UINT>(cap));
  if (length == 0 || length >= cap) {
    out[0] = 0;
    return false;
  }
  if (*name && !(AppendText(out, cap, L"\\") && AppendText(out, cap, name))) {
    out[0] = 0;
    return false;
  }
  return true;
}

namespace {
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories() {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  if (!kernel32) return nullptr;
  return reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
}
}  // namespace

bool HasDllSearchFlags() { return FindSetDefaultDllDirectories() != nullptr; }

void RestrictDllSearch() {
  SetDllDirectoryW(L"");
  if (auto setDefault = FindSetDefaultDllDirectories()) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
