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

namespace {
const std::wstring Root = L"C:\\VornActiveX";
const std::wstring Saved = L"C:\\VornActiveX.saved";
const std::wstring AsidePrefix = L"C:\\VornActiveX.untrusted-";
const std::wstring Away = L"C:\\VornActiveX.away";

bool IsDirectory(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsReparsePoint(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The names beside the root that a moved-aside root got.
std::vector<std::wstring> MovedAsideRoots() {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((AsidePrefix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.push_back(std::wstring(L"C:\\") + found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// Every entry of a folder, folders with a trailing "\", sorted.
std::vector<std::wstring> EntriesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    names.push_back(name + ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L"\\" : L""));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// The Unix path of a Windows path, as Wine maps it.
std::string UnixPath(const std::wstring& path) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) return "";
  char* unix = toUnix(path.c_str());
  if (!unix) return "";
  std::string result = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return result;
}

// Runs a program of the Unix side (Wine starts those too) and waits for it; false when it
// could not be started.
bool RunUnix(const wchar_t* program, std::wstring command) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return false;
  WaitForSingleObject(process.hProcess, 30000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// The Unix path of a name directly on drive C: (the name itself, not what it may link to).
std::string UnixPathOnC(const std::wstring& path) {
  std::string parent = UnixPath(L"C:\\");
  if (parent.empty()) return "";
  if (parent.back() != '/') parent += '/';
  return parent + Narrow(path.substr(3));
}

// Makes link a Unix symbolic link to target with the system's ln. False where that is not
// possible.
bool MakeUnixLink(const std::wstring& link, const std::wstring& target) {
  std::string from = UnixPath(target), to = UnixPathOnC(link);
  if (from.empty() || to.empty()) return false;
  // Wine does not wait for a Unix program: the link is awaited.
  return RunUnix(L"Z:\\bin\\ln", L"ln -s \"" + Widen(from) + L"\" \"" + Widen(to) + L"\"") &&
         WaitUntil([&] { return IsReparsePoint(link); }, 10000);
}

// Removes a link itself. Wine 8 deletes or renames a Unix symbolic link's target when asked
// to act on the link, so its link goes with the system's rm.
void RemoveLink(const std::wstring& path) {
  std::string unix = UnixPathOnC(path);
  if (!unix.empty() && RunUnix(L"Z:\\bin\\rm", L"rm -f \"" + Widen(unix) + L"\""))
    WaitUntil([&] { return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; }, 10000);
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES && !RemoveDirectoryW(path.c_str()))
    DeleteFileW(path.c_str());
}

// True when the system opens a link itself under FILE_FLAG_OPEN_REPARSE_POINT (Windows);
// Wine 8 opens its target.
bool OpensLinksThemselves(const std::wstring& link) {
  HANDLE handle = CreateFileW(link.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info = {};
  bool itself = GetFileInformationByHandle(handle, &info) &&
                (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  CloseHandle(handle);
  return itself;
}

// Deletes a file or a folder with everything in it; a link is deleted itself, never entered.
void DeleteTree(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    RemoveLink(path);
    return;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") DeleteTree(path + L"\\" + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

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

std::wstring Backslashed(std::wstring path) {
  std::replace(path.begin(), path.end(), L'/', L'\\');
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

// The report of a drop that unpacked cabctl.ocx into dir and started its registration.
std::wstring ControlCabinetReport(const std::wstring& dir) {
  return L"解压文件列表:\r\n" + dir + L"cabctl.ocx\r\n注册成功文件列表:\r\n" + dir +
         L"cabctl.ocx\r\n注册状态:注册成功！";
}
}  // namespace

// A root made beforehand (by the administrator's own unelevated process, which Wine shows as
// every file's owner), with a control in it and folders named for this second and the next
// ones: the root is taken over where it is, the folder is one this call made, empty, and
// nothing planted is moved, used or registered.
TEST_F(UnpackRootCase, ARootMadeBeforehandWithPlantedFilesGivesANewEmptyFolder) {
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
