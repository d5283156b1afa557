// Cabinets whose entries carry hostile names (climbing out, absolute, drive-qualified, device
// names, very long names, duplicates, read-only and hidden files), cabinets with long file
// names, and an unpack root that is a file or read-only.
#include "common/globals.h"
#include "common/status_text.h"
#include "register/cabinet.h"
#include "tests/register/hostile_case.h"

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

TEST_F(HostileNames, AnUnpackRootThatIsAFileStopsTheExtraction) {
  const std::wstring root = L"C:\\VornActiveX", saved = L"C:\\VornActiveX.saved";
  ASSERT_TRUE(MoveFileW(root.c_str(), saved.c_str()));
  ASSERT_TRUE(WriteWholeFile(root, "a file, not a directory"));
  DriveListing before = ListDrive(since);
  std::wstring report = DropCabinet("root.cab", {{"a.txt", "A"}, {"b.txt", "B"}});
  std::vector<std::wstring> changes = DriveChanges(before, ListDrive(since));
  std::wstring dir = Dir();
  std::string kept = ReadWholeFile(root);
  DeleteFileW(root.c_str());
  ASSERT_TRUE(MoveFileW(saved.c_str(), root.c_str()));
  drive = ListDrive(since);  // the root is back; the comparison above is this case's own

  EXPECT_TRUE(changes.empty()) << testing::PrintToString(changes);
  EXPECT_EQ("a file, not a directory", kept);
  EXPECT_EQ(FailedReport({dir + L"a.txt"}), report);
}

TEST_F(HostileNames, AReadOnlyUnpackDirectory) {
  const std::wstring root = L"C:\\VornActiveX\\";
  CreateDirectories(root);
  for (int attempt = 0; attempt < 3; ++attempt) {
    WaitForNextSecond();
    std::wstring expected = root + std::to_wstring(static_cast<int>(NowSeconds())) + L"\\";
    CreateDirectoryW(expected.c_str(), nullptr);
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
    if (files.empty())
      EXPECT_EQ(FailedReport({Dir() + std::wstring(L"a.txt")}), report);
    else
      EXPECT_EQ(std::vector<std::wstring>{L"a.txt"}, files);
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
  std::wstring report = DropCabinet(
      "undecodable.cab", {{"before.txt", "B"}, {first, "1"}, {second, "2"}, {"after.txt", "A"}});
  const std::wstring dir = Dir();
  EXPECT_EQ(FailedReport({dir + L"before.txt", dir + Widen(first)}), report);
  EXPECT_EQ(std::vector<std::wstring>{L"before.txt"}, FilesIn(dir));
  EmptyDirectory(dir);
}
