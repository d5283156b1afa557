// Unpacking cabinets through the real cabinet.dll: the report shown while it runs, the files
// written (names, content, times, attributes), and the names that are never written.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "window/globals.h"
#include "window/status_text.h"
#include "core/register/cabinet.h"
#include "core/register/cabinet_callbacks.h"
#include "core/register/cabinet_job.h"
#include "window/drop.h"
#include "tests/common/message_boxes.h"
#include "tests/core/register/drop_support.h"
#include "tests/core/register/fci_cabinet.h"

namespace {
const wchar_t WorkDir[] = L"C:\\regtest\\";

// The unpacking step of a cabinet drop with the window's report, stopped before the first
// registration. 1: unpacked (maybe partly); 0: failed, told in a message box.
int ExtractCabinet(const wchar_t* widePath, char* ansiPath) {
  CabinetReport report = {MainWindow, widePath, false};
  ProgressSink sink = {[](void* context, const Progress& progress) {
                         ReportCabinetProgress(context, progress);
                         return progress.event != ProgressEvent::UnpackEnded;
                       },
                       &report};
  return TellUnpackFailure(RegisterCabinet(ansiPath, &sink)) ? 0 : 1;
}

struct Extraction : testing::Test {
  void SetUp() override {
    CreateTestWindows();
    ViewMode = RegisterView;
    StatusTextReset(StatusTextInitial);
    CreateDirectoryW(WorkDir, nullptr);
  }

  // Writes the cabinet into the work directory and unpacks it in a second of its own.
  int Extract(const std::string& cabName, const std::vector<CabEntry>& entries) {
    std::string path = Narrow(WorkDir) + cabName;
    EXPECT_TRUE(WriteCabinet(path, entries));
    WaitForNextSecond();
    return ExtractPath(path);
  }

  int ExtractPath(const std::string& path) {
    char ansi[AnsiPathCapacity] = {};
    snprintf(ansi, sizeof ansi, "%s", path.c_str());
    before = time(nullptr);
    int result = ExtractCabinet(Widen(path).c_str(), ansi);
    after = time(nullptr);
    ansiAfter = ansi;
    return result;
  }

  std::wstring Dir() const { return LastUnpackDir(); }

  time_t before = 0, after = 0;
  std::string ansiAfter;
};

WIN32_FILE_ATTRIBUTE_DATA InfoOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA info = {};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info);
  return info;
}
}  // namespace

TEST_F(Extraction, ShowsTheDroppedPathThenEveryUnpackedFile) {
  std::string cab = Narrow(WorkDir) + "shown.cab";
  ASSERT_TRUE(WriteCabinet(cab, {{"a.ocx", "A"}, {"b.inf", "B"}}));
  WaitForNextSecond();
  // The folder of this second, or, when cabinets came faster than one a second before, the
  // first free number after it and after the highest folder made.
  char expectedDir[UnpackDirCapacity];
  const time_t second = time(nullptr);
  long long start = second;
  std::string last = Narrow(LastUnpackDir());
  if (!last.empty()) start = std::max(start, _atoi64(last.c_str() + 15) + 1);
  for (int step = 0; step < 10000; ++step) {
    ASSERT_TRUE(FormatUnpackDirectory(start + step, expectedDir, sizeof expectedDir));
    if (GetFileAttributesW(Widen(expectedDir).c_str()) == INVALID_FILE_ATTRIBUTES) break;
  }
  ShownTexts shown(StatusBox);
  ASSERT_EQ(1, ExtractPath(cab));

  if (after != second) GTEST_SKIP() << "the clock moved on during the extraction";
  EXPECT_EQ(Widen(expectedDir), Dir());

  // The list is shown as it grows, now and then, and whole after the last entry; a cabinet of
  // two small files is usually unpacked before the first update is due.
  const std::wstring dir = Dir();
  const std::vector<std::wstring> expected = {
      L"",
      L"拖入文件路径:C:\\regtest\\shown.cab\r\n新建文件夹:" + dir + L"\r\n",
      L"解压文件列表:\r\n" + dir + L"a.ocx\r\n" + dir + L"b.inf\r\n",
  };
  ASSERT_GE(shown.texts.size(), 3u);
  EXPECT_EQ(expected[0], shown.texts[0]);
  EXPECT_EQ(expected[1], shown.texts[1]);
  EXPECT_EQ(expected[2], shown.texts.back());
  for (size_t i = 2; i + 1 < shown.texts.size(); ++i)
    EXPECT_EQ(0u, expected[2].find(shown.texts[i])) << "an update shows the list so far";
  EXPECT_EQ(expected.back(), std::wstring(StatusText));
  EXPECT_EQ(expected.back(), WindowText(StatusBox));
  // The caller's ANSI path keeps its directory part only.
  EXPECT_EQ("C:\\regtest\\", ansiAfter);
}

TEST_F(Extraction, OpensCabinetsWithLongFileNames) {
  std::string name = "a_cabinet_whose_file_name_is_much_longer_than_fifty_bytes_" +
                     std::string(60, 'n') + ".cab";
  ASSERT_EQ(1, Extract(name, {{"inside.txt", "found"}}));
  EXPECT_EQ("found", ReadWholeFile(Dir() + L"inside.txt"));
  EXPECT_EQ(Narrow(WorkDir), ansiAfter);
}

TEST_F(Extraction, AppendsToWhateverTheReportHeld) {
  StatusTextReset(L"拖入文件路径:earlier list\r\n");
  std::string cab = Narrow(WorkDir) + "appended.cab";
  ASSERT_TRUE(WriteCabinet(cab, {{"a.txt", "A"}}));
  ShownTexts shown(StatusBox);
  ASSERT_EQ(1, ExtractPath(cab));
  ASSERT_GE(shown.texts.size(), 2u);
  EXPECT_EQ(L"拖入文件路径:earlier list\r\nC:\\regtest\\appended.cab\r\n新建文件夹:" + Dir() + L"\r\n",
            shown.texts[1]);
}

TEST_F(Extraction, WritesNamesContentTimesAndAttributes) {
  std::vector<CabEntry> entries = {
      {"plain.txt", "plain content", 0x5B86, 0x6A8F, 0x20},
      {"readonly.txt", "read only", 0x4A21, 0x0000, 0x21},   // 2017-01-01 00:00:00
      {"hidden.txt", "hidden", 0x5B9F, 0xBF7D, 0x22},        // 2025-12-31 23:59:58
      {"system.txt", "system", 0x2821, 0x4000, 0x24},        // 2000-01-01 08:00:00
      {"flags.txt", "flags", 0x5B86, 0x6A8F, 0xE7},          // 0x40 and 0x80 dropped
      {"big.ocx", std::string(100000, 'x'), 0x5B86, 0x6A8F, 0x20},  // several data blocks
  };
  ASSERT_EQ(1, Extract("times.cab", entries));
  const std::wstring dir = Dir();
  std::vector<std::wstring> expectedNames;
  for (const auto& e : entries) expectedNames.push_back(Widen(e.name));
  std::sort(expectedNames.begin(), expectedNames.end());
  EXPECT_EQ(expectedNames, FilesIn(dir));
  for (const auto& e : entries) {
    std::wstring path = dir + Widen(e.name);
    SCOPED_TRACE(e.name);
    EXPECT_TRUE(e.content == ReadWholeFile(path));
    WIN32_FILE_ATTRIBUTE_DATA info = InfoOf(path);
    EXPECT_EQ(e.attribs & 0x27u, info.dwFileAttributes & 0x27u);
    EXPECT_EQ(Ticks(ExpectedUtc(e.date, e.time)), Ticks(info.ftLastWriteTime));
  }
  for (const auto& e : entries) ForceDelete(dir + Widen(e.name));
}

TEST_F(Extraction, AnUnconvertibleDateLeavesTheTimeButSetsAttributes) {
  ASSERT_EQ(1, Extract("baddate.cab", {{"nodate.txt", "n", 0x0000, 0x0000, 0x21}}));
  std::wstring path = Dir() + L"nodate.txt";
  WIN32_FILE_ATTRIBUTE_DATA info = InfoOf(path);
  EXPECT_EQ(0x21u, info.dwFileAttributes & 0x27u);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  EXPECT_LT(Ticks(now) - Ticks(info.ftLastWriteTime), 600ull * 10000000ull);
  ForceDelete(path);
}

TEST_F(Extraction, ReplacesAnExistingFileWhole) {
  ASSERT_EQ(1, Extract("dup.cab", {{"dup.txt", std::string(5000, 'L')}, {"dup.txt", "short"}}));
  EXPECT_EQ("short", ReadWholeFile(Dir() + L"dup.txt"));
}

// Windows refuses to create a file anew over one that is hidden or system; the entry that
// follows must still replace it whole and leave its own times and attributes. Wine does not
// refuse that creation, so here the case proves the rest: the second entry asks for the
// archive attribute alone, which the file kept from the first entry, and the file must not
// keep hidden and system beside it (the attributes are set by name unless the written file
// has exactly those asked for).
TEST_F(Extraction, ReplacesAHiddenSystemFileWithTheSecondEntrysTimesAndAttributes) {
  CabEntry first = {"dup.ocx", std::string(5000, 'L'), 0x4A21, 0x0000, 0x26};
  CabEntry second = {"dup.ocx", "short", 0x5B9F, 0xBF7D, 0x20};
  ASSERT_EQ(1, Extract("hiddendup.cab", {first, second}));
  std::wstring path = Dir() + L"dup.ocx";
  EXPECT_EQ("short", ReadWholeFile(path));
  WIN32_FILE_ATTRIBUTE_DATA info = InfoOf(path);
  EXPECT_EQ(0x20u, info.dwFileAttributes & 0x27u);
  EXPECT_EQ(Ticks(ExpectedUtc(second.date, second.time)), Ticks(info.ftLastWriteTime));
  ForceDelete(path);
}

TEST_F(Extraction, CabinetsWithinOneSecondGetADirectoryEach) {
  std::string first = Narrow(WorkDir) + "first.cab", second = Narrow(WorkDir) + "second.cab";
  ASSERT_TRUE(WriteCabinet(first, {{"one.txt", "1"}, {"same.txt", "from the first, longer"}}));
  ASSERT_TRUE(WriteCabinet(second, {{"two.txt", "2"}, {"same.txt", "second"}}));
  WaitForNextSecond();
  ASSERT_EQ(1, ExtractPath(first));
  std::wstring firstDir = Dir();
  ASSERT_EQ(1, ExtractPath(second));
  EXPECT_NE(firstDir, Dir());
  EXPECT_EQ((std::vector<std::wstring>{L"one.txt", L"same.txt"}), FilesIn(firstDir));
  EXPECT_EQ((std::vector<std::wstring>{L"same.txt", L"two.txt"}), FilesIn(Dir()));
  EXPECT_EQ("from the first, longer", ReadWholeFile(firstDir + L"same.txt"));
  EXPECT_EQ("second", ReadWholeFile(Dir() + L"same.txt"));
}

TEST_F(Extraction, NeverWritesOutsideTheUnpackDirectory) {
  struct Case {
    const char* name;
    std::wstring mustNotExist;
  } cases[] = {
      {"..\\evil1.ocx", L"C:\\VornActiveX\\evil1.ocx"},
      {"../evil2.ocx", L"C:\\VornActiveX\\evil2.ocx"},
      {"sub\\..\\..\\evil3.ocx", L"C:\\VornActiveX\\evil3.ocx"},
      {"C:\\evil4.ocx", L"C:\\evil4.ocx"},
      {"\\evil5.ocx", L"C:\\evil5.ocx"},
      {"CON", L""},
      {"nul.ocx", L""},
      {"a.ocx:stream", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.mustNotExist.empty()) ForceDelete(c.mustNotExist);
    MessageBoxWatcher boxes;
    ASSERT_EQ(1, Extract("hostile.cab", {{"first.txt", "1"}, {c.name, "evil"}, {"after.txt", "3"}}));
    EXPECT_TRUE(boxes.seen.empty());
    if (!c.mustNotExist.empty()) {
      EXPECT_FALSE(FileExists(c.mustNotExist));
    }
    // Refused like an entry that cannot be opened: listed, then the copy stops.
    EXPECT_EQ((std::vector<std::wstring>{L"first.txt"}), FilesIn(Dir()));
    const std::wstring dir = Dir();
    std::wstring report = L"解压文件列表:\r\n" + dir + L"first.txt\r\n" + dir + Widen(c.name) + L"\r\n";
    EXPECT_EQ(report, std::wstring(StatusText));
    EXPECT_EQ(report, WindowText(StatusBox));
  }
}

// A name with control characters is listed on one line, its CR, LF, tab and other control
// characters written as \r, \n, \t and \xNN: a name cannot forge lines of the report.
TEST_F(Extraction, ControlCharactersInEntryNamesAreShownEscaped) {
  struct Case {
    std::string name;
    std::wstring shown;
  } cases[] = {
      {"a.ocx\r\nC:\\windows\\win.ini", L"a.ocx\\r\\nC:\\windows\\win.ini"},
      {"t\tab.txt", L"t\\tab.txt"},
      {"bell\x07\x1f\x7f.txt", L"bell\\x07\\x1F\\x7F.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(1, Extract("escaped.cab", {{"first.txt", "1"}, {c.name, "2"}}));
    EXPECT_EQ(L"解压文件列表:\r\n" + Dir() + L"first.txt\r\n" + Dir() + c.shown + L"\r\n",
              WindowText(StatusBox));
    StatusTextReset(StatusTextInitial);
  }
}

TEST_F(Extraction, StopsAtAnEntryInASubdirectory) {
  ASSERT_EQ(1, Extract("subdir.cab", {{"first.ocx", "1"}, {"sub\\a.ocx", "2"}, {"last.ocx", "3"}}));
  EXPECT_EQ((std::vector<std::wstring>{L"first.ocx"}), FilesIn(Dir()));
  EXPECT_EQ(L"解压文件列表:\r\n" + Dir() + L"first.ocx\r\n" + Dir() + L"sub\\a.ocx\r\n",
            WindowText(StatusBox));
}

TEST_F(Extraction, AFileThatIsNoCabinetUnpacksNothingWithoutAMessage) {
  std::wstring fake = std::wstring(WorkDir) + L"fake.cab";
  ASSERT_TRUE(WriteWholeFile(fake, "no cabinet here"));
  WaitForNextSecond();
  MessageBoxWatcher boxes;
  EXPECT_EQ(1, ExtractPath(Narrow(fake)));
  EXPECT_TRUE(boxes.seen.empty());
  EXPECT_EQ(L"解压文件列表:\r\n", std::wstring(StatusText));
  EXPECT_TRUE(FilesIn(Dir()).empty());
  // The box still shows the dropped path and the new directory.
  EXPECT_EQ(L"拖入文件路径:" + fake + L"\r\n新建文件夹:" + Dir() + L"\r\n", WindowText(StatusBox));
}

TEST_F(Extraction, ShowsAReportOfThousandsOfFilesWhole) {
  std::vector<CabEntry> entries;
  // Far beyond the 30,000 characters an edit box takes by default.
  for (int i = 0; i < 3000; ++i) entries.push_back({"f" + std::to_string(i) + ".txt", "x"});
  ASSERT_EQ(1, Extract("many.cab", entries));
  std::wstring expected = L"解压文件列表:\r\n";
  for (const auto& e : entries) expected += Dir() + Widen(e.name) + L"\r\n";
  EXPECT_EQ(expected, std::wstring(StatusText));
  EXPECT_EQ(expected, WindowText(StatusBox));
  EXPECT_EQ(3000u, FilesIn(Dir()).size());
}

TEST_F(Extraction, ABoxThatRefusesMoreTextStillShowsTheWholeReport) {
  // Without a scroll bar a multi-line edit box takes no insertion beyond its visible lines.
  HWND normal = StatusBox;
  StatusBox = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 200, 40,
                              MainWindow, nullptr, nullptr, nullptr);
  std::vector<CabEntry> entries;
  for (int i = 0; i < 30; ++i) entries.push_back({"g" + std::to_string(i) + ".txt", "y"});
  int result = Extract("small.cab", entries);
  std::wstring shown = WindowText(StatusBox);
  DestroyWindow(StatusBox);
  StatusBox = normal;
  ASSERT_EQ(1, result);
  EXPECT_EQ(std::wstring(StatusText), shown);
  EXPECT_EQ(31u, Lines(shown).size());
}

TEST(CabinetNotification, OnlyCopyAndCloseDoAnything) {
  CreateTestWindows();
  StatusTextReset(L"unchanged");
  FDINOTIFICATION info = {};
  char name[] = "a.txt";
  info.psz1 = name;
  for (FDINOTIFICATIONTYPE type : {fdintCABINET_INFO, fdintPARTIAL_FILE, fdintNEXT_CABINET,
                                   fdintENUMERATE, static_cast<FDINOTIFICATIONTYPE>(99)})
    EXPECT_EQ(0, CabinetNotify(type, &info));
  EXPECT_STREQ(L"unchanged", StatusText);
}

// Each refused entry is told once, as refused, with the destination it would have had.
TEST(CabinetNotification, RefusesDestinationsTooLongToWrite) {
  CabinetJob job;
  strcpy(job.folder.ansi, "C:/regtest/");
  struct Told {
    std::vector<std::wstring> paths;
    std::vector<EntryStatus> statuses;
  } told;
  ProgressSink sink = {[](void* context, const Progress& progress) {
                         auto& t = *static_cast<Told*>(context);
                         if (progress.event != ProgressEvent::EntryUnpacked) return true;
                         t.paths.push_back(progress.path);
                         t.statuses.push_back(progress.entry);
                         return true;
                       },
                       &told};
  job.sink = &sink;

  std::string longName(600, 'n');  // 611 bytes with the directory
  FDINOTIFICATION info = {};
  info.pv = &job;
  info.psz1 = &longName[0];
  EXPECT_EQ(-1, CabinetNotify(fdintCOPY_FILE, &info));
  std::string huge(1200, 'h');  // does not even fit the joined path
  info.psz1 = &huge[0];
  EXPECT_EQ(-1, CabinetNotify(fdintCOPY_FILE, &info));
  EXPECT_EQ((std::vector<std::wstring>{L"C:/regtest/" + Widen(longName), L"C:/regtest/"}), told.paths);
  EXPECT_EQ((std::vector<EntryStatus>{EntryStatus::Refused, EntryStatus::Refused}), told.statuses);
}
