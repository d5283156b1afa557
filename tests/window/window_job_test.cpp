// The window's job: a close or the end of the session stops a long cabinet at its next control,
// the query and a removal leave the window's thread at once, every drop handle is finished,
// and a control that misses a library has it named.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/message_boxes.h"
#include "tests/common/registry_fixture.h"
#include "tests/common/wait.h"
#include "tests/core/register/drop_support.h"
#include "tests/core/register/fci_cabinet.h"
#include "tests/window/app_window.h"
#include "window/commands.h"
#include "window/drop.h"
#include "window/globals.h"

namespace {
const std::wstring Folder = L"C:\\apptest\\";
const wchar_t SlowClassId[] = L"CLSID\\{7A3C0002-5E21-4b8d-9F14-3C2B1A0D9E51}";

// A cabinet of count copies of the control that takes four seconds to register: slowa.ocx, ...
std::vector<std::wstring> WriteSlowCabinet(const std::wstring& cabinet, int count) {
  const std::string slow = ReadWholeFile(WindowsPath(SLOWCTL_DLL));
  std::vector<std::wstring> names;
  std::vector<CabEntry> entries;
  for (int i = 0; i < count; ++i) {
    names.push_back(std::wstring(L"slow") + static_cast<wchar_t>(L'a' + i));
    entries.push_back({Narrow(names.back()) + ".ocx", slow});
    RemoveTree(L"Vorn.Test." + names.back());
  }
  EXPECT_TRUE(WriteCabinet(Narrow(cabinet), entries));
  return names;
}

int CountRegistered(const std::vector<std::wstring>& names) {
  int count = 0;
  for (const std::wstring& name : names) count += KeyExists(L"Vorn.Test." + name) ? 1 : 0;
  return count;
}

void RemoveSlowKeys(const std::vector<std::wstring>& names) {
  WaitForRegistrationsToEnd();
  for (const std::wstring& name : names) RemoveTree(L"Vorn.Test." + name);
  RemoveTree(SlowClassId);
}

// Drops the cabinet on the window and waits until its first control has been registered.
void DropAndAwaitFirstControl(const std::wstring& cabinet, const std::wstring& first) {
  CreateDirectoryW(Folder.c_str(), nullptr);
  WaitForNextSecond();
  HDROP drop = MakeDrop({cabinet});
  SendMessageW(MainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  ASSERT_TRUE(DropInProgress());
  ASSERT_TRUE(WaitUntil([&] { return KeyExists(L"Vorn.Test." + first); }, 30000));
}

using ReasonQuery = BOOL(WINAPI*)(HWND, LPWSTR, DWORD*);

// The shutdown reason of the window, or "(unknown)" where the system cannot tell it (Wine's
// user32 has the functions as stubs; Windows shows the reason on its shutdown screen).
std::wstring ShutdownReason(HWND window) {
  auto query = reinterpret_cast<ReasonQuery>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "ShutdownBlockReasonQuery")));
  if (!query) return L"(unknown)";
  wchar_t text[256] = {};
  DWORD length = 256;
  SetLastError(0);
  if (query(window, text, &length)) return text;
  return GetLastError() == ERROR_CALL_NOT_IMPLEMENTED ? L"(unknown)" : L"";
}
}  // namespace

TEST_F(AppWindowTest, ACloseDuringALongCabinetEndsItAtTheNextControl) {
  const std::wstring cabinet = Folder + L"slowmany.cab";
  CreateDirectoryW(Folder.c_str(), nullptr);
  std::vector<std::wstring> names = WriteSlowCabinet(cabinet, 10);
  HWND window = MainWindow;
  DropAndAwaitFirstControl(cabinet, names[0]);
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(window));  // put off until the job has ended
  WaitForDropToEnd();
  PumpMessages(200);
  EXPECT_FALSE(IsWindow(window));
  // The control under way when the close came ends; none after it is begun.
  EXPECT_LE(CountRegistered(names), 2) << "the close waited for the whole cabinet";
  DiscardMainWindow();
  RemoveSlowKeys(names);
}

TEST_F(AppWindowTest, TheEndOfTheSessionWaitsForADropWithItsReasonAndStopsIt) {
  EXPECT_NE(0, SendMessageW(MainWindow, WM_QUERYENDSESSION, 0, 0)) << "no job: nothing to wait for";
  const std::wstring cabinet = Folder + L"slowsession.cab";
  CreateDirectoryW(Folder.c_str(), nullptr);
  std::vector<std::wstring> names = WriteSlowCabinet(cabinet, 10);
  DropAndAwaitFirstControl(cabinet, names[0]);

  EXPECT_EQ(0, SendMessageW(MainWindow, WM_QUERYENDSESSION, 0, 0));
  std::wstring reason = ShutdownReason(MainWindow);
  if (reason != L"(unknown)") {
    EXPECT_EQ(L"正在注册控件，请稍候…", reason);
  }
  // The session ends all the same: the work stops at its next control before the answer.
  SendMessageW(MainWindow, WM_ENDSESSION, TRUE, 0);
  int registered = CountRegistered(names);
  EXPECT_LE(registered, 2);
  WaitForDropToEnd();
  std::wstring report = WindowText(StatusBox);
  EXPECT_EQ(L"注册状态:注册失败！", report.substr(report.size() - 10)) << Narrow(report);
  EXPECT_EQ(registered, CountRegistered(names)) << "a control was registered after the end";
  std::wstring after = ShutdownReason(MainWindow);
  if (after != L"(unknown)") {
    EXPECT_EQ(L"", after);
  }
  RemoveSlowKeys(names);
}

TEST_F(AppWindowTest, EveryDropHandleIsFinished) {
  for (int view : {RegisterView, UninstallView}) {
    SetView(view);
    HDROP drop = MakeDrop({L"C:\\apptest\\readme.txt"});
    SendMessageW(MainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_EQ(0u, GlobalSize(drop)) << "view " << view << ": the drop's memory was not freed";
  }
}

TEST_F(AppWindowTest, AControlMissingItsHelperHasTheLibraryNamedAfterItsBox) {
  const std::wstring folder = Folder + L"alone\\";
  CreateDirectoryW(Folder.c_str(), nullptr);
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring control = folder + L"depctl.dll";
  ASSERT_TRUE(CopyFileW(WindowsPath(DEPCTL_DLL).c_str(), control.c_str(), FALSE));
  const std::wstring cabinet = Folder + L"deponly.cab";
  ASSERT_TRUE(WriteCabinet(Narrow(cabinet), {{"depctl.dll", ReadWholeFile(control)}}));
  for (const std::wstring& path : {control, cabinet}) {
    SCOPED_TRACE(Narrow(path));
    MessageBoxWatcher boxes;
    WaitForNextSecond();
    HDROP drop = MakeDrop({path});
    SendMessageW(MainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    WaitForDropToEnd();
    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ(L"装载ActiveX控件失败！", boxes.seen[0].text);
    std::wstring report = WindowText(StatusBox);
    std::wstring status = path == control ? L"\r\n注册状态：文件注册失败！" : L"\r\n注册状态:注册失败！";
    if (path == control) {
      EXPECT_EQ(L"拖入文件路径：" + control + status + L"\r\n缺少依赖文件：vornhelper.dll", report);
    } else {
      ASSERT_NE(std::wstring::npos, report.find(L"\r\n注册状态")) << Narrow(report);
      EXPECT_EQ(status + L"\r\n缺少依赖文件：vornhelper.dll", report.substr(report.find(L"\r\n注册状态")));
    }
  }
  EXPECT_FALSE(KeyExists(L"Vorn.Test.depctl"));
}
