// The machine's classes in one registry view.
#include "core/uninstall/classes_view.h"

ClassesView::ClassesView(RegistryView which) : view(static_cast<REGSAM>(which)) {
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_READ | view, &key) !=
      ERROR_SUCCESS)
    key = nullptr;
}

ClassesView::~ClassesView() {
  if (key) RegCloseKey(key);
}

bool KeyExistsIn(const ClassesView& classes, const wchar_t* path) {
  if (!classes.key) return false;
  HKEY key;
  if (RegOpenKeyExW(classes.key, path, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE | classes.view,
                    &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
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
