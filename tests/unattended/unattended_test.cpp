// The program run unattended, as deployment tools run it: a command line, an exit code, a log,
// and never a window. Each case starts the real x86-64 program as a separate process.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "unattended/command_line.h"
#include "unattended/run_lock.h"
#include "app/version.h"
#include "tests/window/app_window.h"
#include "tests/app/program_driver.h"
#include "tests/unattended/unattended_driver.h"
#include "tests/common/registry_fixture.h"
#include "tests/common/wait.h"

namespace {

const wchar_t TestProgId[] = L"Vorn.Test.testctl";
const wchar_t NoRegProgId[] = L"Vorn.Test.noregctl";
const std::wstring TestClassKey = L"CLSID\\{7A3C0002-5E21-4b8d-9F14-3C2B1A0D9E51}";
constexpr unsigned RunBound = 60000;

std::wstring Exe() { return WindowsPath(CTLWARDEN_EXE); }
std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }
std::wstring Work() { return WindowsPath(UNATTENDED_WORK_DIR); }

void ForgetTestControls() {
  RemoveTree(TestProgId);
  RemoveTree(NoRegProgId);
  RemoveTree(TestClassKey);
}

// A log path in a folder of its own that does not exist yet.
std::wstring FreshLog(const wchar_t* name) {
  static int runs = 0;
  CreateDirectoryW(Work().c_str(), nullptr);
  return Work() + L"\\run" + std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++runs) +
         L"\\logs\\" + name;
}

std::vector<std::wstring> LogLines(const std::wstring& path) {
  return Lines(Utf8ToWide(FileBytes(path)));
}

std::string Show(const std::vector<std::wstring>& lines) {
  std::wstring all;
  for (const std::wstring& line : lines) all += line + L"\n";
  return testing::PrintToString(all);
}

std::wstring Joined(const std::vector<std::wstring>& windows) {
  std::wstring all;
  for (const std::wstring& w : windows) all += w + L"; ";
  return all;
}

// Every run ends by itself and shows no window of any kind.
#define EXPECT_RAN_WITHOUT_WINDOW(run)                                     \
  do {                                                                     \
    EXPECT_TRUE((run).ended) << "the run did not end";                     \
    EXPECT_TRUE((run).windows.empty()) << Ascii(Joined((run).windows));   \
  } while (0)

std::string Ascii(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

// The last line: "summary", empty subject, "exit=N", the counts.
void ExpectSummary(const std::vector<std::wstring>& lines, DWORD exitCode, const std::wstring& counts) {
  ASSERT_FALSE(lines.empty());
  std::vector<std::wstring> last = Fields(lines.back());
  ASSERT_EQ(5u, last.size()) << Show(lines);
  EXPECT_EQ(L"summary", last[1]);
  EXPECT_EQ(L"", last[2]);
  EXPECT_EQ(L"exit=" + std::to_wstring(exitCode), last[3]);
  EXPECT_EQ(counts, last[4]);
}

std::wstring UnpackFolderOf(const std::vector<std::wstring>& lines, const std::wstring& cabinet) {
  for (const auto& fields : Events(lines, L"unpack", cabinet))
    if (fields[3] == L"info" && fields[4].rfind(L"folder ", 0) == 0) return fields[4].substr(7);
  return L"";
}

}  // namespace

TEST(Unattended, InstallOfACabinetUnpacksAndRegistersItsControlAndLogsEachStep) {
  std::wstring cabinet = WindowsPath(SAMPLE_CAB);
  ForgetTestControls();
  std::wstring log = FreshLog(L"install.log");
  UnattendedRun run = RunUnattended(Exe(), L"/install " + Quoted(cabinet) + L" /quiet /log " + Quoted(log),
                                    nullptr, RunBound);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_TRUE(KeyExists(TestProgId));
  EXPECT_TRUE(KeyExists(TestClassKey + L"\\InprocServer32"));

  // A new folder below it, the log in it, UTF-8 with a byte-order mark.
  std::string bytes = FileBytes(log);
  EXPECT_TRUE(HasByteOrderMark(bytes));
  std::vector<std::wstring> lines = LogLines(log);
  ASSERT_GE(lines.size(), 4u);
  const std::wstring runId = L"[pid " + std::to_wstring(run.processId) + L"]";
  EXPECT_EQ(L"# Ctlwarden " CTLWARDEN_VERSION_TEXT L" unattended run " + runId, lines[0]);
  EXPECT_EQ(L"# Command line: " + Quoted(Exe()) + L" /install " + Quoted(cabinet) + L" /quiet /log " +
                Quoted(log),
            lines[1]);
  EXPECT_EQ(0u, lines[2].rfind(L"# Account: ", 0)) << Show(lines);
  // The test and the program it starts are built for the same processor.
  EXPECT_EQ(sizeof(void*) == 8 ? L"# Process: 64-bit process"
                               : L"# Process: 32-bit process on 64-bit Windows (WoW64)",
            lines[3]);

  // The folder under C:/VornActiveX/, the file in it as packed, its registration.
  std::wstring folder = UnpackFolderOf(lines, cabinet);
  ASSERT_EQ(0u, folder.rfind(L"C:/VornActiveX/", 0)) << Show(lines);
  std::wstring unpacked = folder + L"testctl.dll";
  EXPECT_TRUE(FileBytes(unpacked) == FileBytes(WindowsPath(TESTCTL_DLL)));
  auto unpack = Events(lines, L"unpack", unpacked);
  ASSERT_EQ(1u, unpack.size()) << Show(lines);
  EXPECT_EQ(L"ok", unpack[0][3]);
  auto registered = Events(lines, L"register", unpacked);
  ASSERT_EQ(1u, registered.size()) << Show(lines);
  EXPECT_EQ(L"ok", registered[0][3]);
  EXPECT_EQ(L"regsvr32 exit code 0", registered[0][4]);
  auto installed = Events(lines, L"install", cabinet);
  ASSERT_EQ(1u, installed.size()) << Show(lines);
  EXPECT_EQ(L"ok", installed[0][3]);
  ExpectSummary(lines, 0, L"1 succeeded, 0 failed");
  // Each event line begins with the time in UTC and the run: 2026-12-07T23:59:59Z [pid 1234].
  for (const std::wstring& line : lines) {
    if (line[0] == L'#') continue;
    std::wstring time = Fields(line)[0];
    EXPECT_EQ(21u + runId.size(), time.size()) << Ascii(line);
    EXPECT_EQ(L'T', time[10]);
    EXPECT_EQ(L'Z', time[19]);
    EXPECT_EQ(L" " + runId, time.substr(20)) << Ascii(line);
  }
  ForgetTestControls();
}

// Intune, Configuration Manager and PDQ run the command in the package's folder, with the
// cabinet named without a folder.
TEST(Unattended, RelativePathsAreTakenFromTheCurrentFolderAsPackageToolsRunTheCommands) {
  std::wstring cabinet = WindowsPath(SAMPLE_CAB);
  std::wstring folder = cabinet.substr(0, cabinet.rfind(L'\\'));
  std::wstring name = cabinet.substr(folder.size() + 1);
  ForgetTestControls();
  std::wstring log = FreshLog(L"package.log");
  UnattendedRun run = RunUnattended(Exe(), L"/install " + name + L" /quiet /norestart /log " + Quoted(log),
                                    nullptr, RunBound, folder);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_TRUE(KeyExists(TestProgId));
  std::vector<std::wstring> lines = LogLines(log);
  EXPECT_EQ(1u, Events(lines, L"install", cabinet).size()) << Show(lines);

  run = RunUnattended(Exe(), L"/uninstall /all /quiet /norestart", nullptr, RunBound, folder);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_FALSE(KeyExists(TestProgId));
  EXPECT_FALSE(KeyExists(TestClassKey));
}

// Standard output redirected to a file, as a deployment script does: the log goes there. And
// a control that is registered already is registered again: 0 both times.
TEST(Unattended, AControlInstalledTwiceGivesZeroBothTimesAndRedirectedOutputGetsTheLog) {
  std::wstring control = WindowsPath(TESTCTL_DLL);
  ForgetTestControls();
  for (int round = 0; round < 2; ++round) {
    std::wstring output = FreshLog(L"stdout.txt");
    std::wstring folder = output.substr(0, output.rfind(L'\\'));
    CreateDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    HANDLE file = InheritableFile(output);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    UnattendedRun run = RunUnattended(Exe(), (round ? L"/install " : L"/i ") + Quoted(control) + L" /q",
                                      file, RunBound);
    CloseHandle(file);
    EXPECT_RAN_WITHOUT_WINDOW(run);
    EXPECT_EQ(0u, run.exitCode) << "round " << round;
    EXPECT_TRUE(KeyExists(TestProgId));
    // Standard output is read by scripts line by line: no byte-order mark, even in a file.
    std::string bytes = FileBytes(output);
    EXPECT_FALSE(HasByteOrderMark(bytes));
    std::vector<std::wstring> lines = LogLines(output);
    auto registered = Events(lines, L"register", control);
    ASSERT_EQ(1u, registered.size()) << Show(lines);
    EXPECT_EQ(L"ok", registered[0][3]);
    ExpectSummary(lines, 0, L"1 succeeded, 0 failed");
  }
  ForgetTestControls();
}

// A file that does not load and one whose registration fails: the run fails, though the good
// control among them was registered, and the log names each; no box is shown for them.
TEST(Unattended, ControlsThatDoNotRegisterFailTheRunWithoutABox) {
  std::wstring good = WindowsPath(TESTCTL_DLL);
  std::wstring bad = WindowsPath(BAD_OCX);
  std::wstring noreg = WindowsPath(NOREGCTL_DLL);
  ForgetTestControls();
  std::wstring log = FreshLog(L"bad.log");
  UnattendedRun run = RunUnattended(
      Exe(), L"/install " + Quoted(good) + L" " + Quoted(bad) + L" " + Quoted(noreg) + L" /log " + Quoted(log),
      nullptr, RunBound);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(1603u, run.exitCode);
  EXPECT_TRUE(KeyExists(TestProgId));
  std::vector<std::wstring> lines = LogLines(log);
  auto loadError = Events(lines, L"error", bad);
  ASSERT_EQ(1u, loadError.size()) << Show(lines);
  EXPECT_EQ(L"failed", loadError[0][3]);
  EXPECT_EQ(L"装载ActiveX控件失败！", loadError[0][4]);
  ASSERT_EQ(6u, loadError[0].size());
  EXPECT_EQ(0u, loadError[0][5].rfind(L"error ", 0));
  auto noregRun = Events(lines, L"register", noreg);
  ASSERT_EQ(1u, noregRun.size()) << Show(lines);
  EXPECT_EQ(L"failed", noregRun[0][3]);
  // Found by the probe: regsvr32 is not started on a file it would refuse with 4.
  EXPECT_EQ(L"no registration entry point (DllRegisterServer); not started", noregRun[0][4]);
  EXPECT_EQ(L"ok", Events(lines, L"install", good).at(0)[3]);
  EXPECT_EQ(L"failed", Events(lines, L"install", bad).at(0)[3]);
  EXPECT_EQ(L"failed", Events(lines, L"install", noreg).at(0)[3]);
  ExpectSummary(lines, 1603, L"1 succeeded, 2 failed");
  ForgetTestControls();
}

// Every file is checked before anything is done: a missing one, or one that is no control or
// cabinet, and nothing is registered or unpacked.
TEST(Unattended, AMissingFileOrOneOfAnotherKindChangesNothing) {
  std::wstring good = WindowsPath(TESTCTL_DLL);
  std::wstring missing = Work() + L"\\no such control.ocx";
  std::wstring text = WindowsPath(README_TXT);
  ForgetTestControls();
  struct Case {
    std::wstring files;
    DWORD exitCode;
  } cases[] = {
      {Quoted(good) + L" " + Quoted(missing), 1619},
      {Quoted(text) + L" " + Quoted(good), 1620},
      {Quoted(text) + L" " + Quoted(missing), 1619},
  };
  for (const Case& c : cases) {
    std::wstring log = FreshLog(L"check.log");
    UnattendedRun run = RunUnattended(Exe(), L"/install " + c.files + L" /quiet /log " + Quoted(log),
                                      nullptr, RunBound);
    EXPECT_RAN_WITHOUT_WINDOW(run);
    EXPECT_EQ(c.exitCode, run.exitCode) << Ascii(c.files);
    EXPECT_FALSE(KeyExists(TestProgId));
    std::vector<std::wstring> lines = LogLines(log);
    EXPECT_TRUE(Events(lines, L"register").empty()) << Show(lines);
    EXPECT_TRUE(Events(lines, L"install").empty()) << Show(lines);
    ExpectSummary(lines, c.exitCode, L"0 succeeded, 0 failed");
  }
  std::wstring log = FreshLog(L"missing.log");
  RunUnattended(Exe(), L"/install " + Quoted(missing) + L" /quiet /log " + Quoted(log), nullptr, RunBound);
  std::vector<std::wstring> lines = LogLines(log);
  auto check = Events(lines, L"check", missing);
  ASSERT_EQ(1u, check.size()) << Show(lines);
  EXPECT_EQ(L"failed", check[0][3]);
  ASSERT_EQ(6u, check[0].size());
  EXPECT_EQ(0u, check[0][5].rfind(L"error 2", 0)) << Ascii(check[0][5]);

  // A log that cannot be written (its folder would be a file): 1622, and nothing is done.
  UnattendedRun run = RunUnattended(
      Exe(), L"/install " + Quoted(good) + L" /quiet /log " + Quoted(text + L"\\x.log"), nullptr, RunBound);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(1622u, run.exitCode);
  EXPECT_FALSE(KeyExists(TestProgId));
}

TEST(Unattended, AnInvalidCommandLineGives1639AndTheUsageAndChangesNothing) {
  std::wstring good = Quoted(WindowsPath(TESTCTL_DLL));
  ForgetTestControls();
  PutKey(L"Vorn.Test.kept\\CLSID", L"{7A3C00FF-5E21-4B8D-9F14-3C2B1A0D9E51}");
  PutKey(L"Other.Maker.Control\\CLSID", L"{7A3C00FE-5E21-4B8D-9F14-3C2B1A0D9E51}");
  const std::wstring lines[] = {
      L"/install",
      L"/bogus " + good,
      L"/install " + good + L" /uninstall Vorn.Test.kept",
      L"/list Vorn.Test.kept",
      L"/install " + good + L" /log",
      good + L" " + good,
      L"/quiet",
      L"/uninstall /all Vorn.Test.kept",
      L"/install /all " + good,
      // Only the maker's ProgIDs: another maker's key is refused, and nothing is removed.
      L"/uninstall Vorn.Test.kept Other.Maker.Control",
  };
  for (const std::wstring& arguments : lines) {
    std::wstring output = FreshLog(L"stdout.txt");
    std::wstring folder = output.substr(0, output.rfind(L'\\'));
    CreateDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    HANDLE file = InheritableFile(output);
    UnattendedRun run = RunUnattended(Exe(), arguments, file, RunBound);
    CloseHandle(file);
    EXPECT_RAN_WITHOUT_WINDOW(run);
    EXPECT_EQ(1639u, run.exitCode) << Ascii(arguments);
    std::wstring text = Utf8ToWide(FileBytes(output));
    EXPECT_EQ(0u, text.rfind(L"# Ctlwarden", 0));
    std::vector<std::wstring> logged = Lines(text);
    if (arguments.rfind(L"/uninstall Vorn", 0) == 0) {
      auto refused = Events(logged, L"check", L"Other.Maker.Control");
      ASSERT_EQ(1u, refused.size()) << Show(logged);
      EXPECT_EQ(L"failed", refused[0][3]);
    } else {
      EXPECT_EQ(1u, Events(logged, L"command-line").size()) << Show(logged);
      EXPECT_NE(std::wstring::npos, text.find(L"/uninstall /all")) << "usage: " << Ascii(arguments);
    }
    ExpectSummary(logged, 1639, L"0 succeeded, 0 failed");
  }
  EXPECT_FALSE(KeyExists(TestProgId));
  EXPECT_TRUE(KeyExists(L"Vorn.Test.kept\\CLSID"));
  EXPECT_TRUE(KeyExists(L"Other.Maker.Control\\CLSID"));
  RemoveTree(L"Vorn.Test.kept");
  RemoveTree(L"Other.Maker.Control");
}

// What administrators type by reflex: msiexec's and regsvr32's switches, either prefix, any case.
TEST(Unattended, SwitchesAndTheirAliases) {
  // The parser moves the items to the front of the arguments and points into them: they are
  // kept until the next parse.
  std::vector<const wchar_t*> held;
  auto parse = [&held](std::vector<const wchar_t*> args) {
    held = std::move(args);
    return ParseCommandLine(static_cast<int>(held.size()), const_cast<wchar_t**>(held.data()));
  };
  EXPECT_EQ(RunMode::Window, parse({}).mode);
  CommandLine opened = parse({L"C:\\cabs\\a.cab"});
  EXPECT_EQ(RunMode::OpenFile, opened.mode);
  ASSERT_EQ(1, opened.itemCount);
  EXPECT_STREQ(L"C:\\cabs\\a.cab", opened.items[0]);
  for (const wchar_t* s : {L"/install", L"/i", L"-I", L"/INSTALL"}) EXPECT_EQ(RunMode::Install, parse({s, L"a.ocx"}).mode) << Ascii(s);
  for (const wchar_t* s : {L"/uninstall", L"/x", L"/u", L"-X", L"/Uninstall"})
    EXPECT_EQ(RunMode::Uninstall, parse({s, L"Vorn.A"}).mode) << Ascii(s);
  for (const wchar_t* s : {L"/quiet", L"/q", L"/qn", L"/s", L"/silent", L"-QN", L"/Silent", L"/passive"}) {
    CommandLine line = parse({L"/i", L"a.ocx", s});
    EXPECT_EQ(RunMode::Install, line.mode) << Ascii(s);
    EXPECT_TRUE(line.quiet) << Ascii(s);
  }
  for (const wchar_t* s : {L"/log", L"/LOG", L"/l*v", L"/L*V", L"/l+"}) {
    CommandLine line = parse({L"/x", L"/all", s, L"C:\\logs\\x.log", L"/norestart"});
    EXPECT_EQ(RunMode::Uninstall, line.mode) << Ascii(s);
    EXPECT_TRUE(line.all);
    EXPECT_STREQ(L"C:\\logs\\x.log", line.logPath);
  }
  EXPECT_EQ(RunMode::List, parse({L"/list"}).mode);
  // Items keep their order among the switches.
  CommandLine files = parse({L"/q", L"a.ocx", L"/i", L"b.cab", L"/log", L"x.log", L"c.dll"});
  ASSERT_EQ(3, files.itemCount);
  EXPECT_STREQ(L"a.ocx", files.items[0]);
  EXPECT_STREQ(L"b.cab", files.items[1]);
  EXPECT_STREQ(L"c.dll", files.items[2]);
  EXPECT_STREQ(L"x.log", files.logPath);
  EXPECT_EQ(RunMode::Usage, parse({L"/?"}).mode);
  EXPECT_EQ(RunMode::Usage, parse({L"-?", L"/install"}).mode);
  EXPECT_EQ(RunMode::Invalid, parse({L"/install", L"a.ocx", L"/log", L"a", L"/log", L"b"}).mode);
  EXPECT_EQ(RunMode::Invalid, parse({L"/", L"a.ocx"}).mode);
  EXPECT_EQ(RunMode::Invalid, parse({L"/l*z", L"a", L"/i", L"a.ocx"}).mode);
  // A switch after /log is no file name, and still counts as the switch.
  CommandLine noFile = parse({L"/i", L"a.ocx", L"/log", L"/quiet"});
  EXPECT_EQ(RunMode::Invalid, noFile.mode);
  EXPECT_TRUE(noFile.quiet);
  EXPECT_EQ(nullptr, noFile.logPath);
  // A fault does not hide the switches behind it: /quiet still keeps the box away.
  CommandLine faulty = parse({L"/bogus", L"/quiet", L"/log", L"x.log"});
  EXPECT_EQ(RunMode::Invalid, faulty.mode);
  EXPECT_TRUE(faulty.quiet);
  EXPECT_STREQ(L"x.log", faulty.logPath);
}

TEST(Unattended, UninstallRemovesAProgIdAndOneThatIsNotThereIsNothingToRemove) {
  ForgetTestControls();
  ASSERT_EQ(0u, RunUnattended(Exe(), L"/install " + Quoted(WindowsPath(TESTCTL_DLL)) + L" /quiet", nullptr,
                              RunBound).exitCode);
  ASSERT_TRUE(KeyExists(TestProgId));
  PutKey(L".zco");
  // Letter case as the administrator typed it: the registry's own name is removed.
  std::wstring log = FreshLog(L"uninstall.log");
  UnattendedRun run = RunUnattended(Exe(), L"/uninstall vorn.test.TESTCTL /quiet /log " + Quoted(log), nullptr,
                                    RunBound);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_FALSE(KeyExists(TestProgId));
  EXPECT_FALSE(KeyExists(TestClassKey));
  EXPECT_FALSE(KeyExists(L"Interface\\{7A3C0001-5E21-4B8D-9F14-3C2B1A0D9E51}"));
  EXPECT_FALSE(KeyExists(L"TypeLib\\{7A3C0000-5E21-4B8D-9F14-3C2B1A0D9E51}"));
  EXPECT_FALSE(KeyExists(L".zco"));
  std::vector<std::wstring> lines = LogLines(log);
  auto removed = Events(lines, L"remove", TestProgId);
  ASSERT_EQ(1u, removed.size()) << Show(lines);
  EXPECT_EQ(L"ok", removed[0][3]);
  ExpectSummary(lines, 0, L"1 succeeded, 0 failed");

  // Again, and a ProgID that was never there: nothing to remove, success.
  log = FreshLog(L"again.log");
  run = RunUnattended(Exe(), L"/x Vorn.Test.testctl Vorn.Never.Installed /qn /log " + Quoted(log), nullptr, RunBound);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(0u, run.exitCode);
  lines = LogLines(log);
  auto absent = Events(lines, L"remove", L"Vorn.Never.Installed");
  ASSERT_EQ(1u, absent.size()) << Show(lines);
  EXPECT_EQ(L"ok", absent[0][3]);
  EXPECT_EQ(L"not installed; nothing to remove", absent[0][4]);
  ExpectSummary(lines, 0, L"2 succeeded, 0 failed");
}

TEST(Unattended, UninstallAllRemovesEveryControlTheQueryFindsAndListShowsThem) {
  const std::wstring uploaderClass = L"CLSID\\{5D3E71A2-C42B-4e19-9B3D-2F7A60C81E42}";
  const std::wstring names[] = {L"Vorn.Test.one", L"VORN.Test.two", L"PDF.Vthree"};
  for (const std::wstring& name : names) PutKey(name + L"\\CLSID", L"{7A3C00F0-5E21-4B8D-9F14-3C2B1A0D9E51}");
  PutKey(L"Vorn.LargeDataUploader\\CLSID", L"{5D3E71A2-C42B-4e19-9B3D-2F7A60C81E42}");
  PutKey(uploaderClass);
  PutKey(L"Other.Maker.Control\\CLSID", L"{7A3C00FE-5E21-4B8D-9F14-3C2B1A0D9E51}");

  // /list: the maker's ProgIDs, one a line, and nothing else on standard output.
  std::wstring output = FreshLog(L"list.txt");
  std::wstring folder = output.substr(0, output.rfind(L'\\'));
  CreateDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str(), nullptr);
  CreateDirectoryW(folder.c_str(), nullptr);
  HANDLE file = InheritableFile(output);
  UnattendedRun run = RunUnattended(Exe(), L"/list", file, RunBound);
  CloseHandle(file);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(0u, run.exitCode);
  std::vector<std::wstring> listed = Lines(Utf8ToWide(FileBytes(output)));
  for (const std::wstring& name : names)
    EXPECT_NE(std::find(listed.begin(), listed.end(), name), listed.end()) << Ascii(name) << Show(listed);
  EXPECT_NE(std::find(listed.begin(), listed.end(), L"Vorn.LargeDataUploader"), listed.end());
  for (const std::wstring& line : listed) {
    bool maker = line.rfind(L"Vorn.", 0) == 0 || line.rfind(L"VORN.", 0) == 0 || line.rfind(L"PDF.V", 0) == 0;
    EXPECT_TRUE(maker) << Ascii(line);
  }

  std::wstring log = FreshLog(L"all.log");
  run = RunUnattended(Exe(), L"/uninstall /all /quiet /norestart /log " + Quoted(log), nullptr, RunBound);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(0u, run.exitCode);
  for (const std::wstring& name : names) EXPECT_FALSE(KeyExists(name)) << Ascii(name);
  EXPECT_FALSE(KeyExists(L"Vorn.LargeDataUploader"));
  EXPECT_FALSE(KeyExists(uploaderClass));  // the special route of 32-bit Windows for this build
  EXPECT_TRUE(KeyExists(L"Other.Maker.Control\\CLSID"));
  std::vector<std::wstring> lines = LogLines(log);
  EXPECT_EQ(listed.size(), Events(lines, L"remove").size()) << Show(lines);
  for (const auto& fields : Events(lines, L"remove")) EXPECT_EQ(L"ok", fields[3]) << Ascii(fields[2]);
  ExpectSummary(lines, 0, std::to_wstring(listed.size()) + L" succeeded, 0 failed");

  // Nothing left: nothing to remove.
  log = FreshLog(L"none.log");
  run = RunUnattended(Exe(), L"/uninstall /all /quiet /log " + Quoted(log), nullptr, RunBound);
  EXPECT_EQ(0u, run.exitCode);
  lines = LogLines(log);
  EXPECT_EQ(1u, Events(lines, L"remove").size()) << Show(lines);
  ExpectSummary(lines, 0, L"0 succeeded, 0 failed");
  RemoveTree(L"Other.Maker.Control");
}

// Runs are one at a time: a second one waits for the first, and gets 1618 (which the tools
// retry) when the first does not end within the bound.
TEST(Unattended, RunsAreOneAtATime) {
  std::wstring cabinet = Quoted(WindowsPath(SAMPLE_CAB));
  ForgetTestControls();
  std::wstring logs[2] = {FreshLog(L"first.log"), FreshLog(L"second.log")};
  StartedRun first = StartUnattended(Exe(), L"/install " + cabinet + L" /quiet /log " + Quoted(logs[0]), nullptr);
  StartedRun second = StartUnattended(Exe(), L"/install " + cabinet + L" /quiet /log " + Quoted(logs[1]), nullptr);
  UnattendedRun one = FinishUnattended(first, RunBound);
  UnattendedRun two = FinishUnattended(second, RunBound);
  EXPECT_RAN_WITHOUT_WINDOW(one);
  EXPECT_RAN_WITHOUT_WINDOW(two);
  EXPECT_EQ(0u, one.exitCode);
  EXPECT_EQ(0u, two.exitCode);
  // Each cabinet in a folder of its own.
  std::wstring folders[2] = {UnpackFolderOf(LogLines(logs[0]), WindowsPath(SAMPLE_CAB)),
                             UnpackFolderOf(LogLines(logs[1]), WindowsPath(SAMPLE_CAB))};
  EXPECT_FALSE(folders[0].empty());
  EXPECT_NE(folders[0], folders[1]);

  // The name the lock had in the global namespace, where any user may create it, held by
  // another process: no run waits for it.
  HANDLE squatted = CreateMutexW(nullptr, TRUE, L"Global\\Ctlwarden.Unattended");
  ASSERT_TRUE(squatted);
  std::wstring log = FreshLog(L"squatted.log");
  UnattendedRun free = RunUnattended(Exe(), L"/uninstall Vorn.Never.Installed /quiet /log " + Quoted(log), nullptr,
                                     RunBound);
  CloseHandle(squatted);
  EXPECT_RAN_WITHOUT_WINDOW(free);
  EXPECT_EQ(0u, free.exitCode);
  EXPECT_TRUE(Events(LogLines(log), L"wait").empty()) << Show(LogLines(log));

  // Another run holds the lock for a while: this one waits, then runs.
  RunLock held;
  DWORD error = 0;
  ASSERT_TRUE(OpenRunLock(held, &error)) << error;
  ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForRunLock(held, 0));
  log = FreshLog(L"waited.log");
  StartedRun waiting = StartUnattended(Exe(), L"/uninstall Vorn.Never.Installed /quiet /log " + Quoted(log), nullptr);
  EXPECT_TRUE(WaitUntil([&] { return !Events(LogLines(log), L"wait").empty(); }, RunBound));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(waiting.process.hProcess, 0));
  ReleaseRunLock(held);
  UnattendedRun waited = FinishUnattended(waiting, RunBound);
  EXPECT_EQ(0u, waited.exitCode);
  auto wait = Events(LogLines(log), L"wait");
  ASSERT_EQ(1u, wait.size());
  EXPECT_EQ(L"info", wait[0][3]);

  // It holds the lock past the bound: 1618, and nothing was done.
  ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForRunLock(held, 0));
  PutKey(L"Vorn.Test.kept\\CLSID", L"{7A3C00FF-5E21-4B8D-9F14-3C2B1A0D9E51}");
  log = FreshLog(L"busy.log");
  UnattendedRun busy = RunUnattended(Exe(), L"/uninstall Vorn.Test.kept /quiet /log " + Quoted(log), nullptr,
                                     RunBound);
  ReleaseRunLock(held);
  EXPECT_RAN_WITHOUT_WINDOW(busy);
  EXPECT_EQ(1618u, busy.exitCode);
  EXPECT_TRUE(KeyExists(L"Vorn.Test.kept"));
  std::vector<std::wstring> lines = LogLines(log);
  wait = Events(lines, L"wait");
  ASSERT_EQ(2u, wait.size()) << Show(lines);
  EXPECT_EQ(L"failed", wait[1][3]);
  ExpectSummary(lines, 1618, L"0 succeeded, 0 failed");
  RemoveTree(L"Vorn.Test.kept");
  ForgetTestControls();
}

// What Explorer passes for a file dropped on the program's icon: the window opens and handles
// the file as if it had been dropped on it.
TEST(Unattended, OnePathOpensTheWindowWithTheFileHandledAsDropped) {
  std::wstring control = WindowsPath(TESTCTL_DLL);
  ForgetTestControls();
  Program program;
  ASSERT_TRUE(program.Start(Exe(), 20000, nullptr, Quoted(control)));
  std::wstring expected = L"拖入文件路径：" + control + L"\r\n注册状态：文件注册成功！";
  EXPECT_TRUE(WaitUntil([&] { return TextOf(program.StatusBox()) == expected; }, 15000))
      << testing::PrintToString(TextOf(program.StatusBox()));
  EXPECT_EQ(control, TextOf(program.PathBox()));
  EXPECT_TRUE(WaitUntil([&] { return KeyExists(TestProgId); }, 60000));
  PostMessageW(program.CloseButton(), BM_CLICK, 0, 0);
  DWORD exitCode = 1234;
  EXPECT_TRUE(program.Ended(&exitCode, 20000));
  EXPECT_EQ(0u, exitCode);
  ForgetTestControls();
}

// Started by a tool with no console and no /log: the default log. Started by hand with a
// mistake and no console: the usage in a box (the only box an unattended run may show), which
// also shows that the window watch of these cases sees a window when there is one.
TEST(Unattended, WithoutConsoleOrLogTheDefaultLogAndAMistakeByHandGetsTheUsageInABox) {
  wchar_t windows[MAX_PATH] = {};
  GetSystemWindowsDirectoryW(windows, MAX_PATH);
  std::wstring defaultLog = std::wstring(windows) + L"\\Logs\\Ctlwarden.log";
  size_t before = FileBytes(defaultLog).size();
  UnattendedRun run = RunUnattended(Exe(), L"/uninstall Vorn.Never.Installed /quiet", nullptr, RunBound);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(0u, run.exitCode);
  std::string bytes = FileBytes(defaultLog);
  ASSERT_GT(bytes.size(), before);
  EXPECT_TRUE(HasByteOrderMark(bytes));
  std::vector<std::wstring> lines = Lines(Utf8ToWide(bytes.substr(before ? before : 3)));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(L"# Ctlwarden " CTLWARDEN_VERSION_TEXT L" unattended run [pid " + std::to_wstring(run.processId) + L"]",
            lines[0]);
  EXPECT_EQ(1u, Events(lines, L"remove", L"Vorn.Never.Installed").size()) << Show(lines);
  ExpectSummary(lines, 0, L"1 succeeded, 0 failed");

  run = RunUnattended(Exe(), L"/bogus", nullptr, RunBound);
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(1639u, run.exitCode);
  // Wine gives the thread that makes a window an input-method window of its own.
  run.windows.erase(std::remove_if(run.windows.begin(), run.windows.end(),
                                   [](const std::wstring& w) { return w.rfind(L"IME:", 0) == 0; }),
                    run.windows.end());
  ASSERT_EQ(1u, run.windows.size()) << testing::PrintToString(run.windows);
  EXPECT_EQ(0u, run.windows[0].rfind(L"#32770: Ctlwarden: 命令行无效：未知的开关: /bogus\r\n\r\n用法:", 0))
      << Ascii(run.windows[0]);

  run = RunUnattended(Exe(), L"/bogus /quiet", nullptr, RunBound);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(1639u, run.exitCode);

  // /? with an output: the usage there, and 0.
  std::wstring output = FreshLog(L"usage.txt");
  std::wstring folder = output.substr(0, output.rfind(L'\\'));
  CreateDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str(), nullptr);
  CreateDirectoryW(folder.c_str(), nullptr);
  HANDLE file = InheritableFile(output);
  run = RunUnattended(Exe(), L"/?", file, RunBound);
  CloseHandle(file);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_NE(std::wstring::npos, Utf8ToWide(FileBytes(output)).find(L"/uninstall /all"));
}

namespace {

std::wstring DefaultLog() {
  wchar_t windows[MAX_PATH] = {};
  GetSystemWindowsDirectoryW(windows, MAX_PATH);
  return std::wstring(windows) + L"\\Logs\\Ctlwarden.log";
}

// A new folder under the work folder, made by the test.
std::wstring FreshFolder(const wchar_t* name) {
  std::wstring log = FreshLog(name);
  std::wstring folder = log.substr(0, log.rfind(L'\\'));
  CreateDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str(), nullptr);
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

// A Unix symbolic link, made by the system's ln: Wine 8 makes none itself. It shows a link to a
// folder as a reparse point, a link to a file as the file, a link to nowhere as nothing. Both
// paths on Wine's Z: drive, which maps the Unix root. False when ln cannot be started.
bool MakeUnixLink(const std::wstring& target, const std::wstring& link) {
  auto unix = [](std::wstring path) {
    if (path.size() < 3 || (path[0] != L'Z' && path[0] != L'z') || path[1] != L':') return std::wstring();
    path = path.substr(2);
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return path;
  };
  if (unix(target).empty() || unix(link).empty()) return false;
  std::wstring commandLine = L"ln -s \"" + unix(target) + L"\" \"" + unix(link) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(L"Z:\\bin\\ln", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return false;
  WaitForSingleObject(process.hProcess, 20000);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return true;
}

bool HasEnd(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The lines of the default log that the run with this process id wrote.
std::vector<std::wstring> DefaultLogLinesOf(DWORD processId) {
  std::wstring mark = L"[pid " + std::to_wstring(processId) + L"]";
  std::vector<std::wstring> found;
  bool inHeader = false;
  for (const std::wstring& line : LogLines(DefaultLog())) {
    // Process ids come round again: an earlier run of the same id wrote a block of its own
    // before, and each run's block is whole, so the last one is this run's.
    if (line.rfind(L"# Ctlwarden ", 0) == 0) {
      inHeader = HasEnd(line, mark);
      if (inHeader) found.clear();
    }
    bool header = !line.empty() && line[0] == L'#';
    if ((header && inHeader) || (!header && !Fields(line).empty() && HasEnd(Fields(line)[0], mark)))
      found.push_back(line);
  }
  return found;
}

}  // namespace

// A /log path through a link or junction, in any folder or as the file itself, is refused:
// nothing is written at the link's target, nothing is done, and the reason is on standard
// error and in the default log.
TEST(UnattendedLog, ALogPathThroughALinkIsRefusedAndNothingIsWrittenAtItsTarget) {
  std::wstring folder = FreshFolder(L"links");
  std::wstring target = folder + L"\\target";
  CreateDirectoryW(target.c_str(), nullptr);
  WriteBytes(target + L"\\system.dll", "MZ the system's file");
  if (!MakeUnixLink(target, folder + L"\\linked") ||
      !(GetFileAttributesW((folder + L"\\linked").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT))
    GTEST_SKIP() << "no Unix symbolic link can be made here";
  ASSERT_TRUE(MakeUnixLink(target + L"\\system.dll", folder + L"\\file.log"));
  ASSERT_TRUE(MakeUnixLink(target + L"\\made.log", folder + L"\\dangling.log"));
  std::wstring control = Quoted(WindowsPath(TESTCTL_DLL));
  ForgetTestControls();
  std::vector<std::wstring> logs = {folder + L"\\linked\\system.dll", folder + L"\\linked\\new\\x.log",
                                    folder + L"\\file.log", folder + L"\\dangling.log"};
  // Another name of the file (a hard link): it is the same file.
  if (CreateHardLinkW((folder + L"\\hard.log").c_str(), (target + L"\\system.dll").c_str(), nullptr))
    logs.push_back(folder + L"\\hard.log");
  for (const std::wstring& log : logs) {
    std::wstring errorPath = FreshFolder(L"stderr") + L"\\stderr.txt";
    HANDLE error = InheritableFile(errorPath);
    StartOptions options;
    options.stderrFile = error;
    StartedRun started = StartUnattended(Exe(), L"/install " + control + L" /quiet /log " + Quoted(log), options);
    UnattendedRun run = FinishUnattended(started, RunBound);
    CloseHandle(error);
    EXPECT_RAN_WITHOUT_WINDOW(run);
    EXPECT_EQ(1622u, run.exitCode) << Ascii(log);
    EXPECT_FALSE(KeyExists(TestProgId)) << Ascii(log);
    EXPECT_EQ("MZ the system's file", FileBytes(target + L"\\system.dll")) << Ascii(log);
    EXPECT_FALSE(Exists(target + L"\\made.log")) << Ascii(log);
    EXPECT_FALSE(Exists(target + L"\\new")) << Ascii(log);
    std::wstring reason = HasEnd(log, L"hard.log")
                              ? L"the log file has other names (hard links); nothing is written there"
                              : L"the log path leads through a link or junction; nothing is written there";
    EXPECT_NE(std::wstring::npos, Utf8ToWide(FileBytes(errorPath)).find(reason)) << Ascii(log);
    std::vector<std::wstring> lines = DefaultLogLinesOf(run.processId);
    auto refused = Events(lines, L"log", log);
    ASSERT_EQ(1u, refused.size()) << Show(lines);
    EXPECT_EQ(L"failed", refused[0][3]);
    EXPECT_EQ(reason, refused[0][4]);
    ExpectSummary(lines, 1622, L"0 succeeded, 0 failed");
  }
}

// Names and the command line as the log shows them: a tab, a line break or another control
// character in a ProgID or a path makes no field and no line of its own.
TEST(UnattendedLog, ControlCharactersInNamesAndTheCommandLineAreEscaped) {
  std::wstring log = FreshLog(L"escaped.log");
  std::wstring missing = Work() + L"\\a\tb\x7F\\x1F.ocx";
  // A line break inside a quoted argument is passed on as it is.
  UnattendedRun run = RunUnattended(
      Exe(), L"/uninstall \"Vorn.a\r\nforged\tok\" \"Vorn.b\x01\" /quiet /log " + Quoted(log), nullptr,
      RunBound);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(0u, run.exitCode);  // names that are not installed: nothing to remove
  std::vector<std::wstring> lines = LogLines(log);
  auto checked = Events(lines, L"remove");
  ASSERT_EQ(2u, checked.size()) << Show(lines);
  // \xNN for each control character. (A text with a backslash would be taken for a file.)
  EXPECT_EQ(L"Vorn.a\\x0D\\x0Aforged\\x09ok", checked[0][2]);
  EXPECT_EQ(L"Vorn.b\\x01", checked[1][2]);
  EXPECT_EQ(L"ok", checked[0][3]);
  for (const std::wstring& line : lines) EXPECT_NE(0u, line.rfind(L"forged", 0)) << Ascii(line);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(std::wstring::npos, lines[1].find(L"\"Vorn.a\\x0D\\x0Aforged\\x09ok\"")) << Ascii(lines[1]);
  ExpectSummary(lines, 0, L"2 succeeded, 0 failed");

  log = FreshLog(L"tab.log");
  run = RunUnattended(Exe(), L"/install " + Quoted(missing) + L" /quiet /log " + Quoted(log), nullptr, RunBound);
  EXPECT_EQ(1619u, run.exitCode);
  lines = LogLines(log);
  auto missed = Events(lines, L"check", Work() + L"\\a\\x09b\\x7F\\x5Cx1F.ocx");
  ASSERT_EQ(1u, missed.size()) << Show(lines);
  EXPECT_EQ(6u, missed[0].size());
  ExpectSummary(lines, 1619, L"0 succeeded, 0 failed");
}

// A command line longer than a log line's room: the header keeps its four lines, the command
// line cut with a mark, and the summary is still the last line.
TEST(UnattendedLog, AHeaderLongerThanItsRoomKeepsItsLinesAndTheSummaryIsLast) {
  std::wstring names;
  for (int i = 0; i < 300; ++i) names += L" Vorn.Never.Installed.Control" + std::to_wstring(i);
  std::wstring log = FreshLog(L"long.log");
  UnattendedRun run = RunUnattended(Exe(), L"/uninstall" + names + L" /quiet /log " + Quoted(log), nullptr, RunBound);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(0u, run.exitCode);
  std::wstring text = Utf8ToWide(FileBytes(log));
  std::vector<std::wstring> lines = Lines(text);
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(0u, lines[0].rfind(L"# Ctlwarden ", 0)) << Show(lines);
  EXPECT_EQ(0u, lines[1].rfind(L"# Command line: \"", 0));
  EXPECT_TRUE(HasEnd(lines[1], L" [...]")) << Ascii(lines[1].substr(lines[1].size() - 40));
  EXPECT_GT(lines[1].size(), 3000u);
  EXPECT_EQ(0u, lines[2].rfind(L"# Account: ", 0)) << Show(lines);
  EXPECT_EQ(0u, lines[3].rfind(L"# Process: ", 0)) << Show(lines);
  EXPECT_EQ(300u, Events(lines, L"remove").size());
  ExpectSummary(lines, 0, L"300 succeeded, 0 failed");
  EXPECT_TRUE(HasEnd(text, L"failed\r\n"));
}

// A mistyped command line is one line in the log (the usage goes to the output only); /log
// followed by a switch has no file name; /passive is msiexec's /quiet.
TEST(UnattendedLog, AMistypedCommandLineIsOneLogLineAndLogNeedsAFileName) {
  std::wstring good = Quoted(WindowsPath(TESTCTL_DLL));
  ForgetTestControls();
  wchar_t windows[MAX_PATH] = {};
  GetSystemWindowsDirectoryW(windows, MAX_PATH);
  // Started in the Windows folder, with "-quiet": taken for the log, it would be a file there
  // (Wine takes "/quiet" for the Unix root's).
  UnattendedRun run = RunUnattended(Exe(), L"/install " + good + L" /log -quiet", nullptr, RunBound, windows);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(1639u, run.exitCode);
  EXPECT_FALSE(KeyExists(TestProgId));
  std::vector<std::wstring> lines = DefaultLogLinesOf(run.processId);
  auto fault = Events(lines, L"command-line");
  ASSERT_EQ(1u, fault.size()) << Show(lines);
  EXPECT_EQ(L"/log 后面缺少日志文件: /log", fault[0][4]);
  EXPECT_FALSE(Exists(std::wstring(windows) + L"\\-quiet"));

  std::wstring log = FreshLog(L"mistyped.log");
  std::wstring output = FreshFolder(L"out") + L"\\stdout.txt";
  HANDLE file = InheritableFile(output);
  run = RunUnattended(Exe(), L"/bogus /quiet /log " + Quoted(log), file, RunBound);
  CloseHandle(file);
  EXPECT_EQ(1639u, run.exitCode);
  lines = LogLines(log);
  ASSERT_EQ(6u, lines.size()) << Show(lines);  // the header, the fault, the summary
  EXPECT_EQ(1u, Events(lines, L"command-line").size()) << Show(lines);
  ExpectSummary(lines, 1639, L"0 succeeded, 0 failed");
  EXPECT_NE(std::wstring::npos, Utf8ToWide(FileBytes(output)).find(L"用法:"));
  for (const std::wstring& line : DefaultLogLinesOf(run.processId)) EXPECT_EQ(std::wstring::npos, line.find(L"用法"));

  run = RunUnattended(Exe(), L"/install " + good + L" /passive", nullptr, RunBound);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_TRUE(KeyExists(TestProgId));
  ForgetTestControls();
}

// %NAME% in the /log path is the environment's, as a tool passes it unexpanded; a name that
// is not set is refused rather than made a folder.
TEST(UnattendedLog, EnvironmentNamesInTheLogPathAreExpanded) {
  std::wstring folder = FreshFolder(L"expanded");
  ASSERT_TRUE(SetEnvironmentVariableW(L"CTLWARDEN_TEST_LOGS", folder.c_str()));
  UnattendedRun run = RunUnattended(Exe(), L"/uninstall Vorn.Never.Installed /quiet /log %CTLWARDEN_TEST_LOGS%\\new\\run.log",
                                    nullptr, RunBound, folder);
  SetEnvironmentVariableW(L"CTLWARDEN_TEST_LOGS", nullptr);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(0u, run.exitCode);
  std::vector<std::wstring> lines = LogLines(folder + L"\\new\\run.log");
  EXPECT_EQ(1u, Events(lines, L"remove", L"Vorn.Never.Installed").size()) << Show(lines);
  EXPECT_FALSE(Exists(folder + L"\\%CTLWARDEN_TEST_LOGS%"));

  run = RunUnattended(Exe(), L"/uninstall Vorn.Never.Installed /quiet /log \"%CTLWARDEN_NOT_SET%\\run.log\"", nullptr,
                      RunBound, folder);
  EXPECT_RAN_WITHOUT_WINDOW(run);
  EXPECT_EQ(1622u, run.exitCode);
  EXPECT_FALSE(Exists(folder + L"\\%CTLWARDEN_NOT_SET%"));
  lines = DefaultLogLinesOf(run.processId);
  auto refused = Events(lines, L"log");
  ASSERT_EQ(1u, refused.size()) << Show(lines);
  EXPECT_EQ(L"the log path names an environment variable that is not set", refused[0][4]);

  // Behind a "%%", which names nothing, too.
  run = RunUnattended(Exe(), L"/uninstall Vorn.Never.Installed /quiet /log \"%%\\%CTLWARDEN_NOT_SET%\\run.log\"", nullptr,
                      RunBound, folder);
  EXPECT_EQ(1622u, run.exitCode);
  EXPECT_FALSE(Exists(folder + L"\\%%"));
}

// The default log gets every run, also one with a /log and a redirected output; over 1 MiB at
// the start of a run it becomes Ctlwarden.old.log, replacing the older one.
TEST(UnattendedLog, TheDefaultLogIsAlwaysWrittenAndKeptToItsBound) {
  std::wstring log = FreshLog(L"also.log");
  std::wstring output = FreshFolder(L"out") + L"\\stdout.txt";
  HANDLE file = InheritableFile(output);
  UnattendedRun run = RunUnattended(Exe(), L"/uninstall Vorn.Never.Installed /quiet /log " + Quoted(log), file, RunBound);
  CloseHandle(file);
  EXPECT_EQ(0u, run.exitCode);
  std::vector<std::wstring> lines = DefaultLogLinesOf(run.processId);
  EXPECT_EQ(1u, Events(lines, L"remove", L"Vorn.Never.Installed").size()) << Show(lines);
  ExpectSummary(lines, 0, L"1 succeeded, 0 failed");
  EXPECT_EQ(lines.size(), LogLines(log).size());

  std::wstring old = DefaultLog().substr(0, DefaultLog().size() - 4) + L".old.log";
  WriteBytes(old, "an older log");
  std::string big = FileBytes(DefaultLog()) + std::string(1024 * 1024, 'x') + "\r\n";
  WriteBytes(DefaultLog(), big);
  run = RunUnattended(Exe(), L"/uninstall Vorn.Never.Installed /quiet", nullptr, RunBound);
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_TRUE(FileBytes(old) == big);
  std::string bytes = FileBytes(DefaultLog());
  EXPECT_TRUE(HasByteOrderMark(bytes));
  EXPECT_LT(bytes.size(), 4096u);
  lines = LogLines(DefaultLog());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.size(), DefaultLogLinesOf(run.processId).size());
  ExpectSummary(lines, 0, L"1 succeeded, 0 failed");
}

// Two runs writing one log: each run's lines, header to summary, stay together and carry its
// process id; the only line that may fall inside another's block is a run's "wait" line.
TEST(UnattendedLog, TwoRunsSharingALogKeepTheirBlocksWhole) {
  std::wstring cabinet = Quoted(WindowsPath(SAMPLE_CAB));
  ForgetTestControls();
  std::wstring log = FreshLog(L"shared.log");
  StartedRun first = StartUnattended(Exe(), L"/install " + cabinet + L" /quiet /log " + Quoted(log), nullptr);
  StartedRun second = StartUnattended(Exe(), L"/install " + cabinet + L" /quiet /log " + Quoted(log), nullptr);
  StartedRun third = StartUnattended(Exe(), L"/uninstall Vorn.Never.Installed /quiet /log " + Quoted(log), nullptr);
  UnattendedRun runs[] = {FinishUnattended(first, RunBound), FinishUnattended(second, RunBound),
                          FinishUnattended(third, RunBound)};
  std::vector<std::wstring> lines = LogLines(log);
  std::vector<std::wstring> owners;  // the process id of each block, in order
  std::wstring owner;
  for (const std::wstring& line : lines) {
    if (line.rfind(L"# Ctlwarden ", 0) == 0) {
      EXPECT_TRUE(owner.empty()) << "a header inside a block:\n" << Show(lines);
      owner = line.substr(line.rfind(L"[pid "));
      owners.push_back(owner);
      continue;
    }
    if (line[0] == L'#') {
      EXPECT_FALSE(owner.empty()) << Show(lines);
      continue;
    }
    std::vector<std::wstring> fields = Fields(line);
    ASSERT_GE(fields.size(), 5u) << Show(lines);
    std::wstring mark = fields[0].substr(fields[0].rfind(L"[pid "));
    if (fields[1] == L"wait" && fields[3] == L"info") continue;
    EXPECT_EQ(owner, mark) << Show(lines);
    if (fields[1] == L"summary") owner.clear();
  }
  EXPECT_TRUE(owner.empty());
  ASSERT_EQ(3u, owners.size()) << Show(lines);
  for (const UnattendedRun& run : runs) {
    EXPECT_RAN_WITHOUT_WINDOW(run);
    EXPECT_EQ(0u, run.exitCode);
    std::wstring mark = L"[pid " + std::to_wstring(run.processId) + L"]";
    EXPECT_EQ(1, std::count(owners.begin(), owners.end(), mark)) << Ascii(mark);
  }
  ForgetTestControls();
}

// A forgotten /install where no one sees a window (here: a window station of its own, which
// is not visible, as a service's; session 0 is checked on Windows only): 1639, and the log
// says to use /install.
TEST(Unattended, ASinglePathWhereNoOneSeesTheWindowGives1639AndOpensNone) {
  HWINSTA station = CreateWindowStationW(L"CtlwardenTestStation", 0, WINSTA_ALL_ACCESS, nullptr);
  ASSERT_TRUE(station);
  HWINSTA own = GetProcessWindowStation();
  ASSERT_TRUE(SetProcessWindowStation(station));
  HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  SetProcessWindowStation(own);
  ASSERT_TRUE(desktop);
  std::wstring control = WindowsPath(TESTCTL_DLL);
  ForgetTestControls();
  StartOptions options;
  options.desktop = L"CtlwardenTestStation\\Default";
  StartedRun started = StartUnattended(Exe(), Quoted(control), options);
  UnattendedRun run = FinishUnattended(started, RunBound);
  CloseDesktop(desktop);
  CloseWindowStation(station);
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(1639u, run.exitCode);
  EXPECT_FALSE(KeyExists(TestProgId));
  std::vector<std::wstring> lines = DefaultLogLinesOf(run.processId);
  auto fault = Events(lines, L"command-line");
  ASSERT_EQ(1u, fault.size()) << Show(lines);
  EXPECT_EQ(L"没有用户可见的桌面，不会打开窗口：无人值守安装请用 /install: " + control, fault[0][4]);
  ExpectSummary(lines, 1639, L"0 succeeded, 0 failed");
}
