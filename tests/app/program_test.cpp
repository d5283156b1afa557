// The built program as a separate process: closing it, and a user's whole round of dropping
// a cabinet, querying and removing, driven from outside as the Explorer and a user would.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/app/app_window.h"
#include "tests/common/registry_fixture.h"
#include "tests/common/wait.h"
#include "tools/remote_drop.h"

namespace {

const wchar_t TestProgId[] = L"Vorn.Test.testctl";
const wchar_t TestClassKey[] = L"CLSID\\{7A3C0002-5E21-4b8d-9F14-3C2B1A0D9E51}";

struct Program {
  PROCESS_INFORMATION process = {};
  HWND window = nullptr;

  bool Start() {
    std::wstring exe = WindowsPath(CTLWARDEN_EXE);
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
      return false;
    // The window is listed while it is still being created: wait until it is shown.
    WaitUntil([&] {
      window = FindCtlwardenWindow(process.dwProcessId);
      return window && IsWindowVisible(window);
    }, 20000);
    return window && IsWindowVisible(window);
  }
  // Waits for the program to end by itself; false if it does not within the bound.
  bool Ended(DWORD* exitCode) {
    if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) return false;
    GetExitCodeProcess(process.hProcess, exitCode);
    return true;
  }
  ~Program() {
    if (process.hProcess) {
      if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(process.hProcess, 99);
      CloseHandle(process.hProcess);
      CloseHandle(process.hThread);
    }
  }
  HWND Bar() const { return ChildOfClass(window, L"TitleBar", 0); }
  HWND CloseButton() const { return ChildOfClass(Bar(), L"Button", 0); }
  HWND PathBox() const { return ChildOfClass(window, L"Edit", 0); }
  HWND StatusBox() const { return ChildOfClass(window, L"Edit", 1); }
  HWND ControlList() const { return ChildOfClass(window, L"ListBox", 0); }
  HWND QueryButton() const { return ChildOfClass(window, L"Button", 0); }
};

std::wstring TextOf(HWND window) {
  static wchar_t text[8192];
  WindowText(window, text, 8192);
  return text;
}

int ListIndexOf(HWND list, const wchar_t* entry) {
  int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[300] = {};
    if (SendMessageW(list, LB_GETTEXTLEN, i, 0) >= 300) continue;
    SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    if (std::wstring(text) == entry) return i;
  }
  return -1;
}

struct Box {
  HWND window = nullptr;
  std::wstring text, caption;
};

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

// The message box the program shows, if one appears within the bound.
Box WaitForBox(DWORD processId) {
  std::pair<DWORD, HWND> search = {processId, nullptr};
  WaitUntil([&] {
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    return search.second != nullptr;
  }, 15000);
  Box box;
  box.window = search.second;
  if (box.window) {
    box.text = TextOf(GetDlgItem(box.window, 0xFFFF));
    box.caption = TextOf(box.window);
  }
  return box;
}

void Answer(const Box& box, int button) {
  PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box.window, button)));
}

void ForgetTestControl() {
  RemoveTree(TestProgId);
  RemoveTree(TestClassKey);
}

}  // namespace

TEST(Program, CloseButtonEndsTheProgramWithExitCodeZero) {
  Program program;
  ASSERT_TRUE(program.Start());
  HWND close = program.CloseButton();
  ASSERT_TRUE(close);
  RECT place;
  GetWindowRect(close, &place);
  RECT frame;
  GetWindowRect(program.window, &frame);
  EXPECT_EQ(place.left - frame.left, 1 + 573);
  PostMessageW(close, BM_CLICK, 0, 0);
  DWORD exitCode = 1234;
  ASSERT_TRUE(program.Ended(&exitCode));
  EXPECT_EQ(exitCode, 0u);
}

TEST(Program, DroppedCabinetIsRegisteredThenQueriedAndRemovedAndAControlDroppedAgain) {
  std::wstring cabinet = WindowsPath(SAMPLE_CAB);
  if (GetFileAttributesW(cabinet.c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no sample cabinet (gcab missing at build time)";
  ForgetTestControl();
  Program program;
  ASSERT_TRUE(program.Start());

  // Register view: the cabinet is unpacked and its control registered by regsvr32.
  ASSERT_TRUE(PostRemoteDrop(program.window, cabinet.c_str()));
  EXPECT_TRUE(WaitUntil([&] { return TextOf(program.PathBox()) == cabinet; }, 15000));
  EXPECT_TRUE(WaitUntil([&] { return TextOf(program.StatusBox()).find(L"testctl.dll") != std::wstring::npos; },
                        15000))
      << "status: " << testing::PrintToString(TextOf(program.StatusBox()));
  EXPECT_TRUE(WaitUntil([&] { return KeyExists(TestProgId); }, 60000));
  std::wstring status = TextOf(program.StatusBox());

  // Uninstall view: a drop changes nothing.
  HWND bar = program.Bar();
  PostMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 50));
  PostMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(120, 50));
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(program.ControlList()) != 0; }, 10000));
  std::wstring other = WindowsPath(TESTCTL_DLL);
  ASSERT_TRUE(PostRemoteDrop(program.window, other.c_str()));
  PumpMessages(1000);
  SendMessageW(program.window, WM_NULL, 0, 0);  // the drop has been handled
  EXPECT_EQ(TextOf(program.PathBox()), cabinet);
  EXPECT_EQ(TextOf(program.StatusBox()), status);

  // Query lists the control; a double-click answered with yes removes it.
  PostMessageW(program.QueryButton(), BM_CLICK, 0, 0);
  int index = -1;
  EXPECT_TRUE(WaitUntil([&] { return (index = ListIndexOf(program.ControlList(), TestProgId)) >= 0; },
                        15000));
  ASSERT_GE(index, 0);
  LPARAM point = MAKELPARAM(20, index * 30 + 15);
  HWND list = program.ControlList();
  PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
  PostMessageW(list, WM_LBUTTONUP, 0, point);
  PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
  PostMessageW(list, WM_LBUTTONUP, 0, point);
  Box box = WaitForBox(program.process.dwProcessId);
  ASSERT_TRUE(box.window);
  EXPECT_EQ(box.text, L"   是否卸载？");
  EXPECT_EQ(box.caption, L"提示");
  EXPECT_EQ(GetWindow(box.window, GW_OWNER), program.window);
  Answer(box, IDYES);
  EXPECT_TRUE(WaitUntil([&] { return !KeyExists(TestProgId); }, 15000));
  EXPECT_FALSE(KeyExists(TestClassKey));
  EXPECT_TRUE(WaitUntil([&] { return ListIndexOf(program.ControlList(), TestProgId) < 0; }, 15000));

  // Back in the register view a dropped control is registered again.
  // The press on the register tab also starts moving the window; the release ends that.
  PostMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
  PostMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(50, 50));
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(program.PathBox()) != 0; }, 10000));
  ASSERT_TRUE(PostRemoteDrop(program.window, other.c_str()));
  EXPECT_TRUE(WaitUntil([&] { return TextOf(program.PathBox()) == other; }, 15000));
  EXPECT_NE(TextOf(program.StatusBox()).find(other), std::wstring::npos);
  EXPECT_TRUE(WaitUntil([&] { return KeyExists(TestProgId); }, 60000));

  PostMessageW(program.CloseButton(), BM_CLICK, 0, 0);
  DWORD exitCode = 1234;
  EXPECT_TRUE(program.Ended(&exitCode));
  EXPECT_EQ(exitCode, 0u);
  ForgetTestControl();
}
