// The query and the window's removal commands against hostile names and loads: ProgIDs of
// the longest lengths, names longer than a key name may be, Chinese names under code page 936
// and a remove-all of 500 controls. The real MainWindow handles the commands; its message
// boxes are answered by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "window/commands.h"
#include "window/globals.h"
#include "tests/window/app_window.h"
#include "tests/common/list_box.h"
#include "tests/common/message_boxes.h"
#include "tests/core/uninstall/hostile_support.h"
#include "tests/core/uninstall/keys.h"

namespace {
const Names FileTypes{L".zco", L".zxd"};
const wchar_t RemoveOneQuestion[] = L"   是否卸载？";
const wchar_t RemoveAllQuestion[] =
    L"是否卸载列表中的全部控件？\r\n如果点击是,请稍等几秒钟,直到列表为空就表示卸载全部操作完成。";

class HostileCommands : public AppWindowTest {
 protected:
  void SetUp() override {
    ClearMakerKeys();
    AppWindowTest::SetUp();
    ViewMode = UninstallView;
  }
};

// Sends the command and handles this thread's messages until the removals it started (卸载全部
// runs them beside the window) have ended.
void Command(HWND from, WORD code) {
  SendMessageW(MainWindow, WM_COMMAND, MAKEWPARAM(0, code), reinterpret_cast<LPARAM>(from));
  while (CommandInProgress()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
}

Names ListEntries() { return ListBoxEntries(ControlList); }

Names Sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}

// A registration shaped like a real control's, with GUIDs of its own: library, two
// interfaces next to each other, class.
Registration ControlNumbered(const std::wstring& progId, int n) {
  wchar_t tail[40];
  swprintf(tail, 40, L"D%03X-4CEF-8C2D-%012X", n / 4096, n);
  auto guid = [&](unsigned first) {
    wchar_t g[16];
    swprintf(g, 16, L"%08X", first);
    return Guid(g, tail);
  };
  Registration r;
  r.progId = progId;
  r.clsid = guid(0xC0000002);
  // The families that store their library with lower-case letters in the third group.
  r.typeLibText = guid(0xC0000000);
  for (auto [tag, stored] : {std::pair{L"VORN.At", L"4Cef"}, std::pair{L"VORN.Se", L"4cef"},
                             std::pair{L"VORN.We", L"4cef"}, std::pair{L"VORN.Of", L"4cEf"}})
    if (progId.compare(0, 7, tag) == 0) r.typeLibText.replace(15, 4, stored);
  r.typeLibKey = guid(0xC0000000);
  r.interfaces = {guid(0xC0000001), guid(0xC0000003)};
  return r;
}

void PutFileTypes() {
  PutKey(L".zco\\ShellNew", L"");
  PutKey(L".zxd", L"Vorn.Data");
}

// ProgIDs of 248 to 255 characters are listed whole and removed by a double-click; a name of
// 256 characters (Wine allows one more than Windows) is no ProgID: it is not listed, and the
// controls enumerated after it are still listed.
TEST_F(HostileCommands, ProgIdsOf248To255CharactersAndA256CharacterName) {
  Names progIds;
  std::vector<Registration> controls;
  for (int length = 248; length <= 255; ++length) {
    std::wstring progId =
        L"Vorn.Hur" + std::wstring(length - 8, static_cast<wchar_t>(L'a' + length - 248));
    controls.push_back(ControlNumbered(progId, length));
    progIds.push_back(progId);
  }
  const std::wstring overlong = L"Vorn.Hur0" + std::wstring(247, L'0');
  ASSERT_EQ(overlong.size(), 256u);
  Names all;
  for (auto& r : controls) all = all + KeysOf(r);
  KeyCleanup cleanup(all + FileTypes + Names{overlong});
  for (auto& r : controls) Register(r);
  ASSERT_TRUE(PutKey(overlong + L"\\CLSID", controls[0].clsid.c_str()));
  PutFileTypes();
  const Snapshot before = TakeSnapshot();

  MessageBoxWatcher boxes;
  Command(QueryButton, BN_CLICKED);
  EXPECT_EQ(boxes.seen.size(), 0u);
  ASSERT_EQ(Sorted(ListEntries()), Sorted(progIds));

  for (auto& progId : progIds) {
    LRESULT at = SendMessageW(ControlList, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(progId.c_str()));
    ASSERT_NE(at, LB_ERR);
    SendMessageW(ControlList, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
    boxes.Answer(IDYES);
    Command(ControlList, LBN_DBLCLK);
  }
  ASSERT_EQ(boxes.seen.size(), progIds.size());
  for (auto& box : boxes.seen) EXPECT_EQ(box.text, RemoveOneQuestion);
  EXPECT_EQ(ListEntries(), Names{});
  EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(), all + FileTypes));
  EXPECT_TRUE(KeyExists(overlong));
}

// Chinese names under code page 936: the prefixes count byte for byte and case-sensitively;
// the listed controls are removed whole, the others stay.
TEST_F(HostileCommands, ChineseProgIds) {
  ASSERT_EQ(GetACP(), 936u);
  const Names listed{L"Vorn.控件甲",
                     L"VORN.控件乙",
                     L"PDF.V控件丙",
                     L"VORN.At控件丁",
                     L"Vorn." + std::wstring(250, L'控'),
                     L"Vorn.\xD83D\xDE00控件"};
  const Names unlisted{L"vorn.控件戊", L"VORN控件己",    L"Vorn。控件庚", L"PDF.v控件辛",
                       L"pdf.V控件壬", L"Ｖｏｒｎ.控件", L"控件Vorn.",    L"V控orn.控件",
                       L"ＶORN.控件",  L"Vorn",          L"VOR",          L"Vorn\xD800.x"};
  std::vector<Registration> controls;
  int n = 0;
  for (auto& p : listed + unlisted) controls.push_back(ControlNumbered(p, 0x300 + n++));
  controls[0].clsid = L"{控件-类}";  // a class name in Chinese too
  Names all, gone;
  for (size_t i = 0; i < controls.size(); ++i) {
    all = all + KeysOf(controls[i]);
    if (i < listed.size()) gone = gone + KeysOf(controls[i]);
  }
  KeyCleanup cleanup(all + FileTypes);
  for (auto& r : controls) Register(r);
  PutFileTypes();
  const Snapshot before = TakeSnapshot();

  MessageBoxWatcher boxes;
  Command(QueryButton, BN_CLICKED);
  EXPECT_EQ(Sorted(ListEntries()), Sorted(listed));
  boxes.Answer(IDYES);
  Command(RemoveAllButton, BN_CLICKED);
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].text, RemoveAllQuestion);
  EXPECT_EQ(ListEntries(), Names{});
  EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(), gone + FileTypes));
}

// Remove-all of 500 listed controls among neighbours of other makers; one of them holds a key
// that cannot be deleted and is the only entry left in the list afterwards.
TEST_F(HostileCommands, RemoveAllOf500Controls) {
  std::vector<Registration> controls, neighbours;
  Names progIds, gone, kept;
  for (int i = 0; i < 500; ++i) {
    const wchar_t* prefix = i % 3 == 0 ? L"Vorn." : i % 3 == 1 ? L"VORN.At" : L"PDF.V";
    controls.push_back(ControlNumbered(prefix + std::wstring(L"HurMany") + std::to_wstring(i), i));
    progIds.push_back(controls.back().progId);
    gone = gone + KeysOf(controls.back());
  }
  for (int i = 0; i < 20; ++i) {
    neighbours.push_back(ControlNumbered(L"vorn.HurOther" + std::to_wstring(i), 1000 + i));
    kept = kept + KeysOf(neighbours.back());
  }
  const std::wstring stuck = progIds[250];
  KeyCleanup cleanup(gone + kept + FileTypes);
  for (auto& r : controls) Register(r);
  for (auto& r : neighbours) Register(r);
  ASSERT_TRUE(PutUndeletable(stuck + L"\\Stuck"));
  PutFileTypes();
  const Snapshot before = TakeSnapshot();

  MessageBoxWatcher boxes;
  Command(QueryButton, BN_CLICKED);
  ASSERT_EQ(Sorted(ListEntries()), Sorted(progIds));
  boxes.Answer(IDYES);
  Command(RemoveAllButton, BN_CLICKED);
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].text, RemoveAllQuestion);
  EXPECT_EQ(ListEntries(), Names{stuck});
  Names mustGo = FileTypes;
  for (auto& k : gone)
    if (k != stuck) mustGo.push_back(k);
  EXPECT_TRUE(OnlyTheseWent(before, TakeSnapshot(), gone + FileTypes, mustGo));
  EXPECT_EQ(SubkeyNames(stuck), Names{L"Stuck"});
  DeleteLinkKey(stuck + L"\\Stuck");
}
// The planted class that names COM's own type library, removed by a double-click and 是: the
// list empties and of the whole registry only the planted keys and the file types go.
TEST_F(HostileCommands, PlantedClassNamingTheSystemsTypeLibraryByDoubleClick) {
  SystemComKeys system;
  const Names planted = PlantClass(L"Vorn.Evil", L"{E7000000-0000-4000-8000-00000000E711}",
                                   OleTypeLib, L"C:\\Users\\Public\\evil.ocx");
  KeyCleanup cleanup(planted + FileTypes);
  PutFileTypes();
  const Snapshot before = TakeSnapshot();

  MessageBoxWatcher boxes;
  Command(QueryButton, BN_CLICKED);
  ASSERT_EQ(ListEntries(), Names{L"Vorn.Evil"});
  SendMessageW(ControlList, LB_SETCURSEL, 0, 0);
  boxes.Answer(IDYES);
  Command(ControlList, LBN_DBLCLK);
  ASSERT_EQ(boxes.seen.size(), 1u);
  EXPECT_EQ(boxes.seen[0].text, RemoveOneQuestion);
  EXPECT_EQ(ListEntries(), Names{});
  EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(), planted + FileTypes));
  EXPECT_EQ(Existing(system.keys), system.keys);
}
}  // namespace
