// Cabinets whose entries carry hostile names (climbing out, absolute, drive-qualified, device
// names, very long names, duplicates, read-only and hidden files), cabinets with long file
// names, and unpack roots and directories that are not to be used or are read-only.
#include "window/globals.h"
#include "window/status_text.h"
#include "core/register/cabinet.h"
#include "tests/common/message_boxes.h"
#include "tests/core/register/hostile_case.h"

namespace {
struct HostileNames : HostileCase {
  // Writes the cabinet into the work directory and drops it; returns the report.
  std::wstring DropCabinet(const std::string& name, const std::vector<RawEntry>& entries) {
    std::wstring path = Widen(Narrow(HostileWork) + name);
    EXPECT_TRUE(WriteWholeFile(path, BuildRawCabinet(entries))) << name;
    DropFiles({path});
    return WindowText(StatusBox);
  }
  std::wstring Dir() const { return UnpackDir; }
};

// The report of a cabinet whose listed entries end with 'last' and of which no control ran.
std::wstring FailedReport(const std::vector<std::wstring>& lines) {
  std::wstring report = L"解压文件列表:\r\n";
  for (const auto& line : lines) report += line + L"\r\n";
  return report + L"注册成功文件列表:\r\n注册状态:注册失败！";
}
}  // namespace

TEST_F(HostileNames, TheListingSeesAFileWrittenBesideTheUnpackDirectories) {
  CreateDirectories(L"C:\\VornActiveX\\");
  const std::wstring probe = L"C:\\VornActiveX\\probe.txt";
  ASSERT_TRUE(WriteWholeFile(probe, "x"));
  std::vector<std::wstring> changes = DriveChanges(drive, ListDrive(since));
  DeleteFileW(probe.c_str());
  EXPECT_EQ(std::vector<std::wstring>{L"added " + probe + L" size 1 time"},
            std::vector<std::wstring>{changes.empty() ? L"" : changes[0].substr(0, changes[0].find(L"time") + 4)});
}

TEST_F(HostileNames, NamesThatLeaveTheDirectoryOrNameADeviceAreNeverWritten) {
  const std::string hostile[] = {
      "..", "...", ". .", ".. ", "..\\evil.txt", "../evil.txt", "sub\\..\\..\\evil.txt",
      "\\evil.txt", "/evil.txt", "\\\\server\\share\\evil.txt", "\\\\?\\C:\\evil.txt",
      "\\\\.\\CON", "C:\\evil.txt", "C:evil.txt", "c:/evil.txt", "evil.txt:stream", "CON", "con",
      "NUL.ocx", "nul.txt", "AUX .txt", "PRN.a.b", "COM1.dll", "lpt9",
      "sub\\evil.txt", "sub/evil.txt", "\x81\x5C..\\evil.txt",
      "\x81\\..\x81\\..\\evil.txt", "evil\x81", ""};
  for (const std::string& name : hostile) {
    ArmWatchdog("entry name '" + name + "'", 20);
    std::wstring report = DropCabinet("names.cab", {{"before.txt", "B"}, {name, "evil"}, {"after.txt", "A"}});
    const std::wstring dir = Dir();
    EXPECT_EQ(FailedReport({dir + L"before.txt", dir + Widen(name)}), report) << name;
    EXPECT_EQ(std::vector<std::wstring>{L"before.txt"}, FilesIn(dir)) << name;
    EmptyDirectory(dir);
  }
}

TEST_F(HostileNames, NamesOf255BytesAreWrittenAndLongerOnesRefused) {
  const std::string fits = std::string(251, 'n') + ".txt";  // 255 bytes
  std::wstring report = DropCabinet("long.cab", {{fits, "L"}, {"after.txt", "A"}});
  const std::wstring dir = Dir();
  EXPECT_EQ(FailedReport({dir + Widen(fits), dir + L"after.txt"}), report);
  EXPECT_EQ((std::vector<std::wstring>{L"after.txt", Widen(fits)}), FilesIn(dir));
  EXPECT_EQ("L", ReadWholeFile(dir + Widen(fits)));
  EmptyDirectory(dir);

  for (size_t length : {256, 300, 485, 486, 600, 1000, 2000}) {
    ArmWatchdog("entry name of " + std::to_string(length) + " bytes", 20);
    std::string name = std::string(length - 4, 'm') + ".txt";
    report = DropCabinet("long.cab", {{"before.txt", "B"}, {name, "L"}, {"after.txt", "A"}});
    EXPECT_EQ(std::vector<std::wstring>{L"before.txt"}, FilesIn(Dir())) << length;
    EXPECT_EQ(0u, report.find(L"解压文件列表:\r\n" + Dir() + L"before.txt\r\n")) << length;
    EXPECT_NE(std::wstring::npos, report.find(L"注册状态:注册失败！")) << length;
    EmptyDirectory(Dir());
  }
}

TEST_F(HostileNames, ASecondEntryOfOneNameReplacesTheFirstWhole) {
  std::wstring report = DropCabinet(
      "dup.cab", {{"dup.txt", "the first and longer content"}, {"dup.txt", "second"}, {"z.txt", "Z"}});
  const std::wstring dir = Dir();
  EXPECT_EQ(FailedReport({dir + L"dup.txt", dir + L"dup.txt", dir + L"z.txt"}), report);
  EXPECT_EQ("second", ReadWholeFile(dir + L"dup.txt"));
  EXPECT_EQ("Z", ReadWholeFile(dir + L"z.txt"));
}

TEST_F(HostileNames, AReadOnlyEntryIsKeptWhenASecondCabinetOfTheSameSecondHitsIt) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    WaitForNextSecond();
    DropCabinet("first.cab", {{"ro.txt", "first", 0x21}, {"hidden.txt", "h", 0x22},
                              {"system.txt", "s", 0x24}});
    const std::wstring dir = Dir();
    std::wstring report = DropCabinet("second.cab", {{"ro.txt", "second"}, {"after.txt", "A"}});
    if (Dir() != dir) continue;  // the clock moved on between the drops: try again
    EXPECT_EQ(FailedReport({dir + L"ro.txt"}), report);
    EXPECT_EQ(0x21u, GetFileAttributesW((dir + L"ro.txt").c_str()));
    EXPECT_EQ(0x22u, GetFileAttributesW((dir + L"hidden.txt").c_str()));
    EXPECT_EQ(0x24u, GetFileAttributesW((dir + L"system.txt").c_str()));
    EXPECT_EQ("first", ReadWholeFile(dir + L"ro.txt"));
    EXPECT_FALSE(FileExists(dir + L"after.txt"));
    return;
  }
  FAIL() << "no two drops within one second";
}

TEST_F(HostileNames, CabinetsWithLongFileNamesAreUnpacked) {
  const std::string names[] = {std::string(46, 'c') + ".cab", std::string(196, 'c') + ".cab",
                               "\xD6\xD0\xCE\xC4" + std::string(60, 'z') + ".cab",  // 中文
                               "\x81\x5C\x81\x5C" "trail.cab"};  // trail bytes of 0x5C
  for (const std::string& name : names) {
    ArmWatchdog("cabinet named '" + name + "'", 20);
    std::wstring report = DropCabinet(name, {{"inner.txt", "I"}});
    EXPECT_EQ(FailedReport({Dir() + L"inner.txt"}), report) << name;
    EXPECT_EQ("I", ReadWholeFile(Dir() + L"inner.txt")) << name;
    EmptyDirectory(Dir());
  }
  // Forward slashes only: no name is split off, the whole path is opened.
  ASSERT_TRUE(WriteWholeFile(std::wstring(HostileWork) + L"fwd.cab", BuildRawCabinet({{"fwd.txt", "F"}})));
  DropFiles({L"C:/hostile/fwd.cab"});
  EXPECT_EQ(FailedReport({Dir() + L"fwd.txt"}), WindowText(StatusBox));
  EXPECT_EQ("F", ReadWholeFile(Dir() + L"fwd.txt"));
}

// The refusal of an unpack root or directory that cannot be trusted: one box, nothing unpacked.
static void ExpectRefusal(const std::vector<SeenMessageBox>& seen, const wchar_t* text) {
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(text, seen[0].text);
  EXPECT_EQ(L"ERROR", seen[0].caption);
  EXPECT_EQ(MainWindow, seen[0].owner);
  EXPECT_TRUE(seen[0].hasOk);
  EXPECT_FALSE(seen[0].hasCancel || seen[0].hasYes || seen[0].hasNo || seen[0].hasIcon);
}

// Not a plain directory: refused before anything is written.
TEST_F(HostileNames, AnUnpackRootThatIsAFileStopsTheExtraction) {
  const std::wstring root = L"C:\\VornActiveX", saved = L"C:\\VornActiveX.saved";
  ASSERT_TRUE(MoveFileW(root.c_str(), saved.c_str()));
  ASSERT_TRUE(WriteWholeFile(root, "a file, not a directory"));
  DriveListing before = ListDrive(since);
  std::vector<SeenMessageBox> seen;
  std::wstring report;
  SetWindowTextW(StatusBox, L"status before");
  {
    MessageBoxWatcher boxes;
    report = DropCabinet("root.cab", {{"a.txt", "A"}, {"b.txt", "B"}});
    seen = boxes.seen;
  }
  std::vector<std::wstring> changes = DriveChanges(before, ListDrive(since));
  std::string kept = ReadWholeFile(root);
  DeleteFileW(root.c_str());
  ASSERT_TRUE(MoveFileW(saved.c_str(), root.c_str()));
  drive = ListDrive(since);  // the root is back; the comparison above is this case's own

  EXPECT_TRUE(changes.empty()) << testing::PrintToString(changes);
  EXPECT_EQ("a file, not a directory", kept);
  ExpectRefusal(seen, UnpackRootRefusal);
  EXPECT_EQ(L"status before", report);
}

// A directory of the current second that the program did not make (another user may have
// made it before the root was protected, with files of their own): refused, nothing
// unpacked into it, nothing registered from it.
TEST_F(HostileNames, AnUnpackDirectoryOfThisSecondMadeByAnotherIsRefused) {
  const std::wstring root = L"C:\\VornActiveX\\";
  CreateDirectories(root);
  for (int attempt = 0; attempt < 3; ++attempt) {
    WaitForNextSecond();
    std::wstring planted = root + std::to_wstring(static_cast<int>(NowSeconds())) + L"\\";
    ASSERT_TRUE(CreateDirectoryW(planted.c_str(), nullptr));
    ASSERT_TRUE(WriteWholeFile(planted + L"planted.txt", "theirs"));
    std::vector<SeenMessageBox> seen;
    {
      MessageBoxWatcher boxes;
      DropCabinet("second.cab", {{"a.txt", "A"}});
      seen = boxes.seen;
    }
    std::vector<std::wstring> files = FilesIn(planted);
    EmptyDirectory(planted);
    RemoveDirectoryW(planted.c_str());
    if (!seen.empty() || files.size() != 1) {  // else the clock moved on before the drop
      EXPECT_EQ(std::vector<std::wstring>{L"planted.txt"}, files);
      ExpectRefusal(seen, UnpackDirectoryRefusal);
      return;
    }
  }
  FAIL() << "the clock moved on between creating the directory and the drop";
}

// A root that is a symbolic link or a junction would send the files, and the controls that
// regsvr32 registers, wherever the link points. Wine 8 makes neither (CreateSymbolicLinkW
// does nothing and FSCTL_SET_REPARSE_POINT is not supported): the case then says so and
// skips; it runs where links can be made.
TEST_F(HostileNames, AnUnpackRootThatIsALinkIsRefused) {
  const std::wstring root = L"C:\\VornActiveX", saved = L"C:\\VornActiveX.saved";
  const std::wstring target = L"C:\\hostile\\linked";
  CreateDirectories(target + L"\\");
  ASSERT_TRUE(MoveFileW(root.c_str(), saved.c_str()));
  CreateSymbolicLinkW(root.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
  DWORD attributes = GetFileAttributesW(root.c_str());
  bool linked = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  std::vector<SeenMessageBox> seen;
  std::vector<std::wstring> files;
  if (linked) {
    MessageBoxWatcher boxes;
    DropCabinet("link.cab", {{"a.txt", "A"}});
    seen = boxes.seen;
    files = FilesIn(target);
  }
  RemoveDirectoryW(root.c_str());  // the link (or what Wine made instead), not its target
  ASSERT_TRUE(MoveFileW(saved.c_str(), root.c_str()));
  drive = ListDrive(since);
  if (!linked) GTEST_SKIP() << "this Wine makes no symbolic link or junction";
  EXPECT_TRUE(files.empty());
  ExpectRefusal(seen, UnpackRootRefusal);
}

// Read-only unpack directory: a second cabinet of the same second shares the directory the
// first one made, after that was marked read-only.
TEST_F(HostileNames, AReadOnlyUnpackDirectory) {
  const std::wstring root = L"C:\\VornActiveX\\";
  CreateDirectories(root);
  for (int attempt = 0; attempt < 3; ++attempt) {
    WaitForNextSecond();
    std::wstring expected = root + std::to_wstring(static_cast<int>(NowSeconds())) + L"\\";
    DropCabinet("first.cab", {{"first.txt", "F"}});
    SetFileAttributesW(expected.c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(root.c_str(), FILE_ATTRIBUTE_READONLY);
    std::wstring report = DropCabinet("ro.cab", {{"a.txt", "A"}});
    SetFileAttributesW(root.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::wstring dir = Dir();
    std::replace(dir.begin(), dir.end(), L'/', L'\\');
    bool same = dir == expected;
    std::vector<std::wstring> files = FilesIn(expected);
    SetFileAttributesW(expected.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!same) continue;
    // Either the system lets the file in (a read-only directory does not stop writes on
    // Windows) or the open fails; both are reported as the list shows.
    if (files == std::vector<std::wstring>{L"first.txt"})
      EXPECT_EQ(FailedReport({Dir() + std::wstring(L"a.txt")}), report);
    else
      EXPECT_EQ((std::vector<std::wstring>{L"a.txt", L"first.txt"}), files);
    EXPECT_NE(std::wstring::npos, report.find(L"注册状态:注册失败！"));
    return;
  }
  FAIL() << "the clock moved on between creating the directory and the drop";
}

TEST_F(HostileNames, NamesTheCodePageCannotDecodeAreRefused) {
  // 0xFF is no character of code page 936, nor is a lead byte before a blank. Read leniently,
  // such bytes become a stand-in character (under a UTF-8 code page U+FFFD for every one of
  // them), so two different names could become one file and the second replace the first.
  const std::string first = "x\xFF.txt", second = "x\xFE .txt";
  WaitForNextSecond();  // a folder of its own, not the previous case's
  std::wstring report = DropCabinet(
      "undecodable.cab", {{"before.txt", "B"}, {first, "1"}, {second, "2"}, {"after.txt", "A"}});
  const std::wstring dir = Dir();
  EXPECT_EQ(FailedReport({dir + L"before.txt", dir + Widen(first)}), report);
  EXPECT_EQ(std::vector<std::wstring>{L"before.txt"}, FilesIn(dir));
  EmptyDirectory(dir);
}
