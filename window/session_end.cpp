#include "window/session_end.h"

namespace {
// Looked up at run time: the functions exist since Vista, and user32 is loaded already (it is
// imported), so nothing is searched for.
FARPROC User32Function(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 ? GetProcAddress(user32, name) : nullptr;
}
}  // namespace

bool BlockShutdown(HWND window) {
  using CreateFunction = BOOL(WINAPI*)(HWND, LPCWSTR);
  auto create = reinterpret_cast<CreateFunction>(
      reinterpret_cast<void*>(User32Function("ShutdownBlockReasonCreate")));
  return create && create(window, L"正在注册控件，请稍候…");
}

void ClearShutdownReason(HWND window) {
  using DestroyFunction = BOOL(WINAPI*)(HWND);
  auto destroy = reinterpret_cast<DestroyFunction>(
      reinterpret_cast<void*>(User32Function("ShutdownBlockReasonDestroy")));
  if (destroy && window) destroy(window);
}
