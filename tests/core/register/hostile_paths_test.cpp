// Dropped paths that are long, name a directory or a file that is gone, or hold characters
// that the command interpreter might read as its own (blank, &, ^, %, !) or that need the
// double-byte code page (Chinese under code page 936). A path reported as registered must
// really be registered by regsvr32; one reported as failed must not run anything.
#include "window/globals.h"
#include "platform/text.h"
#include "core/register/cabinet.h"
#include "window/drop.h"
#include "tests/common/registry_fixture.h"
#include "tests/common/wait.h"
#include "tests/core/register/hostile_case.h"

namespace {
const std::wstring Prefix = L"拖入文件路径：";
const std::wstring Succeeded = L"\r\n注册状态：文件注册成功！";
const std::wstring Failed = L"\r\n注册状态：文件注册失败！";

std::wstring BaseName(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  std::wstring name = path.substr(slash + 1);
  return name.substr(0, name.rfind(L'.'));
}

// A path of exactly 'length' characters below C:\hostile\long\, ending in the given name
// padded with 'x' before its extension.
std::wstring PathOfLength(size_t length, const std::wstring& stem, const std::wstring& extension) {
  std::wstring path = std::wstring(HostileWork) + L"long\\";
  size_t shortest = stem.size() + extension.size();
  while (path.size() + 101 + shortest + 1 <= length) path += std::wstring(100, L'd') + L"\\";
  path += stem;
  if (path.size() + extension.size() < length)
    path += std::wstring(length - path.size() - extension.size(), L'x');
  return path + extension;
}

struct HostilePaths : HostileCase {
  // Drops one control file; checks the texts, and that what the report says happened.
  void DropControl(const std::wstring& path) {
    ArmWatchdog("dropped control " + Narrow(path), 90);
    RemoveTestControlKeys({});
    MessageBoxWatcher boxes;
    DropFiles({path});
    EXPECT_EQ(path, WindowText(PathBox));
    std::wstring report = WindowText(StatusBox);
    std::wstring base = BaseName(path);
    if (report == Prefix + path + Succeeded) {
      EXPECT_TRUE(boxes.seen.empty()) << Narrow(path);
      // The test control cannot read a path longer than MAX_PATH to name its ProgID; its
      // class key shows that regsvr32 ran it all the same.
      bool registered = path.size() < MAX_PATH ? AwaitRegistration(base)
                                               : WaitUntil(ClassRegistered, 30000);
      EXPECT_TRUE(registered) << "reported as registered, but it never was: " << Narrow(path);
      if (path.size() < MAX_PATH) controls.push_back(base);
    } else {
      EXPECT_EQ(Prefix + path + Failed, report);
      EXPECT_EQ(1u, boxes.seen.size()) << Narrow(path);
      // Nothing started: give a wrongly started command the time to show itself.
      PumpMessages(3000);
      EXPECT_FALSE(Registered(base) || ClassRegistered()) << Narrow(path);
    }
  }

  // Copies the test control to path; false when the file system cannot hold it.
  bool PlaceControl(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    CreateDirectories(path.substr(0, slash + 1));
    return CopyFileW(HostPath(TESTCTL_DLL).c_str(), path.c_str(), FALSE) != 0;
  }
};
}  // namespace

TEST_F(HostilePaths, LongPathsAreRegisteredOrRefusedAsReported) {
  for (size_t length : {259, 260, 982, 983, 999}) {
    std::wstring path = PathOfLength(length, L"n" + std::to_wstring(length), L".ocx");
    ASSERT_EQ(length, path.size());
    bool placed = PlaceControl(path);
    printf("control path of %zu characters: %s\n", length, placed ? "placed" : "cannot exist");
    DropControl(path);
  }
}

TEST_F(HostilePaths, LongCabinetPathsUnpackOrFailWithoutHarm) {
  for (size_t length : {250, 259, 260, 999}) {
    std::wstring path = PathOfLength(length, L"c" + std::to_wstring(length), L".cab");
    ASSERT_EQ(length, path.size());
    CreateDirectories(path.substr(0, path.find_last_of(L'\\') + 1));
    bool placed = WriteWholeFile(path, BuildRawCabinet({{"inner.txt", "I"}}));
    ArmWatchdog("cabinet path of " + std::to_string(length) + " characters", 30);
    MessageBoxWatcher boxes;
    DropFiles({path});
    std::wstring report = WindowText(StatusBox);
    const std::wstring dir = LastUnpackDir();
    bool unpacked = ReadWholeFile(dir + L"inner.txt") == "I";
    printf("cabinet path of %zu characters: %s, %s\n", length, placed ? "placed" : "cannot exist",
           unpacked ? "unpacked" : "not unpacked");
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ(unpacked ? L"解压文件列表:\r\n" + dir + L"inner.txt\r\n注册成功文件列表:\r\n注册状态:注册失败！"
                       : L"解压文件列表:\r\n注册成功文件列表:\r\n注册状态:注册失败！",
              report);
    EmptyDirectory(dir);
  }
}

TEST_F(HostilePaths, ADirectoryIsNoControlAndNoCabinet) {
  const std::wstring work = HostileWork;
  CreateDirectories(work + L"dir.ocx\\");
  CreateDirectories(work + L"dir.cab\\");
  DropControl(work + L"dir.ocx");
  MessageBoxWatcher boxes;
  DropFiles({work + L"dir.cab"});
  EXPECT_TRUE(boxes.seen.empty());
  EXPECT_EQ(L"解压文件列表:\r\n注册成功文件列表:\r\n注册状态:注册失败！", WindowText(StatusBox));
}

TEST_F(HostilePaths, AFileThatVanishesBeforeTheDropIsHandled) {
  const std::wstring work = HostileWork;
  for (const wchar_t* name : {L"gone.ocx", L"gone.cab"}) {
    std::wstring path = work + name;
    ASSERT_TRUE(PlaceControl(path));
    HDROP drop = MakeDrop({path});
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    MessageBoxWatcher boxes;
    HandleDroppedFile(MainWindow, drop);
    WaitForDropToEnd();
    GlobalFree(drop);
    EXPECT_EQ(path, WindowText(PathBox));
    if (EndsWith(name, L".ocx")) {
      EXPECT_EQ(Prefix + path + Failed, WindowText(StatusBox));
      EXPECT_EQ(1u, boxes.seen.size());
    } else {
      EXPECT_EQ(L"解压文件列表:\r\n注册成功文件列表:\r\n注册状态:注册失败！", WindowText(StatusBox));
      EXPECT_TRUE(boxes.seen.empty());
    }
  }
}

TEST_F(HostilePaths, BlanksAmpersandsCaretsAndChineseReachRegsvr32Unchanged) {
  const std::wstring dir = std::wstring(HostileWork) + L"a b&c^d 中文!x!\\";
  for (const wchar_t* name : {L"x y&z^w.ocx", L"控件.ocx", L"100%.ocx", L"bang!path!.ocx"}) {
    ASSERT_TRUE(PlaceControl(dir + name)) << Narrow(name);
    DropControl(dir + name);
  }
}

// regsvr32 is started without a command interpreter, so nothing expands %windir%, %cd% or
// %%: the control is registered under its path as it is.
TEST_F(HostilePaths, PercentSignsReachRegsvr32Unexpanded) {
  const std::wstring dir = std::wstring(HostileWork) + L"pct %TEMP% %%\\";
  for (const wchar_t* name : {L"p%windir%q.ocx", L"%ctlwarden_undefined%.ocx", L"%cd%.ocx"}) {
    const std::wstring path = dir + name;
    ASSERT_TRUE(PlaceControl(path)) << Narrow(name);
    ArmWatchdog("dropped control " + Narrow(path), 90);
    RemoveTestControlKeys({});
    MessageBoxWatcher boxes;
    DropFiles({path});
    EXPECT_EQ(Prefix + path + Succeeded, WindowText(StatusBox));
    EXPECT_TRUE(boxes.seen.empty()) << Narrow(name);
    EXPECT_EQ(path, RegisteredServer()) << Narrow(name);
  }
}

TEST_F(HostilePaths, ChineseAndCmdCharactersInsideACabinet) {
  const std::string control = ReadWholeFile(HostPath(TESTCTL_DLL));
  const std::string chinese = "\xD6\xD0\xCE\xC4\xBF\xD8\xBC\xFE";  // 中文控件 in code page 936
  std::wstring cab = std::wstring(HostileWork) + L"中文 & ^.cab";
  ASSERT_TRUE(WriteWholeFile(cab, BuildRawCabinet({{chinese + ".ocx", control},
                                               {"x&y^z.ocx", control},
                                               {"p%windir%q.ocx", control}})));
  ArmWatchdog("cabinet with Chinese and cmd characters", 60);
  MessageBoxWatcher boxes;
  DropFiles({cab});
  const std::wstring dir = LastUnpackDir();
  std::vector<std::wstring> lines = Lines(WindowText(StatusBox));
  std::vector<std::wstring> unpacked = {L"解压文件列表:", dir + L"中文控件.ocx", dir + L"x&y^z.ocx",
                                        dir + L"p%windir%q.ocx", L"注册成功文件列表:"};
  ASSERT_GE(lines.size(), unpacked.size() + 1);
  EXPECT_EQ(unpacked, std::vector<std::wstring>(lines.begin(), lines.begin() + unpacked.size()));
  std::vector<std::wstring> launched(lines.begin() + unpacked.size(), lines.end() - 1);
  EXPECT_EQ(L"注册状态:注册成功！", lines.back());
  EXPECT_TRUE(boxes.seen.empty());
  for (const std::wstring& base :
       {std::wstring(L"中文控件"), std::wstring(L"x&y^z"), std::wstring(L"p%windir%q")}) {
    EXPECT_NE(launched.end(), std::find(launched.begin(), launched.end(), dir + base + L".ocx"));
    EXPECT_TRUE(AwaitRegistration(base)) << Narrow(base);
    controls.push_back(base);
  }
}
