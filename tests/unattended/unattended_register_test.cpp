// /install through the registration core: what became of each control and each cabinet entry
// as log lines, and the exit code they add up to. The real program, regsvr32 and cabinet.dll.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/program_driver.h"
#include "tests/common/registry_fixture.h"
#include "tests/core/register/fci_cabinet.h"
#include "tests/unattended/unattended_driver.h"
#include "tests/window/app_window.h"

namespace {
constexpr unsigned RunBound = 60000;
const wchar_t DepProgId[] = L"Vorn.Test.depctl";
const wchar_t DepClassKey[] = L"CLSID\\{7A3C0012-5E21-4b8d-9F14-3C2B1A0D9E51}";
const wchar_t TestClassKey[] = L"CLSID\\{7A3C0002-5E21-4b8d-9F14-3C2B1A0D9E51}";

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

struct UnattendedRegister : testing::Test {
  static void SetUpTestSuite() { CreateDirectoryW(Folder().c_str(), nullptr); }
  static std::wstring Folder() { return WindowsPath(UNATTENDED_WORK_DIR) + L"-register\\"; }

  void Forget() {
    for (const wchar_t* key : {DepProgId, DepClassKey, L"Vorn.Test.X", L"Vorn.Test.A", TestClassKey})
      RemoveTree(key);
  }
  void SetUp() override { Forget(); }
  void TearDown() override { Forget(); }

  // Runs /install with these arguments and a fresh log; fills lines with the log's lines.
  UnattendedRun Install(const std::wstring& arguments, const wchar_t* logName) {
    std::wstring log = Folder() + logName;
    DeleteFileW(log.c_str());
    UnattendedRun run = RunUnattended(WindowsPath(CTLWARDEN_EXE),
                                      L"/install " + arguments + L" /log " + Quoted(log), nullptr,
                                      RunBound);
    lines = Lines(Utf8ToWide(FileBytes(log)));
    return run;
  }

  // The event lines whose action is this and whose subject ends with the given text.
  std::vector<std::vector<std::wstring>> Events(const std::wstring& action,
                                                const std::wstring& subjectEnd) const {
    std::vector<std::vector<std::wstring>> found;
    for (const std::wstring& line : lines) {
      if (line.empty() || line[0] == L'#') continue;
      std::vector<std::wstring> fields = Fields(line);
      if (fields.size() < 4 || fields[1] != action) continue;
      const std::wstring& subject = fields[2];
      if (subject.size() >= subjectEnd.size() &&
          subject.compare(subject.size() - subjectEnd.size(), subjectEnd.size(), subjectEnd) == 0)
        found.push_back(fields);
    }
    return found;
  }

  std::string Show() const {
    std::string all;
    for (const std::wstring& line : lines)
      for (wchar_t c : line + L"\n") all += c < 128 ? static_cast<char>(c) : '?';
    return all;
  }

  std::vector<std::wstring> lines;
};

std::string FileContent(const char* unixPath) {
  HANDLE file = CreateFileW(WindowsPath(unixPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  std::string content;
  if (file == INVALID_HANDLE_VALUE) return content;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read) content.append(buffer, read);
  CloseHandle(file);
  return content;
}

std::string Ansi(const std::wstring& wide) {
  std::string out;
  for (wchar_t c : wide) out += static_cast<char>(c);
  return out;
}
}  // namespace

// A control shipped with the helper library it imports: the helper is skipped, not failed,
// and the run succeeds.
TEST_F(UnattendedRegister, AControlWithItsHelperLibraryInOneCabinetSucceeds) {
  std::wstring cabinet = Folder() + L"dep.cab";
  ASSERT_TRUE(WriteCabinet(Ansi(cabinet), {{"depctl.ocx", FileContent(DEPCTL_DLL)},
                                           {"vornhelper.dll", FileContent(VORNHELPER_DLL)}}));
  UnattendedRun run = Install(Quoted(cabinet), L"dep.log");
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(0u, run.exitCode) << Show();
  EXPECT_TRUE(KeyExists(std::wstring(DepProgId) + L"\\CLSID"));
  auto skipped = Events(L"skip", L"/vornhelper.dll");
  ASSERT_EQ(1u, skipped.size()) << Show();
  EXPECT_EQ(L"info", skipped[0][3]);
  ASSERT_GE(skipped[0].size(), 5u);
  EXPECT_NE(std::wstring::npos, skipped[0][4].find(L"DllRegisterServer"));
  EXPECT_TRUE(Events(L"register", L"/vornhelper.dll").empty()) << Show();
  auto registered = Events(L"register", L"/depctl.ocx");
  ASSERT_EQ(1u, registered.size()) << Show();
  EXPECT_EQ(L"ok", registered[0][3]);
  auto installed = Events(L"install", L"dep.cab");
  ASSERT_EQ(1u, installed.size()) << Show();
  EXPECT_EQ(L"ok", installed[0][3]);
}

// Endings in upper case: a cabinet PACK.CAB holding X.OCX, and a control A.OCX.
TEST_F(UnattendedRegister, EndingsInUpperCaseAreCabinetsAndControls) {
  std::string control = FileContent(TESTCTL_DLL);
  std::wstring cabinet = Folder() + L"PACK.CAB";
  std::wstring single = Folder() + L"A.OCX";
  ASSERT_TRUE(WriteCabinet(Ansi(cabinet), {{"X.OCX", control}}));
  ASSERT_TRUE(CopyFileW(WindowsPath(TESTCTL_DLL).c_str(), single.c_str(), FALSE));
  UnattendedRun run = Install(Quoted(cabinet) + L" " + Quoted(single), L"upper.log");
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(0u, run.exitCode) << Show();
  EXPECT_TRUE(KeyExists(L"Vorn.Test.X"));
  EXPECT_TRUE(KeyExists(L"Vorn.Test.A"));
  EXPECT_EQ(L"ok", Events(L"register", L"/X.OCX").at(0)[3]) << Show();
  EXPECT_EQ(L"ok", Events(L"install", L"PACK.CAB").at(0)[3]);
  EXPECT_EQ(L"ok", Events(L"install", L"A.OCX").at(0)[3]);
}

// An entry that the name check refuses is logged as refused and fails the run, though the
// control before it was registered.
TEST_F(UnattendedRegister, AnEntryRefusedByTheNameCheckIsLoggedAsRefused) {
  std::wstring cabinet = Folder() + L"refused.cab";
  ASSERT_TRUE(WriteCabinet(Ansi(cabinet), {{"first.ocx", FileContent(TESTCTL_DLL)},
                                           {"CON .ocx", "device"}}));
  UnattendedRun run = Install(Quoted(cabinet), L"refused.log");
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(1603u, run.exitCode) << Show();
  auto refused = Events(L"unpack", L"/CON .ocx");
  ASSERT_EQ(1u, refused.size()) << Show();
  EXPECT_EQ(L"failed", refused[0][3]);
  ASSERT_GE(refused[0].size(), 5u);
  EXPECT_EQ(0u, refused[0][4].rfind(L"refused: ", 0)) << Show();
  EXPECT_EQ(L"ok", Events(L"register", L"/first.ocx").at(0)[3]) << Show();
  EXPECT_EQ(L"failed", Events(L"install", L"refused.cab").at(0)[3]);
  RemoveTree(L"Vorn.Test.first");
}
