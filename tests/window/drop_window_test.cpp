// The real main window while a drop is at work on its worker thread: the view tabs are
// refused, and a close waits until the drop has ended and told its result.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/registry_fixture.h"
#include "tests/common/wait.h"
#include "tests/core/register/drop_support.h"
#include "tests/core/register/fci_cabinet.h"
#include "tests/unattended/unattended_driver.h"
#include "tests/window/app_window.h"
#include "window/drop.h"
#include "window/globals.h"

TEST_F(AppWindowTest, DuringADropTheTabsAreRefusedAndACloseWaitsForItsEnd) {
  const std::wstring folder = L"C:\\apptest\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring path = folder + L"slow.ocx";  // its registration takes four seconds
  ASSERT_TRUE(CopyFileW(WindowsPath(SLOWCTL_DLL).c_str(), path.c_str(), FALSE));
  RemoveTree(L"Vorn.Test.slow");
  HWND window = MainWindow;
  std::vector<std::wstring> shown;
  HDROP drop = MakeDrop({path});
  // The box goes with the window; what it showed last is kept.
  auto* texts = new ShownTexts(StatusBox);
  SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  ASSERT_TRUE(DropInProgress());

  // The uninstall tab, pressed during the drop: the view stays.
  SendMessageW(TitleBarWindow(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 50));
  EXPECT_EQ(RegisterView, ViewMode);
  // The close button's WM_CLOSE: put off.
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(window));

  // The drop ends with its report, and then the close takes effect.
  WaitForDropToEnd();
  PumpMessages(200);
  EXPECT_FALSE(IsWindow(window));
  shown = texts->texts;
  delete texts;
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(L"拖入文件路径：" + path + L"\r\n注册状态：文件注册成功！", shown.back());
  EXPECT_TRUE(KeyExists(L"Vorn.Test.slow"));
  DiscardMainWindow();
  RemoveTree(L"Vorn.Test.slow");
  RemoveTree(L"CLSID\\{7A3C0002-5E21-4b8d-9F14-3C2B1A0D9E51}");
}

// A cabinet of twelve controls that take four seconds each is dropped; while its first control is being
// registered, an unattended /install of another cabinet runs and ends with its clean-up. The
// drop's folder is held until its last registration, so the clean-up keeps it and both of its
// controls get registered from it.
TEST_F(AppWindowTest, ADropsFolderSurvivesAnInstallsCleanUpWhileItRegisters) {
  const std::wstring folder = L"C:\\apptest\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::string slow = ReadWholeFile(WindowsPath(SLOWCTL_DLL));
  ASSERT_FALSE(slow.empty());
  const std::wstring cabinet = folder + L"slowpair.cab";
  std::vector<std::wstring> names;
  for (wchar_t c = L'a'; c <= L'l'; ++c) names.push_back(std::wstring(L"slow") + c);
  std::vector<CabEntry> entries;
  for (const std::wstring& name : names) entries.push_back({Narrow(name) + ".ocx", slow});
  ASSERT_TRUE(WriteCabinet(Narrow(cabinet), entries));
  for (const std::wstring& name : names) RemoveTree(L"Vorn.Test." + name);
  WaitForNextSecond();
  HDROP drop = MakeDrop({cabinet});
  SendMessageW(MainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  ASSERT_TRUE(DropInProgress());
  // The drop's folder, once its first control is on its way.
  std::wstring dropFolder;
  ASSERT_TRUE(WaitUntil([&] {
    PumpMessages(50);
    dropFolder = LastUnpackDir();
    return !dropFolder.empty() && FileExists(dropFolder + L"slowl.ocx");
  }, 10000));
  PumpMessages(300);

  WaitForNextSecond();  // a newer folder for the install
  // The drop goes on meanwhile: this thread shows its progress.
  StartedRun started = StartUnattended(WindowsPath(CTLWARDEN_EXE),
                                       L"/install \"" + WindowsPath(SAMPLE_CAB) + L"\" /quiet", nullptr);
  ASSERT_TRUE(started.started);
  WaitUntil([&] {
    PumpMessages(50);
    return WaitForSingleObject(started.process.hProcess, 0) == WAIT_OBJECT_0;
  }, 120000);
  UnattendedRun run = FinishUnattended(started, 1000);
  EXPECT_TRUE(DropInProgress()) << "the install ended after the drop; the test proves nothing";
  EXPECT_EQ(0u, run.exitCode);
  for (const std::wstring& name : names)
    EXPECT_TRUE(FileExists(dropFolder + name + L".ocx")) << Narrow(dropFolder + name);

  WaitForDropToEnd();
  std::wstring report = WindowText(StatusBox);
  for (const std::wstring& name : names)
    EXPECT_NE(std::wstring::npos, report.find(L"\r\n" + dropFolder + name + L".ocx\r\n")) << Narrow(report);
  EXPECT_EQ(L"注册状态:注册成功！", report.substr(report.size() - 10)) << Narrow(report);
  for (const std::wstring& name : names) {
    EXPECT_TRUE(KeyExists(L"Vorn.Test." + name)) << Narrow(name);
    RemoveTree(L"Vorn.Test." + name);
  }
  RemoveTree(L"Vorn.Test.testctl");
  RemoveTree(L"CLSID\\{7A3C0002-5E21-4b8d-9F14-3C2B1A0D9E51}");
}
