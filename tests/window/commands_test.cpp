// The list double-click, the query button and the remove-all button, with their questions
// and notices, against the real registry.
#include <cwchar>
#include <string>
#include <vector>

#include "window/commands.h"
#include "window/globals.h"
#include "tests/window/app_window.h"
#include "tests/common/message_boxes.h"
#include "tests/common/registry_fixture.h"
#include "tests/common/wait.h"

namespace {

const wchar_t RemoveOneQuestion[] = L"   是否卸载？";
const wchar_t NothingInstalled[] = L"当前电脑没有安装控件！";
const wchar_t QueryFirst[] = L"请点击查询安装按钮！";
const wchar_t RemoveAllQuestion[] =
    L"是否卸载列表中的全部控件？\r\n如果点击是,请稍等几秒钟,直到列表为空就表示卸载全部操作完成。";

struct Control {
  const wchar_t* progId;
  const wchar_t* classId;
};

const Control Controls[] = {
    {L"Vorn.AppTest.Alpha", L"{5B1E0A01-0000-4000-8000-00000000A001}"},
    {L"Vorn.AppTest.Beta", L"{5B1E0A01-0000-4000-8000-00000000A002}"},
    {L"Vorn.AppTest.Gamma", L"{5B1E0A01-0000-4000-8000-00000000A003}"},
};

std::wstring ClassKey(const Control& control) { return std::wstring(L"CLSID\\") + control.classId; }

void Install(const Control& control) {
  ASSERT_TRUE(PutKey(control.progId, L"AppTest control"));
  ASSERT_TRUE(PutKey(std::wstring(control.progId) + L"\\CLSID", control.classId));
  ASSERT_TRUE(PutKey(ClassKey(control), L"AppTest control"));
  ASSERT_TRUE(PutKey(ClassKey(control) + L"\\ProgID", control.progId));
}

void Uninstall(const Control& control) {
  RemoveTree(control.progId);
  RemoveTree(ClassKey(control));
}

bool Installed(const Control& control) {
  return KeyExists(control.progId) || KeyExists(ClassKey(control));
}

std::wstring Snapshot() {
  std::wstring all;
  for (const Control& control : Controls) all += ExportTree(control.progId) + ExportTree(ClassKey(control));
  return all;
}

std::vector<std::wstring> ListEntries() {
  std::vector<std::wstring> entries;
  int count = static_cast<int>(SendMessageW(ControlList, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[300] = {};
    if (SendMessageW(ControlList, LB_GETTEXTLEN, i, 0) < 300)
      SendMessageW(ControlList, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    entries.push_back(text);
  }
  return entries;
}

// Sends the command and handles this thread's messages until any removals it started end.
void Command(HWND from, WORD code) {
  SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(0, code), reinterpret_cast<LPARAM>(from));
  while (CommandInProgress()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
}

void ExpectBox(const SeenMessageBox& box, const wchar_t* text, bool question) {
  EXPECT_EQ(box.text, text);
  EXPECT_EQ(box.caption, L"提示");
  EXPECT_EQ(box.owner, MainWindow);
  EXPECT_FALSE(box.hasIcon);
  EXPECT_FALSE(box.hasCancel);
  EXPECT_EQ(box.hasYes, question);
  EXPECT_EQ(box.hasNo, question);
  EXPECT_EQ(box.hasOk, !question);
}

// Clears every key of the maker directly under HKEY_CLASSES_ROOT, such as controls that
// other suites registered in the same throw-away Wine prefix.
void RemoveMakerKeys() {
  for (;;) {
    std::wstring found;
    wchar_t name[256];
    for (DWORD i = 0; found.empty(); ++i) {
      DWORD length = 256;
      if (RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &length, nullptr, nullptr, nullptr,
                        nullptr) != ERROR_SUCCESS)
        break;
      for (const wchar_t* prefix : {L"VORN.", L"PDF.V", L"Vorn."})
        if (wcsncmp(name, prefix, 5) == 0) found = name;
    }
    if (found.empty()) return;
    RemoveTree(found);
    if (KeyExists(found)) return;
  }
}

class CommandsTest : public AppWindowTest {
 protected:
  void SetUp() override {
    for (const Control& control : Controls) Uninstall(control);
    AppWindowTest::SetUp();
    // The buttons work in the uninstall view.
    SendMessageW(FindWindowExW(MainWindow, nullptr, L"TitleBar", nullptr), WM_LBUTTONDOWN,
                 MK_LBUTTON, MAKELPARAM(120, 50));
    UpdateWindow(MainWindow);
  }
  void TearDown() override {
    for (const Control& control : Controls) Uninstall(control);
  }
  // The prefix is left as the suite found it, also when a case ended early.
  static void TearDownTestSuite() {
    for (const Control& control : Controls) Uninstall(control);
  }
  void InstallAll() {
    for (const Control& control : Controls) Install(control);
  }
  // Query with the button; the maker's keys of the other fixtures may exist, so the list
  // is checked for ours.
  void Query() {
    MessageBoxWatcher boxes;
    Command(QueryButton, BN_CLICKED);
    EXPECT_TRUE(boxes.seen.empty());
  }
  int IndexOf(const wchar_t* entry) {
    return static_cast<int>(SendMessageW(ControlList, LB_FINDSTRINGEXACT, -1,
                                         reinterpret_cast<LPARAM>(entry)));
  }
};

}  // namespace

TEST_F(CommandsTest, QueryThatFindsNothingSaysSoOnceAndLeavesTheListEmpty) {
  RemoveMakerKeys();
  SendMessageW(ControlList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Vorn.Stale"));
  MessageBoxWatcher boxes;
  Command(QueryButton, BN_CLICKED);
  ASSERT_EQ(boxes.seen.size(), 1u);
  ExpectBox(boxes.seen[0], NothingInstalled, false);
  EXPECT_EQ(SendMessageW(ControlList, LB_GETCOUNT, 0, 0), 0);
}

TEST_F(CommandsTest, QueryListsTheInstalledControlsWithoutAMessage) {
  InstallAll();
  Query();
  for (const Control& control : Controls) EXPECT_GE(IndexOf(control.progId), 0) << control.progId;
}

TEST_F(CommandsTest, AnsweringNoToTheRemovalQuestionKeepsRegistryAndList) {
  InstallAll();
  Query();
  std::wstring before = Snapshot();
  std::vector<std::wstring> listBefore = ListEntries();
  SendMessageW(ControlList, LB_SETCURSEL, IndexOf(L"Vorn.AppTest.Beta"), 0);
  MessageBoxWatcher boxes;
  boxes.Answer(IDNO);
  Command(ControlList, LBN_DBLCLK);
  ASSERT_EQ(boxes.seen.size(), 1u);
  ExpectBox(boxes.seen[0], RemoveOneQuestion, true);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(ListEntries(), listBefore);
}

TEST_F(CommandsTest, AnsweringYesRemovesTheSelectedControlAndRebuildsTheList) {
  InstallAll();
  Query();
  SendMessageW(ControlList, LB_SETCURSEL, IndexOf(L"Vorn.AppTest.Beta"), 0);
  MessageBoxWatcher boxes;
  boxes.Answer(IDYES);
  Command(ControlList, LBN_DBLCLK);
  ASSERT_EQ(boxes.seen.size(), 1u);
  ExpectBox(boxes.seen[0], RemoveOneQuestion, true);
  EXPECT_FALSE(Installed(Controls[1]));
  EXPECT_TRUE(Installed(Controls[0]));
  EXPECT_TRUE(Installed(Controls[2]));
  EXPECT_LT(IndexOf(L"Vorn.AppTest.Beta"), 0);
  EXPECT_GE(IndexOf(L"Vorn.AppTest.Alpha"), 0);
  EXPECT_GE(IndexOf(L"Vorn.AppTest.Gamma"), 0);
}

TEST_F(CommandsTest, RemovingTheLastControlEmptiesTheListWithoutANotice) {
  Install(Controls[0]);
  Query();
  int index = IndexOf(Controls[0].progId);
  ASSERT_GE(index, 0);
  SendMessageW(ControlList, LB_SETCURSEL, index, 0);
  MessageBoxWatcher boxes;
  boxes.Answer(IDYES);
  Command(ControlList, LBN_DBLCLK);
  EXPECT_EQ(boxes.seen.size(), 1u);  // the question only
  EXPECT_FALSE(Installed(Controls[0]));
  EXPECT_LT(IndexOf(Controls[0].progId), 0);
}

TEST_F(CommandsTest, DoubleClickWithoutASelectionDoesNothing) {
  InstallAll();
  Query();
  std::wstring before = Snapshot();
  SendMessageW(ControlList, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  MessageBoxWatcher boxes;
  boxes.Answer(IDYES);
  Command(ControlList, LBN_DBLCLK);
  EXPECT_TRUE(boxes.seen.empty());
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(CommandsTest, OtherListNotificationsAreIgnored) {
  InstallAll();
  Query();
  SendMessageW(ControlList, LB_SETCURSEL, 0, 0);
  MessageBoxWatcher boxes;
  Command(ControlList, LBN_SELCHANGE);
  EXPECT_TRUE(boxes.seen.empty());
}

// 256 characters are one more than a key name has, and just too many for the entry buffer.
TEST_F(CommandsTest, AnEntryTooLongForAKeyNameIsNeverActedOn) {
  InstallAll();
  Query();
  std::wstring before = Snapshot();
  for (size_t length : {256u, 400u}) {
    SCOPED_TRACE(length);
    std::wstring longName = L"Vorn." + std::wstring(length - 5, L'x');
    int index = static_cast<int>(
        SendMessageW(ControlList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(longName.c_str())));
    SendMessageW(ControlList, LB_SETCURSEL, index, 0);
    MessageBoxWatcher boxes;
    boxes.Answer(IDYES);
    Command(ControlList, LBN_DBLCLK);
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_EQ(Snapshot(), before);
  }
}

TEST_F(CommandsTest, RemoveAllOnAnEmptyListAsksToQueryFirst) {
  InstallAll();
  std::wstring before = Snapshot();
  MessageBoxWatcher boxes;
  boxes.Answer(IDYES);
  Command(RemoveAllButton, BN_CLICKED);
  ASSERT_EQ(boxes.seen.size(), 1u);
  ExpectBox(boxes.seen[0], QueryFirst, false);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(CommandsTest, RemoveAllAnsweredNoKeepsEverything) {
  InstallAll();
  Query();
  std::wstring before = Snapshot();
  std::vector<std::wstring> listBefore = ListEntries();
  MessageBoxWatcher boxes;
  boxes.Answer(IDNO);
  Command(RemoveAllButton, BN_CLICKED);
  ASSERT_EQ(boxes.seen.size(), 1u);
  ExpectBox(boxes.seen[0], RemoveAllQuestion, true);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(ListEntries(), listBefore);
}

TEST_F(CommandsTest, RemoveAllRemovesEveryListedControl) {
  InstallAll();
  Query();
  for (const Control& control : Controls) ASSERT_GE(IndexOf(control.progId), 0);
  MessageBoxWatcher boxes;
  boxes.Answer(IDYES);
  Command(RemoveAllButton, BN_CLICKED);
  ASSERT_EQ(boxes.seen.size(), 1u);  // no notice after the list is rebuilt empty
  ExpectBox(boxes.seen[0], RemoveAllQuestion, true);
  for (const Control& control : Controls) EXPECT_FALSE(Installed(control)) << control.progId;
  EXPECT_EQ(SendMessageW(ControlList, LB_GETCOUNT, 0, 0), 0);
}

TEST_F(CommandsTest, RemoveAllRemovesOnlyWhatIsListedAndSkipsAnOverlongEntry) {
  Install(Controls[0]);
  Install(Controls[1]);
  Query();
  Install(Controls[2]);  // installed after the query: not listed
  std::wstring longName = L"Vorn." + std::wstring(400, L'y');
  SendMessageW(ControlList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(longName.c_str()));
  MessageBoxWatcher boxes;
  boxes.Answer(IDYES);
  Command(RemoveAllButton, BN_CLICKED);
  EXPECT_EQ(boxes.seen.size(), 1u);
  EXPECT_FALSE(Installed(Controls[0]));
  EXPECT_FALSE(Installed(Controls[1]));
  EXPECT_TRUE(Installed(Controls[2]));
  // The list is rebuilt from the registry once at the end.
  EXPECT_GE(IndexOf(L"Vorn.AppTest.Gamma"), 0);
  EXPECT_LT(IndexOf(L"Vorn.AppTest.Alpha"), 0);
  EXPECT_LT(IndexOf(L"Vorn.AppTest.Beta"), 0);
  EXPECT_LT(IndexOf(longName.c_str()), 0);
}

// The command returns while its job still runs: the list is filled only when the job's end is
// handled on this thread, so nothing of the walk or the removal ran inside the command.
TEST_F(CommandsTest, TheQueryAndARemovalRunBesideTheWindowsThread) {
  InstallAll();
  SendMessageW(ControlList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Vorn.Stale"));
  SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED),
               reinterpret_cast<LPARAM>(QueryButton));
  EXPECT_TRUE(CommandInProgress());
  EXPECT_EQ(std::vector<std::wstring>{L"Vorn.Stale"}, ListEntries());
  Command(QueryButton, BN_CLICKED);  // refused while the query runs; waits for its end
  EXPECT_LT(IndexOf(L"Vorn.Stale"), 0);
  ASSERT_GE(IndexOf(L"Vorn.AppTest.Beta"), 0);

  SendMessageW(ControlList, LB_SETCURSEL, IndexOf(L"Vorn.AppTest.Beta"), 0);
  MessageBoxWatcher boxes;
  boxes.Answer(IDYES);
  SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(0, LBN_DBLCLK),
               reinterpret_cast<LPARAM>(ControlList));
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_TRUE(CommandInProgress());
  EXPECT_GE(IndexOf(L"Vorn.AppTest.Beta"), 0);
  Command(ControlList, LBN_SELCHANGE);  // waits for the removal's end
  EXPECT_FALSE(Installed(Controls[1]));
  EXPECT_LT(IndexOf(L"Vorn.AppTest.Beta"), 0);
}
