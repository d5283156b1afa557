// The built program as a separate process: closing it, and a user's whole round of dropping
// a cabinet, querying and removing, driven from outside as the Explorer and a user would.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/window/app_window.h"
#include "tests/app/program_driver.h"
#include "tests/common/registry_fixture.h"
#include "tests/common/wait.h"
#include "tools/remote_drop.h"

namespace {

const wchar_t TestProgId[] = L"Vorn.Test.testctl";
const wchar_t TestClassKey[] = L"CLSID\\{7A3C0002-5E21-4b8d-9F14-3C2B1A0D9E51}";

// Bounds for the x86-64 program under wine64.
constexpr unsigned StartBound = 20000;
constexpr unsigned EndBound = 20000;
constexpr unsigned BoxBound = 15000;

void ForgetTestControl() {
  RemoveTree(TestProgId);
  RemoveTree(TestClassKey);
}

}  // namespace

TEST(Program, CloseButtonEndsTheProgramWithExitCodeZero) {
  Program program;
  ASSERT_TRUE(program.Start(WindowsPath(CTLWARDEN_EXE), StartBound));
  HWND close = program.CloseButton();
  ASSERT_TRUE(close);
  RECT place;
  GetWindowRect(close, &place);
  RECT frame;
  GetWindowRect(program.window, &frame);
  EXPECT_EQ(place.left - frame.left, 1 + 573);
  PostMessageW(close, BM_CLICK, 0, 0);
  DWORD exitCode = 1234;
  ASSERT_TRUE(program.Ended(&exitCode, EndBound));
  EXPECT_EQ(exitCode, 0u);
}

TEST(Program, DroppedCabinetIsRegisteredThenQueriedAndRemovedAndAControlDroppedAgain) {
  std::wstring cabinet = WindowsPath(SAMPLE_CAB);
  if (GetFileAttributesW(cabinet.c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no sample cabinet (gcab missing at build time)";
  ForgetTestControl();
  Program program;
  ASSERT_TRUE(program.Start(WindowsPath(CTLWARDEN_EXE), StartBound));

  // Register view: the cabinet is unpacked and its control registered by regsvr32.
  ASSERT_TRUE(PostRemoteDrop(program.window, cabinet.c_str()));
  EXPECT_TRUE(WaitUntil([&] { return TextOf(program.PathBox()) == cabinet; }, 15000));
  EXPECT_TRUE(WaitUntil([&] { return TextOf(program.StatusBox()).find(L"testctl.dll") != std::wstring::npos; },
                        15000))
      << "status: " << testing::PrintToString(TextOf(program.StatusBox()));
  EXPECT_TRUE(WaitUntil([&] { return KeyExists(TestProgId); }, 60000));
  // The report grows control by control; the drop has ended with its status line.
  EXPECT_TRUE(WaitUntil(
      [&] { return TextOf(program.StatusBox()).find(L"注册状态:") != std::wstring::npos; }, 60000));
  std::wstring status = TextOf(program.StatusBox());

  // Uninstall view: a drop changes nothing.
  program.ShowUninstallView();
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
  DoubleClickEntry(program.ControlList(), index);
  Box box = WaitForBox(program.process.dwProcessId, BoxBound);
  ASSERT_TRUE(box.window);
  EXPECT_EQ(box.text, L"   是否卸载？");
  EXPECT_EQ(box.caption, L"提示");
  EXPECT_EQ(GetWindow(box.window, GW_OWNER), program.window);
  Answer(box, IDYES);
  EXPECT_TRUE(WaitUntil([&] { return !KeyExists(TestProgId); }, 15000));
  EXPECT_FALSE(KeyExists(TestClassKey));
  EXPECT_TRUE(WaitUntil([&] { return ListIndexOf(program.ControlList(), TestProgId) < 0; }, 15000));

  // Back in the register view a dropped control is registered again.
  program.ShowRegisterView();
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(program.PathBox()) != 0; }, 10000));
  ASSERT_TRUE(PostRemoteDrop(program.window, other.c_str()));
  EXPECT_TRUE(WaitUntil([&] { return TextOf(program.PathBox()) == other; }, 15000));
  // The registration runs beside the window: its report comes once regsvr32 has ended.
  EXPECT_TRUE(WaitUntil([&] { return TextOf(program.StatusBox()) ==
                                     L"拖入文件路径：" + other + L"\r\n注册状态：文件注册成功！"; },
                        60000))
      << "status: " << testing::PrintToString(TextOf(program.StatusBox()));
  EXPECT_TRUE(KeyExists(TestProgId));

  PostMessageW(program.CloseButton(), BM_CLICK, 0, 0);
  DWORD exitCode = 1234;
  EXPECT_TRUE(program.Ended(&exitCode, EndBound));
  EXPECT_EQ(exitCode, 0u);
  ForgetTestControl();
}
