// The unpack root and the folder per cabinet, against what others may have put at the root's
// name before: a root with planted files and folders, a file, a Unix symbolic link (which
// Wine shows as a reparse point). Each is taken over or moved aside, never refused for good,
// and nothing that was there before is unpacked into or registered. While a folder is held,
// neither it nor the root can be renamed.
#include <algorithm>

#include "window/globals.h"
#include "core/register/cabinet.h"
#include "core/register/unpack_folder.h"
#include "tests/common/wait.h"
#include "tests/core/register/hostile_case.h"
#include "tests/core/register/unpack_root_case.h"

namespace {
// Sets the program's root aside for the case and puts it back afterwards, removing whatever
// the case left at the root's name and beside it.
struct UnpackRootCase : HostileCase {
  void SetUp() override {
    HostileCase::SetUp();
    for (const auto& aside : MovedAsideRoots()) DeleteTree(aside);
    DeleteTree(Saved);
    DeleteTree(Away);
    hadRoot = GetFileAttributesW(Root.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (hadRoot) {
      ASSERT_TRUE(MoveFileW(Root.c_str(), Saved.c_str()));
    }
  }
  void TearDown() override {
    WaitForRegistrationsToEnd();
    for (const auto& aside : MovedAsideRoots()) DeleteTree(aside);
    DeleteTree(Root);
    DeleteTree(Away);
    if (hadRoot) {
      EXPECT_TRUE(MoveFileW(Saved.c_str(), Root.c_str()));
    }
    HostileCase::TearDown();
  }

  // A folder below the root as another user would make it: a control in it.
  void Plant(const std::wstring& folder) {
    ASSERT_TRUE(CreateDirectories(folder + L"\\"));
    ASSERT_TRUE(WriteWholeFile(folder + L"\\planted.ocx", control));
  }

  // Drops a cabinet holding the test control as cabctl.ocx; returns the report.
  std::wstring DropControlCabinet(bool registers = true) {
    const std::wstring cab = std::wstring(HostileWork) + L"root.cab";
    EXPECT_TRUE(WriteWholeFile(cab, BuildRawCabinet({{"cabctl.ocx", control}})));
    if (registers) controls.push_back(L"cabctl");
    DropFiles({cab});
    return WindowText(StatusBox);
  }

  const std::string control = ReadWholeFile(HostPath(TESTCTL_DLL));
  bool hadRoot = false;
};

// The report of a drop that unpacked cabctl.ocx into dir and started its registration.
std::wstring ControlCabinetReport(const std::wstring& dir) {
  return L"解压文件列表:\r\n" + dir + L"cabctl.ocx\r\n注册成功文件列表:\r\n" + dir +
         L"cabctl.ocx\r\n注册状态:注册成功！";
}
}  // namespace

// A root made beforehand, where the system keeps no owners (Wine shows the token's user as
// every file's owner, whatever is set), with a control in it and folders named for this second
// and the next ones: the root is taken over where it is, the folder is one this call made, empty, and
// nothing planted is moved, used or registered.
TEST_F(UnpackRootCase, ARootMadeBeforehandWithPlantedFilesGivesANewEmptyFolder) {
  if (SystemKeepsOwners()) GTEST_SKIP() << "owners are kept: such a root is moved aside";
  // The numbers the next folder is tried under: this second's, or those after the last
  // folder this process made, when they came faster than one a second.
  UnpackFolder folder;
  DWORD error = 0;
  ASSERT_EQ(UnpackFolderStatus::Created, CreateUnpackFolder(folder, &error)) << error;
  CloseUnpackFolder(folder);
  DeleteTree(Root);
  const long long now = std::max(NowSeconds(), _wtoi64(folder.wide + 15) + 1);
  Plant(Root);
  std::vector<std::wstring> planted;
  for (long long second = now; second < now + 3; ++second) {
    planted.push_back(Root + L"\\" + std::to_wstring(static_cast<int>(second)));
    Plant(planted.back());
  }

  const long long before = NowSeconds();
  ASSERT_EQ(UnpackFolderStatus::Created, CreateUnpackFolder(folder, &error)) << error;
  if (before >= now + 3) GTEST_SKIP() << "the clock passed the planted folders";
  const std::wstring made = Backslashed(folder.wide);
  EXPECT_EQ(std::wstring(folder.wide), Widen(folder.ansi));
  EXPECT_EQ(std::wstring(L"C:/VornActiveX/") + std::to_wstring(static_cast<int>(now + 3)) + L"/",
            folder.wide)
      << "the next number after the planted ones";
  EXPECT_TRUE(IsDirectory(made));
  EXPECT_TRUE(EntriesIn(made).empty());
  EXPECT_STREQ(L"", folder.movedAside);
  EXPECT_TRUE(MovedAsideRoots().empty());
  EXPECT_EQ(control, ReadWholeFile(Root + L"\\planted.ocx"));
  for (const auto& p : planted) EXPECT_EQ(std::vector<std::wstring>{L"planted.ocx"}, EntriesIn(p)) << p;
  CloseUnpackFolder(folder);

  // Through the extraction: the cabinet's control alone is unpacked and registered.
  std::wstring report = DropControlCabinet();
  const std::wstring dir = LastUnpackDir();
  EXPECT_EQ(std::vector<std::wstring>{L"cabctl.ocx"}, EntriesIn(Backslashed(dir)));
  EXPECT_EQ(planted.end(), std::find(planted.begin(), planted.end(), Backslashed(dir)));
  EXPECT_EQ(ControlCabinetReport(dir), report);
  EXPECT_TRUE(AwaitRegistration(L"cabctl"));
  WaitForRegistrationsToEnd();
  EXPECT_FALSE(Registered(L"planted"));
  for (const auto& p : planted) EXPECT_EQ(std::vector<std::wstring>{L"planted.ocx"}, EntriesIn(p)) << p;
}

// A file at the root's name: moved aside as it is, a fresh root made and held.
TEST_F(UnpackRootCase, AFileAtTheRootsNameIsMovedAsideAndAFreshRootMade) {
  ASSERT_TRUE(WriteWholeFile(Root, "a file, not a directory"));
  UnpackFolder folder;
  DWORD error = 0;
  ASSERT_EQ(UnpackFolderStatus::Created, CreateUnpackFolder(folder, &error)) << error;
  std::vector<std::wstring> aside = MovedAsideRoots();
  ASSERT_EQ(1u, aside.size());
  EXPECT_EQ(aside[0], folder.movedAside);
  EXPECT_FALSE(IsDirectory(aside[0]));
  EXPECT_EQ("a file, not a directory", ReadWholeFile(aside[0]));
  EXPECT_TRUE(IsDirectory(Root));
  EXPECT_FALSE(IsReparsePoint(Root));
  EXPECT_EQ(std::vector<std::wstring>{Backslashed(folder.wide).substr(Root.size() + 1) + L"\\"},
            EntriesIn(Root));
}

// A Unix symbolic link at the root's name, to a folder with a control in it (Wine shows the
// link as a reparse point): never followed. Where the system opens the link itself it is
// moved aside, still a link, and the cabinet goes into a fresh root; Wine 8 opens only the
// link's target, and would rename the target, so there the cabinet is refused with the
// box and nothing unpacked.
TEST_F(UnpackRootCase, ALinkAtTheRootsNameIsNeverFollowed) {
  const std::wstring target = std::wstring(HostileWork) + L"linked";
  DeleteTree(target);
  Plant(target);
  if (!MakeUnixLink(Root, target)) GTEST_SKIP() << "no Unix symbolic link could be made";
  const bool movable = OpensLinksThemselves(Root);
  SetWindowTextW(StatusBox, L"status before");
  std::vector<SeenMessageBox> seen;
  std::wstring report;
  {
    MessageBoxWatcher boxes;
    report = DropControlCabinet(movable);
    seen = boxes.seen;
  }
  EXPECT_EQ(std::vector<std::wstring>{L"planted.ocx"}, EntriesIn(target)) << "never followed";
  std::vector<std::wstring> aside = MovedAsideRoots();
  if (movable) {
    EXPECT_TRUE(seen.empty());
    ASSERT_EQ(1u, aside.size());
    EXPECT_TRUE(IsReparsePoint(aside[0])) << "the link itself was moved";
    EXPECT_FALSE(IsReparsePoint(Root));
    const std::wstring dir = LastUnpackDir();
    EXPECT_EQ(std::vector<std::wstring>{L"cabctl.ocx"}, EntriesIn(Backslashed(dir)));
    EXPECT_EQ(ControlCabinetReport(dir), report);
    EXPECT_TRUE(AwaitRegistration(L"cabctl"));
  } else {
    EXPECT_TRUE(aside.empty());
    EXPECT_TRUE(IsReparsePoint(Root)) << "the link stays as it was";
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(UnpackRootRefusal, seen[0].text);
    EXPECT_EQ(L"ERROR", seen[0].caption);
    EXPECT_EQ(MainWindow, seen[0].owner);
    EXPECT_EQ(L"status before", report);
  }
  WaitForRegistrationsToEnd();
  EXPECT_FALSE(Registered(L"planted"));
  RemoveLink(Root);
  DeleteTree(target);
}

// While a cabinet may be unpacked, the root and the folder keep their names: renaming either
// (what a swap for a link or another folder starts with) fails, and works again once the
// folder is let go.
TEST_F(UnpackRootCase, WhileAFolderIsHeldNeitherItNorTheRootCanBeRenamed) {
  UnpackFolder folder;
  DWORD error = 0;
  ASSERT_EQ(UnpackFolderStatus::Created, CreateUnpackFolder(folder, &error)) << error;
  const std::wstring made = Backslashed(folder.wide);
  EXPECT_FALSE(MoveFileW(Root.c_str(), Away.c_str()));
  EXPECT_FALSE(MoveFileW(made.c_str(), (Root + L"\\moved").c_str()));
  EXPECT_FALSE(RemoveDirectoryW(made.c_str()));
  EXPECT_TRUE(IsDirectory(made));

  CloseUnpackFolder(folder);
  EXPECT_TRUE(MoveFileW(Root.c_str(), Away.c_str()));
  EXPECT_TRUE(MoveFileW(Away.c_str(), Root.c_str()));
}
