// The machine's classes in one registry view.
#include "core/uninstall/classes_view.h"

ClassesView::ClassesView(RegistryView which) : view(static_cast<REGSAM>(which)) {
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_READ | view, key.put()) !=
      ERROR_SUCCESS)
    key.release();  // no key was opened: nothing to close
}

bool KeyExistsIn(const ClassesView& classes, const wchar_t* path) {
  if (!classes.key) return false;
  UniqueKey key;
  return RegOpenKeyExW(classes.key.get(), path, REG_OPTION_OPEN_LINK,
                       KEY_QUERY_VALUE | classes.view, key.put()) == ERROR_SUCCESS;
}

bool DetectWow64() {
  BOOL wow64 = FALSE;
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process");
  if (found) {
    auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(found));
    isWow64Process(GetCurrentProcess(), &wow64);
  }
  return wow64 != FALSE;
}
