// Cabinets whose entries carry hostile names (climbing out, absolute, drive-qualified, device
// names, very long names, duplicates, read-only and hidden files), cabinets with long file
// names, and unpack roots and directories that are not to be used as they are or are
// read-only.
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
  std::wstring Dir() const { return LastUnpackDir(); }
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

// A second cabinet of the same second gets a folder of its own: the first one's read-only,
// hidden and system entries stay as they were, and the second's entries are written whole.
TEST_F(HostileNames, ASecondCabinetOfTheSameSecondLeavesTheFirstOnesEntriesAlone) {
  WaitForNextSecond();
  DropCabinet("first.cab", {{"ro.txt", "first", 0x21}, {"hidden.txt", "h", 0x22},
                            {"system.txt", "s", 0x24}});
  const std::wstring first = Dir();
  std::wstring report = DropCabinet("second.cab", {{"ro.txt", "second"}, {"after.txt", "A"}});
  const std::wstring second = Dir();
  EXPECT_NE(first, second);
  EXPECT_EQ(FailedReport({second + L"ro.txt", second + L"after.txt"}), report);
  EXPECT_EQ(0x21u, GetFileAttributesW((first + L"ro.txt").c_str()));
  EXPECT_EQ(0x22u, GetFileAttributesW((first + L"hidden.txt").c_str()));
  EXPECT_EQ(0x24u, GetFileAttributesW((first + L"system.txt").c_str()));
  EXPECT_EQ("first", ReadWholeFile(first + L"ro.txt"));
  EXPECT_EQ((std::vector<std::wstring>{L"hidden.txt", L"ro.txt", L"system.txt"}), FilesIn(first));
  EXPECT_EQ("second", ReadWholeFile(second + L"ro.txt"));
  EXPECT_EQ("A", ReadWholeFile(second + L"after.txt"));
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

// A file at the root's name is moved aside as it is (never overwritten or deleted); the
// cabinet goes into a fresh root without a box.
TEST_F(HostileNames, AnUnpackRootThatIsAFileIsMovedAsideAndTheCabinetUnpacked) {
  const std::wstring root = L"C:\\VornActiveX", saved = L"C:\\VornActiveX.saved";
  CreateDirectories(root + L"\\");
  ASSERT_TRUE(MoveFileW(root.c_str(), saved.c_str()));
  ASSERT_TRUE(WriteWholeFile(root, "a file, not a directory"));
  std::vector<SeenMessageBox> seen;
  std::wstring report;
  {
    MessageBoxWatcher boxes;
    report = DropCabinet("root.cab", {{"a.txt", "A"}, {"b.txt", "B"}});
    seen = boxes.seen;
  }
  const std::wstring dir = Dir();
  std::vector<std::wstring> files = FilesIn(dir);
  bool fresh = (GetFileAttributesW(root.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(L"C:\\VornActiveX.untrusted-*", &found);
  std::wstring aside = search == INVALID_HANDLE_VALUE ? L"" : std::wstring(L"C:\\") + found.cFileName;
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  std::string kept = aside.empty() ? "" : ReadWholeFile(aside);
  EmptyDirectory(dir);
  RemoveDirectoryW(dir.c_str());
  RemoveDirectoryW(root.c_str());
  if (!aside.empty()) DeleteFileW(aside.c_str());
  ASSERT_TRUE(MoveFileW(saved.c_str(), root.c_str()));
  drive = ListDrive(since);  // the root is back; the checks above are this case's own

  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(fresh);
  EXPECT_EQ("a file, not a directory", kept);
  EXPECT_EQ((std::vector<std::wstring>{L"a.txt", L"b.txt"}), files);
  EXPECT_EQ(FailedReport({dir + L"a.txt", dir + L"b.txt"}), report);
}

// A folder of the current second that another made before (maybe with files of their own
// waiting to be registered) is passed over: the cabinet gets a new folder of the next number,
// and the other folder keeps what it had and gains nothing.
TEST_F(HostileNames, AnUnpackDirectoryOfThisSecondMadeByAnotherIsPassedOver) {
  const std::wstring root = L"C:\\VornActiveX\\";
  CreateDirectories(root);
  // The numbers the next drop tries first: this second's, or those after the last folder
  // made, when drops came faster than one a second.
  DropCabinet("first.cab", {{"first.txt", "F"}});
  const long long start = std::max(NowSeconds(), _wtoi64(Dir().substr(15).c_str()) + 1);
  std::vector<std::wstring> planted;
  for (long long second = start; planted.size() < 3 && second < start + 100; ++second) {
    std::wstring folder = root + std::to_wstring(static_cast<int>(second)) + L"\\";
    if (!CreateDirectoryW(folder.c_str(), nullptr)) continue;
    planted.push_back(folder);
    ASSERT_TRUE(WriteWholeFile(folder + L"planted.txt", "theirs"));
  }
  ASSERT_EQ(3u, planted.size());
  std::vector<SeenMessageBox> seen;
  std::wstring report;
  {
    MessageBoxWatcher boxes;
    report = DropCabinet("second.cab", {{"a.txt", "A"}});
    seen = boxes.seen;
  }
  std::wstring dir = Dir();
  std::replace(dir.begin(), dir.end(), L'/', L'\\');
  std::vector<std::vector<std::wstring>> plantedFiles;
  for (const auto& p : planted) {
    plantedFiles.push_back(FilesIn(p));
    EmptyDirectory(p);
    RemoveDirectoryW(p.c_str());
  }
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(planted.end(), std::find(planted.begin(), planted.end(), dir));
  for (const auto& files : plantedFiles) EXPECT_EQ(std::vector<std::wstring>{L"planted.txt"}, files);
  EXPECT_EQ(std::vector<std::wstring>{L"a.txt"}, FilesIn(dir));
  EXPECT_EQ(FailedReport({Dir() + L"a.txt"}), report);
}

// A root that is a symbolic link or a junction would send the files, and the controls that
// regsvr32 registers, wherever the link points. Wine 8 makes neither through the system
// (CreateSymbolicLinkW does nothing): the case then says so and skips; it runs where links
// can be made. UnpackRootCase.ALinkAtTheRootsNameIsNeverFollowed covers a Unix link.
TEST_F(HostileNames, AnUnpackRootThatIsALinkIsMovedAside) {
  const std::wstring root = L"C:\\VornActiveX", saved = L"C:\\VornActiveX.saved";
  const std::wstring target = L"C:\\hostile\\linked";
  CreateDirectories(target + L"\\");
  CreateDirectories(root + L"\\");
  ASSERT_TRUE(MoveFileW(root.c_str(), saved.c_str()));
  CreateSymbolicLinkW(root.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
  DWORD attributes = GetFileAttributesW(root.c_str());
  bool linked = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  std::vector<SeenMessageBox> seen;
  std::vector<std::wstring> files;
  std::wstring aside;
  if (linked) {
    MessageBoxWatcher boxes;
    DropCabinet("link.cab", {{"a.txt", "A"}});
    seen = boxes.seen;
    files = FilesIn(target);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(L"C:\\VornActiveX.untrusted-*", &found);
    if (search != INVALID_HANDLE_VALUE) {
      aside = std::wstring(L"C:\\") + found.cFileName;
      FindClose(search);
    }
    EmptyDirectory(Dir());
    RemoveDirectoryW(Dir().c_str());
  }
  RemoveDirectoryW(root.c_str());  // the link (or what Wine made instead), not its target
  if (!aside.empty()) RemoveDirectoryW(aside.c_str());
  ASSERT_TRUE(MoveFileW(saved.c_str(), root.c_str()));
  drive = ListDrive(since);
  if (!linked) GTEST_SKIP() << "this Wine makes no symbolic link or junction";
  EXPECT_TRUE(files.empty());
  EXPECT_FALSE(aside.empty());
  EXPECT_TRUE(seen.empty());
}

// A read-only root and a read-only folder of an earlier cabinet: the next cabinet still gets a
// new folder of its own (a read-only directory does not stop what is created in it on
// Windows), and the earlier folder is left as it was.
TEST_F(HostileNames, AReadOnlyUnpackDirectory) {
  const std::wstring root = L"C:\\VornActiveX\\";
  CreateDirectories(root);
  DropCabinet("first.cab", {{"first.txt", "F"}});
  std::wstring first = Dir();
  std::replace(first.begin(), first.end(), L'/', L'\\');
  SetFileAttributesW(first.c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW(root.c_str(), FILE_ATTRIBUTE_READONLY);
  std::vector<SeenMessageBox> seen;
  std::wstring report;
  {
    MessageBoxWatcher boxes;
    report = DropCabinet("ro.cab", {{"a.txt", "A"}});
    seen = boxes.seen;
  }
  SetFileAttributesW(root.c_str(), FILE_ATTRIBUTE_NORMAL);
  std::wstring second = Dir();
  std::replace(second.begin(), second.end(), L'/', L'\\');
  std::vector<std::wstring> firstFiles = FilesIn(first);
  SetFileAttributesW(first.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(seen.empty());
  EXPECT_NE(first, second);
  EXPECT_EQ(std::vector<std::wstring>{L"first.txt"}, firstFiles);
  EXPECT_EQ(std::vector<std::wstring>{L"a.txt"}, FilesIn(second));
  EXPECT_EQ(FailedReport({Dir() + std::wstring(L"a.txt")}), report);
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
