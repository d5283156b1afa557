#include "tests/app/program_driver.h"

#include <utility>

#include "tests/common/wait.h"
#include "tools/remote_drop.h"

bool Program::Start(const std::wstring& exe, unsigned bound, const wchar_t* directory,
                    const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, directory,
                      &startup, &process))
    return false;
  // The window is listed while it is still being created: wait until it is shown.
  WaitUntil([&] {
    window = FindCtlwardenWindow(process.dwProcessId);
    return (window && IsWindowVisible(window)) ||
           WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
  }, bound);
  return window && IsWindowVisible(window);
}

bool Program::Ended(DWORD* exitCode, unsigned bound) {
  if (WaitForSingleObject(process.hProcess, bound) != WAIT_OBJECT_0) return false;
  GetExitCodeProcess(process.hProcess, exitCode);
  return true;
}

Program::~Program() {
  if (process.hProcess) {
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
}

HWND Program::Bar() const { return ChildOfClass(window, L"TitleBar", 0); }
HWND Program::CloseButton() const { return ChildOfClass(Bar(), L"Button", 0); }
HWND Program::PathBox() const { return ChildOfClass(window, L"Edit", 0); }
HWND Program::StatusBox() const { return ChildOfClass(window, L"Edit", 1); }
HWND Program::ControlList() const { return ChildOfClass(window, L"ListBox", 0); }
HWND Program::QueryButton() const { return ChildOfClass(window, L"Button", 0); }
HWND Program::RemoveAllButton() const { return ChildOfClass(window, L"Button", 1); }

namespace {
void PressBar(HWND bar, int x) {
  PostMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 50));
  PostMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(x, 50));
}
}  // namespace

void Program::ShowRegisterView() const { PressBar(Bar(), 50); }
void Program::ShowUninstallView() const { PressBar(Bar(), 120); }

std::wstring TextOf(HWND window) {
  static wchar_t text[8192];
  WindowText(window, text, 8192);
  return text;
}

namespace {
// A message to a window of the program, answered within five seconds or taken as LB_ERR:
// a busy program makes the caller poll again instead of blocking it.
LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &answer))
    return LB_ERR;
  return static_cast<LRESULT>(answer);
}
}  // namespace

int ListCount(HWND list) { return static_cast<int>(Ask(list, LB_GETCOUNT, 0, 0)); }

int ListIndexOf(HWND list, const wchar_t* entry) {
  int count = ListCount(list);
  for (int i = 0; i < count; ++i) {
    wchar_t text[300] = {};
    LRESULT length = Ask(list, LB_GETTEXTLEN, i, 0);
    if (length == LB_ERR || length >= 300) continue;
    if (Ask(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text)) == LB_ERR) continue;
    if (std::wstring(text) == entry) return i;
  }
  return -1;
}

void DoubleClickEntry(HWND list, int index) {
  LPARAM point = MAKELPARAM(20, index * 30 + 15);  // entries are 30 pixels high
  PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
  PostMessageW(list, WM_LBUTTONUP, 0, point);
  PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
  PostMessageW(list, WM_LBUTTONUP, 0, point);
}

namespace {
BOOL CALLBACK FindBox(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<std::pair<DWORD, HWND>*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t cls[16] = {};
  GetClassNameW(window, cls, 16);
  if (owner == search->first && lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(window)) {
    search->second = window;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

Box ShownBox(DWORD processId) {
  std::pair<DWORD, HWND> search = {processId, nullptr};
  EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
  Box box;
  box.window = search.second;
  if (box.window) {
    box.text = TextOf(GetDlgItem(box.window, 0xFFFF));
    box.caption = TextOf(box.window);
  }
  return box;
}

Box WaitForBox(DWORD processId, unsigned bound) {
  Box box;
  WaitUntil([&] { return (box = ShownBox(processId)).window != nullptr; }, bound);
  return box;
}

void Answer(const Box& box, int button) {
  PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box.window, button)));
}
