#include "tools/remote_drop.h"

#include <shlobj.h>

#include <cwchar>

#include "platform/unique.h"

bool PostRemoteDrop(HWND target, const wchar_t* path) {
  DWORD processId = 0;
  GetWindowThreadProcessId(target, &processId);
  UniqueKernelHandle process(OpenProcess(
      PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE, processId));
  if (!process) return false;
  // DROPFILES, then the one name and the empty name that ends the list.
  size_t pathBytes = (wcslen(path) + 1) * sizeof(wchar_t);
  size_t size = sizeof(DROPFILES) + pathBytes + sizeof(wchar_t);
  unsigned char block[sizeof(DROPFILES) + 2 * 1024 * sizeof(wchar_t)] = {};
  if (size > sizeof(block)) return false;
  auto* header = reinterpret_cast<DROPFILES*>(block);
  header->pFiles = sizeof(DROPFILES);
  header->pt = {20, 20};
  header->fNC = FALSE;
  header->fWide = TRUE;
  memcpy(block + sizeof(DROPFILES), path, pathBytes);
  void* remote = VirtualAllocEx(process.get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  bool ok = remote && WriteProcessMemory(process.get(), remote, block, size, nullptr) &&
            PostMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
  return ok;
}

namespace {
struct Search {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (search->processId && owner != search->processId) return TRUE;
  wchar_t cls[32] = {}, title[32] = {};
  GetClassNameW(window, cls, 32);
  GetWindowTextW(window, title, 32);
  if (wcscmp(cls, L"window") == 0 && wcscmp(title, L"Ctlwarden") == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

HWND FindCtlwardenWindow(DWORD processId) {
  Search search = {processId, nullptr};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND ChildOfClass(HWND parent, const wchar_t* cls, int index) {
  HWND child = nullptr;
  for (int i = 0; i <= index; ++i) {
    child = FindWindowExW(parent, child, cls, nullptr);
    if (!child) return nullptr;
  }
  return child;
}

void WindowText(HWND window, wchar_t* text, int capacity) {
  text[0] = 0;
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, capacity, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, 5000, &copied))
    text[0] = 0;
  text[capacity - 1] = 0;
}
