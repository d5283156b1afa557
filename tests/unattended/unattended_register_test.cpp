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

std::string FileContent(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  std::string content;
  if (file == INVALID_HANDLE_VALUE) return content;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read) content.append(buffer, read);
  CloseHandle(file);
  return content;
}
std::string FileContent(const char* unixPath) { return FileContent(WindowsPath(unixPath)); }

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

namespace {
// The folders under the unpack root now.
std::vector<std::wstring> UnpackFolders() {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(L"C:\\VornActiveX\\*", &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (found.cFileName[0] != L'.') names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

bool Mentions(const std::vector<std::wstring>& lines, const std::wstring& text) {
  for (const std::wstring& line : lines)
    if (line.find(text) != std::wstring::npos) return true;
  return false;
}
}  // namespace

// Packages that cannot be opened: a text file named .cab and a cabinet at a path longer than
// the cabinet interface opens are refused by the check, before any folder is made; a cabinet
// cut inside its headers fails at the unpacking, as a package, not as a missing file.
TEST_F(UnattendedRegister, PackagesThatCannotBeOpenedHaveTheirOwnCodes) {
  std::string control = FileContent(TESTCTL_DLL);
  std::wstring text = Folder() + L"text.cab";
  std::string words = "This is a text file, renamed.\r\n";
  HANDLE file = CreateFileW(text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, words.data(), static_cast<DWORD>(words.size()), &written, nullptr));
  CloseHandle(file);
  std::vector<std::wstring> before = UnpackFolders();

  UnattendedRun run = Install(Quoted(text), L"text.log");
  EXPECT_EQ(1620u, run.exitCode) << Show();
  auto check = Events(L"check", L"text.cab");
  ASSERT_EQ(1u, check.size()) << Show();
  EXPECT_EQ(L"the package could not be opened: the file is not a cabinet", check[0][4]);
  EXPECT_TRUE(Events(L"unpack", L"").empty()) << Show();

  // 3 × 91 characters of folders: beyond 255 in all, well inside what the program takes.
  std::wstring deep = Folder();
  for (int level = 0; level < 3; ++level) {
    deep += std::wstring(90, static_cast<wchar_t>(L'a' + level)) + L"\\";
    CreateDirectoryW(deep.c_str(), nullptr);
  }
  std::wstring shortCabinet = Folder() + L"short.cab", longCabinet = deep + L"long.cab";
  ASSERT_TRUE(WriteCabinet(Ansi(shortCabinet), {{"X.ocx", control}}));
  ASSERT_TRUE(CopyFileW(shortCabinet.c_str(), longCabinet.c_str(), FALSE));
  run = Install(Quoted(longCabinet), L"long.log");
  EXPECT_EQ(1619u, run.exitCode) << Show();
  check = Events(L"check", L"long.cab");
  ASSERT_EQ(1u, check.size()) << Show();
  EXPECT_EQ(0u, check[0][4].rfind(L"path too long", 0)) << Show();
  EXPECT_FALSE(KeyExists(L"Vorn.Test.X"));
  EXPECT_EQ(before, UnpackFolders());

  // The header whole, the folder and entry records cut off.
  std::string bytes = FileContent(shortCabinet);
  ASSERT_GT(bytes.size(), 44u);
  std::wstring cut = Folder() + L"cut.cab";
  file = CreateFileW(cut.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_TRUE(WriteFile(file, bytes.data(), 40, &written, nullptr));
  CloseHandle(file);
  run = Install(Quoted(cut), L"cut.log");
  EXPECT_EQ(1620u, run.exitCode) << Show();
  auto unpacked = Events(L"unpack", L"cut.cab");
  ASSERT_FALSE(unpacked.empty()) << Show();
  EXPECT_EQ(L"the package could not be opened: the cabinet is damaged before its first entry",
            unpacked.back()[4]);
  EXPECT_FALSE(Mentions(lines, L"error 2:")) << Show();
  EXPECT_FALSE(KeyExists(L"Vorn.Test.X"));
}

// What a failed registration was: regsvr32's code with its meaning, and for a control of the
// other processor the loader's text with the file it names, and what is wrong with it.
TEST_F(UnattendedRegister, AFailedRegistrationSaysWhatWentWrong) {
  std::wstring failing = Folder() + L"failing.ocx";
  ASSERT_TRUE(CopyFileW(WindowsPath(FAILCTL_DLL).c_str(), failing.c_str(), FALSE));
  // The test control, marked as built for the other processor.
  std::string image = FileContent(TESTCTL_DLL);
  ASSERT_GT(image.size(), 0x40u);
  DWORD peOffset = *reinterpret_cast<const DWORD*>(image.data() + 0x3C);
  ASSERT_LT(peOffset + 6, image.size());
  WORD& machine = *reinterpret_cast<WORD*>(&image[peOffset + 4]);
  machine = machine == IMAGE_FILE_MACHINE_AMD64 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
  std::wstring other = Folder() + L"other.ocx";
  HANDLE file = CreateFileW(other.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, image.data(), static_cast<DWORD>(image.size()), &written, nullptr));
  CloseHandle(file);

  UnattendedRun run = Install(Quoted(failing) + L" " + Quoted(other), L"failed.log");
  EXPECT_EQ(1603u, run.exitCode) << Show();
  auto registered = Events(L"register", L"failing.ocx");
  ASSERT_EQ(1u, registered.size()) << Show();
  EXPECT_EQ(L"regsvr32 exit code 5: the control's DllRegisterServer failed", registered[0][4]);
  auto refused = Events(L"error", L"other.ocx");
  ASSERT_EQ(1u, refused.size()) << Show();
  const wchar_t* built = machine == IMAGE_FILE_MACHINE_I386 ? L"built for 32-bit Windows (x86)"
                                                            : L"built for 64-bit Windows (x64)";
  EXPECT_NE(std::wstring::npos, refused[0][4].find(built)) << Show();
  ASSERT_EQ(6u, refused[0].size()) << Show();
  EXPECT_EQ(0u, refused[0][5].rfind(L"error 193: ", 0)) << Show();
  EXPECT_EQ(std::wstring::npos, refused[0][5].find(L"%1")) << Show();
  EXPECT_NE(std::wstring::npos, refused[0][5].find(L"other.ocx")) << Show();
}
