// The shipped 32-bit program as users run it on 64-bit Windows: a 32-bit process under WoW64,
// where the registry shows it the 32-bit view of "CLSID" and "Interface", and cmd.exe and
// regsvr32 are the 32-bit ones. This test is a 64-bit process beside it, so it sees both views:
// "Wow6432Node\\..." below HKEY_CLASSES_ROOT is the 32-bit view, the plain paths the 64-bit one.
//
// Every 32-bit process start costs tens of seconds under emulation, so the program is started
// once for the whole suite and the cases run in the order a user would work: drops first, the
// registrations they launched go on meanwhile, then the uninstall view, then closing. A case
// finds the program as the cases before it left it.
//
// The program is started as a double-click in a Downloads folder starts it: from a folder of
// its own that is also its current directory, where cabinet.dll, cmd.exe and regsvr32 (.exe,
// .com, .bat) of a download lie beside it, and with Wine told to look for cabinet.dll as
// Windows does. None of them may run; the system's 32-bit regsvr32 registers as before.
#include <windows.h>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <string>
#include <utility>

#include "tests/app/program_driver.h"
#include "tests/unattended/unattended_driver.h"
#include "tests/common/planted_files.h"
#include "tests/common/registry_fixture.h"
#include "tests/common/wait.h"
#include "tests/core/register/drop_support.h"
#include "tests/core/register/fci_cabinet.h"

namespace {

// Bounds for an emulated 32-bit process on a busy machine; none is reached when all is well.
constexpr unsigned StartBound = 400000;         // the program's window is shown
constexpr unsigned DropBound = 400000;          // a drop is handled (it starts cmd.exe)
constexpr unsigned RegistrationBound = 600000;  // cmd.exe and regsvr32 have both run
constexpr unsigned AnswerBound = 180000;        // a query, a removal, a box, the end

// The GUIDs that the project's test control registers.
const std::wstring ClassId = L"{7A3C0002-5E21-4b8d-9F14-3C2B1A0D9E51}";
const std::wstring InterfaceId = L"{7A3C0001-5E21-4B8D-9F14-3C2B1A0D9E51}";
const std::wstring LibraryId = L"{7A3C0000-5E21-4B8D-9F14-3C2B1A0D9E51}";
// Two more interfaces of the control's library; with the registered one they stand next to
// each other in the enumeration, so one sweep leaves the middle one and only a second sweep
// over the same view takes it.
const std::wstring MoreInterfaces[] = {L"{7A3C0003-5E21-4B8D-9F14-3C2B1A0D9E51}",
                                       L"{7A3C0004-5E21-4B8D-9F14-3C2B1A0D9E51}"};

const std::wstring CabProgId = L"Vorn.Test.wowcab";
const std::wstring SingleProgId = L"Vorn.Test.wowsingle";
const std::wstring WrongBitsProgId = L"Vorn.Test.wow64bit";
// A special ProgID with its fixed GUIDs.
const std::wstring Uploader = L"Vorn.LargeDataUploader";
const std::wstring UploaderClass = L"{5D3E71A2-C42B-4e19-9B3D-2F7A60C81E42}";
const std::wstring UploaderLibrary = L"{5D3E71A0-C42B-4E19-9B3D-2F7A60C81E42}";

// The cabinet: the 32-bit control (read-only) and a hidden text, with a time of their own.
constexpr USHORT CabDate = 0x5A4F;  // 2025-02-15
constexpr USHORT CabTime = 0x4C2A;  // 09:33:20
CabEntry CabControl() { return {"wowcab.ocx", ReadWholeFile(HostPath(TESTCTL32_DLL)), CabDate, CabTime, 0x21}; }
CabEntry CabText() { return {"readme.txt", "read me\r\n", CabDate, CabTime, 0x22}; }

const std::string Work = WORK_DIR;
const std::string Downloads = Work + "/Downloads";

// The shipped program and the 32-bit planted files, in the folder the program starts from.
void PlantDownloads() {
  std::wstring folder = HostPath(Downloads.c_str());
  CreateDirectoryW(folder.c_str(), nullptr);
  EmptyFolder(folder);
  const std::pair<const char*, const wchar_t*> files[] = {
      {SHIPPED_EXE, L"ctlwarden.exe"}, {PLANTED32_CABINET_DLL, L"cabinet.dll"},
      {PLANTED32_EXE, L"cmd.exe"},     {PLANTED32_EXE, L"regsvr32.exe"},
      {PLANTED32_EXE, L"regsvr32.com"}, {PLANTED_BAT, L"regsvr32.bat"}};
  for (const auto& file : files)
    CopyFileW(HostPath(file.first).c_str(), (folder + L"\\" + file.second).c_str(), FALSE);
}

Program* Shipped = nullptr;
int Drops = 0;

DWORD ProgramId() { return Shipped->process.dwProcessId; }

// Waits for the condition. A message box of the program ends the wait at once: an
// unexpected box fails the case within seconds, not at the bound.
bool Await(const std::function<bool()>& condition, unsigned bound) {
  bool boxShown = false;
  bool met = WaitUntil([&] {
    boxShown = ShownBox(ProgramId()).window != nullptr;
    return boxShown || condition();
  }, bound);
  return met && !boxShown;
}

// Answers the box and waits until the program has taken it down.
bool AnswerAndWait(const Box& box, int button) {
  Answer(box, button);
  return WaitUntil([&] { return !IsWindow(box.window); }, AnswerBound);
}

std::wstring BoxReport() {
  Box box = ShownBox(ProgramId());
  return box.window ? L"message box \"" + box.caption + L"\": " + box.text : L"no message box";
}

// Drops the file (a Unix path) on the program's window through the X server, as a Linux file
// manager drops on a Wine program: Wine's X driver in the program's own process makes the
// WM_DROPFILES block, so the drop reaches an emulated 32-bit process, into which memory written
// from outside does not. The drop client is a small X program; Wine's CreateProcessW starts
// a Unix executable directly (with no process handle), so it is started from here, with no
// server beside the test to start, keep in step and stop. It writes its outcome into a status
// file. Returns "finished", "box" when the program shows a message box first, or the error.
std::string XDrop(const std::string& unixPath) {
  auto xWindow = reinterpret_cast<ULONG_PTR>(GetPropW(Shipped->window, L"__wine_x11_whole_window"));
  if (!xWindow) return "error: the window has no X window";
  std::string status = Work + "/drop" + std::to_string(++Drops) + ".status";
  std::wstring statusPath = HostPath(status.c_str());
  ForceDelete(statusPath);
  std::wstring commandLine = L"python3 \"" + Widen(XDND_DROP) + L"\" " + std::to_wstring(xWindow) +
                             L" \"" + Widen(unixPath) + L"\" \"" + Widen(status) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(L"Z:\\usr\\bin\\python3", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &started))
    return "error: /usr/bin/python3 did not start";
  if (started.hProcess) CloseHandle(started.hProcess);
  if (started.hThread) CloseHandle(started.hThread);
  std::string outcome;
  WaitUntil([&] {
    if (ShownBox(ProgramId()).window) return (outcome = "box"), true;
    if (FileExists(statusPath)) outcome = ReadWholeFile(statusPath);
    return !outcome.empty();
  }, DropBound);
  return outcome.empty() ? "error: the drop client gave no outcome" : outcome;
}

// The keys of the test control and of the special ProgID, in both views.
void ForgetTestKeys() {
  for (const std::wstring& progId : {CabProgId, SingleProgId, WrongBitsProgId, Uploader})
    RemoveTree(progId);
  for (const wchar_t* view : {L"", L"Wow6432Node\\"}) {
    RemoveTree(view + (L"CLSID\\" + ClassId));
    RemoveTree(view + (L"Interface\\" + InterfaceId));
    RemoveTree(view + (L"CLSID\\" + UploaderClass));
    for (const std::wstring& id : MoreInterfaces) RemoveTree(view + (L"Interface\\" + id));
  }
  RemoveTree(L"TypeLib\\" + LibraryId);
  RemoveTree(L"TypeLib\\" + UploaderLibrary);
}

struct Wow64Program : testing::Test {
  static void SetUpTestSuite() {
    ForgetTestKeys();
    CreateDirectoryW(HostPath(WORK_DIR).c_str(), nullptr);
    CopyFileW(HostPath(TESTCTL32_DLL).c_str(), HostPath((Work + "/wowsingle.ocx").c_str()).c_str(), FALSE);
    CopyFileW(HostPath(TESTCTL64_DLL).c_str(), HostPath((Work + "/wow64bit.ocx").c_str()).c_str(), FALSE);
    WriteCabinet(HostPathAnsi((Work + "/wow.cab").c_str()), {CabControl(), CabText()});
    PlantDownloads();
    PreferNativeCabinet(true);
    Shipped = new Program;
    std::wstring folder = HostPath(Downloads.c_str());
    Shipped->Start(folder + L"\\ctlwarden.exe", StartBound, folder.c_str());
  }
  static void TearDownTestSuite() {
    delete Shipped;  // ends the program if a case left it running
    Shipped = nullptr;
    PreferNativeCabinet(false);
    ForgetTestKeys();
  }
  void SetUp() override {
    ASSERT_TRUE(Shipped->window) << "the shipped program did not show its window";
    ASSERT_EQ(WaitForSingleObject(Shipped->process.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the program has ended";
    Box stray = ShownBox(ProgramId());
    if (stray.window) {
      Answer(stray, IDOK);
      FAIL() << "a message box was left open: " << testing::PrintToString(stray.text);
    }
  }
};

TEST_F(Wow64Program, RunsAsA32BitProcessOn64BitWindows) {
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(Shipped->process.hProcess, &wow64));
  EXPECT_TRUE(wow64);
}

TEST_F(Wow64Program, ADroppedCabinetIsUnpackedAndItsControlRegistered) {
  const std::string cabinet = Work + "/wow.cab";
  time_t before = time(nullptr);
  ASSERT_EQ("finished", XDrop(cabinet)) << BoxReport();
  EXPECT_TRUE(Await([&] { return TextOf(Shipped->PathBox()) == HostPath(cabinet.c_str()); }, AnswerBound));
  std::wstring status;
  ASSERT_TRUE(Await([&] {
    status = TextOf(Shipped->StatusBox());
    return status.find(L"注册状态:") != std::wstring::npos;
  }, AnswerBound)) << testing::PrintToString(status) << BoxReport();
  time_t after = time(nullptr);

  // "C:/VornActiveX/" and the time in seconds of the extraction.
  const std::wstring root = L"C:/VornActiveX/";
  size_t digits = status.find(root);
  ASSERT_NE(digits, std::wstring::npos) << testing::PrintToString(status);
  digits += root.size();
  long long seconds = std::stoll(status.substr(digits, status.find(L'/', digits) - digits));
  EXPECT_GE(seconds, static_cast<long long>(before));
  EXPECT_LE(seconds, static_cast<long long>(after));
  const std::wstring dir = root + std::to_wstring(seconds) + L"/";
  EXPECT_EQ(L"解压文件列表:\r\n" + dir + L"wowcab.ocx\r\n" + dir + L"readme.txt\r\n" +
                L"注册成功文件列表:\r\n" + dir + L"wowcab.ocx\r\n注册状态:注册成功！",
            status);

  // The files, with the cabinet's content, time and attributes.
  for (const CabEntry& entry : {CabControl(), CabText()}) {
    std::wstring file = L"C:\\VornActiveX\\" + std::to_wstring(seconds) + L"\\" + Widen(entry.name);
    WIN32_FILE_ATTRIBUTE_DATA info = {};
    ASSERT_TRUE(GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &info)) << Narrow(file);
    EXPECT_EQ(entry.attribs & 0x27u, info.dwFileAttributes & 0x27u) << entry.name;
    EXPECT_EQ(Ticks(ExpectedUtc(CabDate, CabTime)), Ticks(info.ftLastWriteTime)) << entry.name;
    EXPECT_TRUE(ReadWholeFile(file) == entry.content) << entry.name;
  }
}

TEST_F(Wow64Program, ADroppedControlIsRegistered) {
  const std::string control = Work + "/wowsingle.ocx";
  ASSERT_EQ("finished", XDrop(control)) << BoxReport();
  std::wstring path = HostPath(control.c_str());
  std::wstring expected = L"拖入文件路径：" + path + L"\r\n注册状态：文件注册成功！";
  EXPECT_TRUE(Await([&] { return TextOf(Shipped->StatusBox()) == expected; }, AnswerBound))
      << testing::PrintToString(TextOf(Shipped->StatusBox())) << BoxReport();
  EXPECT_EQ(path, TextOf(Shipped->PathBox()));
}

// The 64-bit build of the same control: a 32-bit process cannot load it.
TEST_F(Wow64Program, AControlOfTheOtherWordSizeGetsTheLoadErrorBox) {
  const std::string control = Work + "/wow64bit.ocx";
  std::string outcome = XDrop(control);  // the box may come before or after the drop's end
  ASSERT_TRUE(outcome == "finished" || outcome == "box") << outcome;
  Box box = WaitForBox(ProgramId(), AnswerBound);
  ASSERT_TRUE(box.window);
  EXPECT_EQ(L"装载ActiveX控件失败！", box.text);
  EXPECT_EQ(L"ERROR", box.caption);
  EXPECT_EQ(Shipped->window, GetWindow(box.window, GW_OWNER));
  ASSERT_TRUE(AnswerAndWait(box, IDOK));
  std::wstring expected = L"拖入文件路径：" + HostPath(control.c_str()) + L"\r\n注册状态：文件注册失败！";
  EXPECT_TRUE(Await([&] { return TextOf(Shipped->StatusBox()) == expected; }, AnswerBound))
      << testing::PrintToString(TextOf(Shipped->StatusBox())) << BoxReport();
}

// 32-bit regsvr32, started by the 32-bit cmd.exe, writes the class and interface keys into
// the 32-bit view; the ProgIDs and the type library are shared by both views.
TEST_F(Wow64Program, TheRegistrationsLandInThe32BitView) {
  EXPECT_TRUE(Await([] {
    return KeyExists(CabProgId + L"\\CLSID") && KeyExists(SingleProgId + L"\\CLSID") &&
           KeyExists(L"Wow6432Node\\CLSID\\" + ClassId + L"\\InprocServer32") &&
           KeyExists(L"Wow6432Node\\Interface\\" + InterfaceId) &&
           KeyExists(L"TypeLib\\" + LibraryId + L"\\1.0\\0\\win32");
  }, RegistrationBound)) << BoxReport();
  EXPECT_FALSE(KeyExists(L"CLSID\\" + ClassId));
  EXPECT_FALSE(KeyExists(L"Interface\\" + InterfaceId));
  EXPECT_FALSE(KeyExists(WrongBitsProgId));
}

// Both drops have been registered by the system's regsvr32 (above); nothing planted beside
// the program ran, at start-up or for the drops.
TEST_F(Wow64Program, NoFilePlantedBesideTheProgramRan) {
  EXPECT_EQ(L"", MarkersIn(HostPath(Downloads.c_str())));
}

// The 64-bit registration of the same GUIDs, the further interfaces in both views, and the
// special ProgID's keys, all made by this 64-bit process: its plain paths are the 64-bit view
// (as with KEY_WOW64_64KEY), "Wow6432Node\\..." the 32-bit one.
void LayOutKeysOfBothViews() {
  PutKey(L"CLSID\\" + ClassId, L"Vorn Test Control");
  PutKey(L"CLSID\\" + ClassId + L"\\TypeLib", LibraryId.c_str());
  PutKey(L"Interface\\" + InterfaceId + L"\\TypeLib", LibraryId.c_str());
  for (const std::wstring& id : MoreInterfaces) {
    PutKey(L"Interface\\" + id + L"\\TypeLib", LibraryId.c_str());
    PutKey(L"Wow6432Node\\Interface\\" + id + L"\\TypeLib", LibraryId.c_str());
  }
  PutKey(Uploader + L"\\CLSID", UploaderClass.c_str());
  PutKey(L"TypeLib\\" + UploaderLibrary + L"\\1.0");
  PutKey(L"CLSID\\" + UploaderClass);
  PutKey(L"Wow6432Node\\CLSID\\" + UploaderClass);
  PutKey(L".zco");
  PutKey(L".zxd");
}

bool Listed(const std::wstring& progId) {
  return ListIndexOf(Shipped->ControlList(), progId.c_str()) >= 0;
}

// Double-clicks the entry and answers the question with yes; false when no question came.
bool RemoveByDoubleClick(const std::wstring& progId) {
  int index = ListIndexOf(Shipped->ControlList(), progId.c_str());
  if (index < 0) return false;
  DoubleClickEntry(Shipped->ControlList(), index);
  Box box = WaitForBox(ProgramId(), AnswerBound);
  if (!box.window) return false;
  EXPECT_EQ(L"   是否卸载？", box.text);
  EXPECT_EQ(L"提示", box.caption);
  return AnswerAndWait(box, IDYES);
}

TEST_F(Wow64Program, ADoubleClickRemovesThe32BitRegistrationAndLeavesThe64BitKeys) {
  LayOutKeysOfBothViews();
  Shipped->ShowUninstallView();
  ASSERT_TRUE(Await([] { return IsWindowVisible(Shipped->ControlList()) != 0; }, AnswerBound));
  PostMessageW(Shipped->QueryButton(), BM_CLICK, 0, 0);
  ASSERT_TRUE(Await([] { return Listed(CabProgId) && Listed(SingleProgId) && Listed(Uploader); },
                    AnswerBound)) << BoxReport();

  ASSERT_TRUE(RemoveByDoubleClick(CabProgId));
  EXPECT_TRUE(Await([] { return !Listed(CabProgId) && Listed(SingleProgId); }, AnswerBound))
      << BoxReport();
  EXPECT_FALSE(KeyExists(CabProgId));
  EXPECT_FALSE(KeyExists(L"Wow6432Node\\CLSID\\" + ClassId));
  // Both sweeps ran over the 32-bit view; the 64-bit keys were never touched.
  for (const std::wstring& id : {InterfaceId, MoreInterfaces[0], MoreInterfaces[1]}) {
    EXPECT_FALSE(KeyExists(L"Wow6432Node\\Interface\\" + id)) << Narrow(id);
    EXPECT_TRUE(KeyExists(L"Interface\\" + id + L"\\TypeLib")) << Narrow(id);
  }
  EXPECT_FALSE(KeyExists(L"TypeLib\\" + LibraryId));
  EXPECT_FALSE(KeyExists(L".zco"));
  EXPECT_FALSE(KeyExists(L".zxd"));
  EXPECT_TRUE(KeyExists(SingleProgId));
  EXPECT_TRUE(KeyExists(L"CLSID\\" + ClassId + L"\\TypeLib"));
}

TEST_F(Wow64Program, TheSpecialProgIdTakesThe64BitWindowsRoute) {
  ASSERT_TRUE(RemoveByDoubleClick(Uploader));
  EXPECT_TRUE(Await([] { return !Listed(Uploader); }, AnswerBound)) << BoxReport();
  EXPECT_FALSE(KeyExists(Uploader));
  EXPECT_FALSE(KeyExists(L"TypeLib\\" + UploaderLibrary));
  EXPECT_FALSE(KeyExists(L"Wow6432Node\\CLSID\\" + UploaderClass));
  EXPECT_TRUE(KeyExists(L"CLSID\\" + UploaderClass));
}

TEST_F(Wow64Program, RemoveAllEmptiesTheList) {
  ASSERT_TRUE(Listed(SingleProgId));
  PostMessageW(Shipped->RemoveAllButton(), BM_CLICK, 0, 0);
  Box box = WaitForBox(ProgramId(), AnswerBound);
  ASSERT_TRUE(box.window);
  EXPECT_EQ(L"是否卸载列表中的全部控件？\r\n如果点击是,请稍等几秒钟,直到列表为空就表示卸载全部操作完成。",
            box.text);
  ASSERT_TRUE(AnswerAndWait(box, IDYES));
  EXPECT_TRUE(Await([] {
    return ListCount(Shipped->ControlList()) == 0;
  }, AnswerBound)) << BoxReport();
  EXPECT_FALSE(KeyExists(SingleProgId));
  EXPECT_TRUE(KeyExists(L"CLSID\\" + ClassId + L"\\TypeLib"));
  EXPECT_TRUE(KeyExists(L"Interface\\" + InterfaceId + L"\\TypeLib"));
}

TEST_F(Wow64Program, TheCloseButtonEndsItWithExitCodeZero) {
  PostMessageW(Shipped->CloseButton(), BM_CLICK, 0, 0);
  DWORD exitCode = 1234;
  ASSERT_TRUE(Shipped->Ended(&exitCode, AnswerBound));
  EXPECT_EQ(0u, exitCode);
}

// The shipped program run unattended, as a deployment tool runs it on 64-bit Windows: a cabinet
// installed and its control removed again, each in one start of the 32-bit program, with no
// window; the registration lands in the 32-bit view and the removal takes it from there.
const std::wstring UnattendedProgId = L"Vorn.Test.wowunatt";

std::vector<std::wstring> EventsOf(const std::wstring& log, const std::wstring& action) {
  std::vector<std::wstring> found;
  for (const std::wstring& line : Lines(Utf8ToWide(ReadWholeFile(log)))) {
    std::vector<std::wstring> fields = Fields(line);
    if (fields.size() >= 5 && fields[1] == action) found.push_back(line);
  }
  return found;
}

TEST(Wow64Unattended, TheShippedProgramInstallsACabinetAndUninstallsItsControl) {
  ForgetTestKeys();
  RemoveTree(UnattendedProgId);
  CreateDirectoryW(HostPath(WORK_DIR).c_str(), nullptr);
  const std::string cabinet = Work + "/unattended.cab";
  ASSERT_TRUE(WriteCabinet(HostPathAnsi(cabinet.c_str()),
                           {{"wowunatt.ocx", ReadWholeFile(HostPath(TESTCTL32_DLL)), CabDate, CabTime, 0x20}}));
  // The 64-bit view holds a key of the same class, which neither run may touch.
  PutKey(L"CLSID\\" + ClassId + L"\\TypeLib", LibraryId.c_str());
  const std::wstring logs = HostPath((Work + "/unattended-logs").c_str());
  ForceDelete(logs + L"\\install.log");
  ForceDelete(logs + L"\\uninstall.log");

  UnattendedRun install = RunUnattended(
      HostPath(SHIPPED_EXE),
      L"/install \"" + HostPath(cabinet.c_str()) + L"\" /quiet /log \"" + logs + L"\\install.log\"", nullptr,
      RegistrationBound);
  ASSERT_TRUE(install.ended);
  EXPECT_TRUE(install.windows.empty()) << testing::PrintToString(install.windows);
  EXPECT_EQ(0u, install.exitCode);
  EXPECT_TRUE(KeyExists(UnattendedProgId + L"\\CLSID"));
  EXPECT_TRUE(KeyExists(L"Wow6432Node\\CLSID\\" + ClassId + L"\\InprocServer32"));
  EXPECT_FALSE(KeyExists(L"CLSID\\" + ClassId + L"\\InprocServer32"));
  const std::wstring installLog = logs + L"\\install.log";
  std::vector<std::wstring> lines = Lines(Utf8ToWide(ReadWholeFile(installLog)));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(L"# Process: 32-bit process on 64-bit Windows (WoW64)", lines[3]);
  std::vector<std::wstring> registered = EventsOf(installLog, L"register");
  ASSERT_EQ(1u, registered.size()) << testing::PrintToString(lines);
  EXPECT_EQ(L"ok", Fields(registered[0])[3]);
  EXPECT_EQ(L"regsvr32 exit code 0", Fields(registered[0])[4]);
  EXPECT_EQ(L"exit=0", Fields(lines.back())[3]);

  UnattendedRun uninstall = RunUnattended(
      HostPath(SHIPPED_EXE), L"/uninstall " + UnattendedProgId + L" /quiet /log \"" + logs + L"\\uninstall.log\"",
      nullptr, RegistrationBound);
  ASSERT_TRUE(uninstall.ended);
  EXPECT_TRUE(uninstall.windows.empty()) << testing::PrintToString(uninstall.windows);
  EXPECT_EQ(0u, uninstall.exitCode);
  EXPECT_FALSE(KeyExists(UnattendedProgId));
  EXPECT_FALSE(KeyExists(L"Wow6432Node\\CLSID\\" + ClassId));
  EXPECT_FALSE(KeyExists(L"TypeLib\\" + LibraryId));
  EXPECT_TRUE(KeyExists(L"CLSID\\" + ClassId + L"\\TypeLib"));
  std::vector<std::wstring> removed = EventsOf(logs + L"\\uninstall.log", L"remove");
  ASSERT_EQ(1u, removed.size());
  EXPECT_EQ(L"ok", Fields(removed[0])[3]);
  ForgetTestKeys();
}

}  // namespace
