#include "tests/core/register/hostile_case.h"

#include <algorithm>

#include "window/globals.h"
#include "window/status_text.h"
#include "window/drop.h"
#include "tests/common/registry_fixture.h"
#include "tests/common/wait.h"

bool Registered(const std::wstring& base) {
  return ExportTree(L"Vorn.Test." + base).find(L"Vorn.Test." + base + L"\\CLSID=" + TestClassId) !=
         std::wstring::npos;
}

bool AwaitRegistration(const std::wstring& base) {
  return WaitUntil([&] { return Registered(base); }, 30000);
}

bool ClassRegistered() {
  return KeyExists(std::wstring(L"CLSID\\") + TestClassId + L"\\InprocServer32");
}

std::wstring RegisteredServer() {
  wchar_t value[1024] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  std::wstring key = std::wstring(L"CLSID\\") + TestClassId + L"\\InprocServer32";
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS)
    return L"";
  return value;
}

void DropFiles(const std::vector<std::wstring>& paths) {
  HDROP drop = MakeDrop(paths);
  HandleDroppedFile(MainWindow, drop);
  WaitForDropToEnd();
  GlobalFree(drop);
}

void HostileCase::SetUpTestSuite() { CreateDirectories(HostileWork); }

void HostileCase::SetUp() {
  CreateTestWindows();
  ViewMode = RegisterView;
  StatusTextReset(StatusTextInitial);
  since = NowSeconds();
  drive = ListDrive(since);
  classes = ExportClassesRoot();
}

void HostileCase::TearDown() {
  ArmWatchdog(testing::UnitTest::GetInstance()->current_test_info()->name(), CaseBound);
  // Registrations still running may write late: give the expected ones their time.
  for (const auto& base : controls) AwaitRegistration(base);
  std::vector<std::wstring> written = DriveChanges(drive, ListDrive(since));
  EXPECT_TRUE(written.empty()) << "written outside the unpack directory:\n"
                               << testing::PrintToString(written);
  std::vector<std::wstring> after = ExportClassesRoot();
  std::vector<std::wstring> changes = ClassesRootChanges(classes, after);
  EXPECT_TRUE(changes.empty()) << "HKEY_CLASSES_ROOT changed:\n" << testing::PrintToString(changes);
  RemoveTestControlKeys(controls);
  // The test control names its ProgID after its file, read into a buffer of MAX_PATH
  // characters: from a longer path it leaves a ProgID of whatever the buffer held.
  for (const auto& line : after) {
    if (line.compare(0, 11, L"\\Vorn.Test.") != 0) continue;
    if (std::binary_search(classes.begin(), classes.end(), line)) continue;
    std::wstring progId = line.substr(1);
    RemoveTree(progId.substr(0, progId.find_first_of(L"\\=")));
  }
}
