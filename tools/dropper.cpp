// Drives a running Ctlwarden from outside, as a user with the Explorer would:
//   dropper drop <file>   drop the file on the window (waits for the window to appear)
//   dropper show          print what the path box and the status box show
//   dropper uninstall     press the uninstall tab, then the query button
//   dropper close         press the close button
#include <windows.h>

#include <cwchar>

#include "tools/remote_drop.h"

namespace {

void Print(const wchar_t* text) {
  char bytes[16384];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof(bytes), nullptr, nullptr);
  DWORD written;
  if (n > 1) WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, n - 1, &written, nullptr);
}

HWND WaitForWindow() {
  for (int i = 0; i < 300; ++i) {
    HWND window = FindCtlwardenWindow(0);
    if (window && IsWindowVisible(window)) return window;  // created and shown
    Sleep(100);
  }
  return nullptr;
}

void Show(HWND window) {
  static wchar_t text[8192];
  WindowText(ChildOfClass(window, L"Edit", 0), text, 8192);
  Print(L"PathBox:   ");
  Print(text);
  Print(L"\n");
  WindowText(ChildOfClass(window, L"Edit", 1), text, 8192);
  Print(L"StatusBox: ");
  Print(text);
  Print(L"\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    Print(L"usage: dropper drop <file> | show | uninstall | close\n");
    return 2;
  }
  HWND window = WaitForWindow();
  if (!window) {
    Print(L"dropper: no Ctlwarden window\n");
    return 1;
  }
  const wchar_t* command = argv[1];
  if (wcscmp(command, L"drop") == 0 && argc == 3) {
    wchar_t full[1024];
    if (!GetFullPathNameW(argv[2], 1024, full, nullptr)) return 1;
    return PostRemoteDrop(window, full) ? 0 : 1;
  }
  if (wcscmp(command, L"show") == 0) {
    Show(window);
    return 0;
  }
  HWND bar = ChildOfClass(window, L"TitleBar", 0);
  if (wcscmp(command, L"uninstall") == 0) {
    PostMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 50));
    PostMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(120, 50));
    PostMessageW(ChildOfClass(window, L"Button", 0), BM_CLICK, 0, 0);
    return 0;
  }
  if (wcscmp(command, L"close") == 0) {
    // The close button is the first button of the bar.
    PostMessageW(ChildOfClass(bar, L"Button", 0), BM_CLICK, 0, 0);
    return 0;
  }
  Print(L"dropper: unknown command\n");
  return 2;
}
