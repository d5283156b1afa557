// The program started from a folder where a download planted cabinet.dll, cmd.exe and
// regsvr32 (.exe, .com, .bat), as a double-click on the program in a Downloads folder starts
// it: that folder is the program's own folder and its current directory. Wine prefers its
// built-in DLLs to a file beside the program; PreferNativeCabinet makes it search as Windows
// does.
// Each planted file leaves a marker when it runs; none may run, and the system's regsvr32
// registers the dropped control and the cabinet's control as before.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/window/app_window.h"
#include "tests/app/program_driver.h"
#include "tests/common/planted_files.h"
#include "tests/common/registry_fixture.h"
#include "tests/common/wait.h"
#include "tools/remote_drop.h"

namespace {

const wchar_t TestProgId[] = L"Vorn.Test.testctl";
const wchar_t TestClassKey[] = L"CLSID\\{7A3C0002-5E21-4b8d-9F14-3C2B1A0D9E51}";

constexpr unsigned StartBound = 20000;
constexpr unsigned RegistrationBound = 60000;

void ForgetTestControl() {
  RemoveTree(TestProgId);
  RemoveTree(TestClassKey);
}

class PlantedFolder : public ::testing::Test {
 protected:
  std::wstring folder;

  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_TRUE(GetTempPathW(MAX_PATH, temp));
    folder = std::wstring(temp) + L"Downloads-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    EmptyFolder(folder);
    auto plant = [&](const char* source, const wchar_t* name) {
      ASSERT_TRUE(CopyFileW(WindowsPath(source).c_str(), (folder + L"\\" + name).c_str(), FALSE))
          << source;
    };
    plant(CTLWARDEN_EXE, L"ctlwarden.exe");
    plant(PLANTED_CABINET_DLL, L"cabinet.dll");
    plant(PLANTED_EXE, L"cmd.exe");
    plant(PLANTED_EXE, L"regsvr32.exe");
    plant(PLANTED_EXE, L"regsvr32.com");
    plant(PLANTED_BAT, L"regsvr32.bat");
    ASSERT_EQ(L"", MarkersIn(folder));
    ASSERT_TRUE(PreferNativeCabinet(true));
    ForgetTestControl();
  }

  void TearDown() override {
    PreferNativeCabinet(false);
    ForgetTestControl();
    EmptyFolder(folder);
    RemoveDirectoryW(folder.c_str());
  }
};

}  // namespace

TEST_F(PlantedFolder, NoPlantedFileRunsAndTheSystemsRegsvr32RegistersControlAndCabinet) {
  Program program;
  ASSERT_TRUE(program.Start(folder + L"\\ctlwarden.exe", StartBound, folder.c_str()));

  std::wstring control = WindowsPath(TESTCTL_DLL);
  ASSERT_TRUE(PostRemoteDrop(program.window, control.c_str()));
  EXPECT_TRUE(WaitUntil([&] { return KeyExists(TestProgId); }, RegistrationBound))
      << "markers: " << testing::PrintToString(MarkersIn(folder));
  ForgetTestControl();

  std::wstring cabinet = WindowsPath(SAMPLE_CAB);
  ASSERT_TRUE(PostRemoteDrop(program.window, cabinet.c_str()));
  EXPECT_TRUE(WaitUntil([&] { return KeyExists(TestProgId); }, RegistrationBound))
      << "status: " << testing::PrintToString(TextOf(program.StatusBox()))
      << " markers: " << testing::PrintToString(MarkersIn(folder));
  EXPECT_FALSE(ShownBox(program.process.dwProcessId).window);

  EXPECT_EQ(L"", MarkersIn(folder));
  PostMessageW(program.CloseButton(), BM_CLICK, 0, 0);
  DWORD exitCode = 1234;
  EXPECT_TRUE(program.Ended(&exitCode, 20000));
}
