// Removal of controls whose keys are hostile trees: very deep, very long, very wide, with a
// subkey that cannot be deleted and with links that lead out of the control's keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/core/uninstall/hostile_support.h"
#include "tests/core/uninstall/keys.h"
#include "core/uninstall/key_tree.h"
#include "core/uninstall/remove.h"

namespace {
constexpr bool Native = false;
const Names FileTypes{L".zco", L".zxd"};

// A control with a class key, no type library: the trees under test hang below its keys.
struct Control {
  std::wstring progId, classKey;
};
Control PutControl(const std::wstring& progId, const std::wstring& clsid) {
  PutKey(progId + L"\\CLSID", clsid.c_str());
  PutKey(progId + L"\\CurVer", (progId + L".1").c_str());
  const std::wstring classKey = L"CLSID\\" + clsid;
  PutKey(classKey + L"\\InprocServer32", L"C:\\VornActiveX\\1\\ctl.ocx");
  PutKey(classKey + L"\\ProgID", progId.c_str());
  PutKey(L".zco\\ShellNew", L"");
  PutKey(L".zxd", L"Vorn.Data");
  return {progId, classKey};
}

struct DeepCleanup {
  explicit DeepCleanup(Names paths) : paths(std::move(paths)) {}
  ~DeepCleanup() {
    for (auto& p : paths) RemoveDeepTree(p);
  }
  Names paths;
};

// 40 levels of 255-character names, with side branches: paths of more than 10,000 characters.
TEST(HostileTree, ClassKeyNested40LevelsWith255CharacterNames) {
  Control c = PutControl(L"Vorn.HurDeep40", L"{HUR40000-D400-4CEF-8C2D-0123456789AB}");
  DeepCleanup cleanup(Names{c.progId, c.classKey} + FileTypes);
  Names chain;
  for (int level = 0; level < 40; ++level)
    chain.push_back(std::wstring(255, static_cast<wchar_t>(L'a' + level % 26)));
  ASSERT_TRUE(PutChain(c.classKey, chain));
  std::wstring path = c.classKey;
  for (int level = 0; level < 40; level += 7) {
    path = c.classKey;
    for (int i = 0; i <= level; ++i) path += L"\\" + chain[i];
    ASSERT_TRUE(PutKey(path + L"\\" + std::wstring(255, L'z') + L"\\side", L"s"));
  }
  const Snapshot before = TakeSnapshot();
  ASSERT_GT(KeysIn(before, c.classKey), 40u);

  EXPECT_TRUE(RemoveControlInView(c.progId.c_str(), Native).removed);
  EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(), Names{c.progId, c.classKey} + FileTypes));
}

// Below 128 levels of long names the full path passes the longest path the registry takes
// (32,766 characters); the registry would act on the cut path, here the key one level up.
// Such a subtree cannot be deleted by its path: it stops its parents like any key that cannot
// be deleted, and nothing else is touched.
TEST(HostileTree, TreeDeeperThanTheLongestRegistryPath) {
  Control c = PutControl(L"Vorn.HurBeyond", L"{HUR41000-D410-4CEF-8C2D-0123456789AB}");
  DeepCleanup cleanup(Names{c.progId, c.classKey} + FileTypes);
  ASSERT_EQ(c.classKey.size(), 44u);
  Names chain(127, std::wstring(255, L'a'));
  chain.push_back(std::wstring(208, L'b'));  // this level and its backslash end at 32,766
  chain.push_back(L"z");
  ASSERT_TRUE(PutChain(c.classKey, chain));
  ASSERT_TRUE(PutChain(c.classKey, Names(127, std::wstring(255, L'a')) +
                                       Names{std::wstring(208, L'b'), L"zz", L"y"}));
  const Snapshot before = TakeSnapshot();

  const RemovalResult result = RemoveControlInView(c.progId.c_str(), Native);
  EXPECT_FALSE(result.removed);  // the class key is left, and the result says so
  EXPECT_TRUE(result.progIdGone);
  EXPECT_EQ(result.keysLeft, 1);
  const Snapshot after = TakeSnapshot();
  EXPECT_TRUE(OnlyTheseWent(before, after, Names{c.progId, c.classKey} + FileTypes,
                            Names{c.progId} + FileTypes));
  EXPECT_EQ(KeysIn(after, c.classKey + L"\\" + chain[0]), 131u);
}

// A chain of 16,000 one-character levels (Wine has no depth limit; Windows stops at 512).
TEST(HostileTree, ChainOf16000Levels) {
  Control c = PutControl(L"Vorn.HurChain", L"{HUR42000-D420-4CEF-8C2D-0123456789AB}");
  DeepCleanup cleanup(Names{c.progId, c.classKey} + FileTypes);
  ASSERT_TRUE(PutChain(c.progId + L"\\x", Names(16000, L"x")));
  const Snapshot before = TakeSnapshot();

  const RemovalResult result = RemoveControlInView(c.progId.c_str(), Native);
  EXPECT_FALSE(result.removed);
  EXPECT_FALSE(result.progIdGone);
  EXPECT_EQ(result.keysLeft, 1);
  const Snapshot after = TakeSnapshot();
  EXPECT_TRUE(OnlyTheseWent(before, after, Names{c.progId, c.classKey} + FileTypes,
                            Names{c.classKey} + FileTypes));
}

// 10,000 subkeys under one control key all go.
TEST(HostileTree, TenThousandSubkeysUnderTheClassKey) {
  Control c = PutControl(L"Vorn.HurWide", L"{HUR43000-D430-4CEF-8C2D-0123456789AB}");
  DeepCleanup cleanup(Names{c.progId, c.classKey} + FileTypes);
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, c.classKey.c_str(), 0, KEY_ALL_ACCESS, &key), 0);
  for (int i = 0; i < 10000; ++i) {
    HKEY child;
    ASSERT_EQ(RegCreateKeyExW(key, (L"Implemented Category " + std::to_wstring(i)).c_str(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              0);
    RegCloseKey(child);
  }
  RegCloseKey(key);
  const Snapshot before = TakeSnapshot();

  EXPECT_TRUE(RemoveControlInView(c.progId.c_str(), Native).removed);
  EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(), Names{c.progId, c.classKey} + FileTypes));
}

// A subkey of the class key that cannot be deleted: the subkeys before it go, it and those
// after it stay, the class key stays; the rest of the removal runs.
TEST(HostileTree, UndeletableSubkeyStopsTheClassKey) {
  Control c = PutControl(L"Vorn.HurStuck", L"{HUR44000-D440-4CEF-8C2D-0123456789AB}");
  DeepCleanup cleanup(Names{c.progId, c.classKey} + FileTypes);
  PutKey(c.classKey + L"\\A\\deep\\deeper", L"a");
  PutKey(c.classKey + L"\\A2", L"a");
  ASSERT_TRUE(PutUndeletable(c.classKey + L"\\B"));
  PutKey(c.classKey + L"\\C\\deep", L"c");
  ASSERT_EQ(SubkeyNames(c.classKey),
            (Names{L"A", L"A2", L"B", L"C", L"InprocServer32", L"ProgID"}));
  const Snapshot before = TakeSnapshot();

  const RemovalResult result = RemoveControlInView(c.progId.c_str(), Native);
  EXPECT_FALSE(result.removed);
  EXPECT_TRUE(result.progIdGone);
  EXPECT_EQ(result.keysLeft, 1);
  EXPECT_TRUE(
      OnlyTheseWent(before, TakeSnapshot(), Names{c.progId, c.classKey} + FileTypes,
                    Names{c.progId, c.classKey + L"\\A", c.classKey + L"\\A2"} + FileTypes));
  EXPECT_EQ(SubkeyNames(c.classKey), (Names{L"B", L"C", L"InprocServer32", L"ProgID"}));
}

// Links below a control's keys lead to keys that are not the control's: neither the keys they
// lead to nor anything below those may go. A link counts as a key that cannot be deleted.
TEST(HostileTree, LinksBelowTheControlLeadNowhereElse) {
  Control c = PutControl(L"Vorn.HurLinks", L"{HUR45000-D450-4CEF-8C2D-0123456789AB}");
  const Names decoys{L"HurDecoyLeaf", L"HurDecoyTree"};
  DeepCleanup cleanup(Names{c.progId, c.classKey} + FileTypes + decoys);
  PutKey(L"HurDecoyLeaf", L"leaf");
  PutKey(L"HurDecoyTree\\child\\grandchild", L"tree");
  PutKey(L"HurDecoyTree\\other", L"tree");
  ASSERT_TRUE(PutLinkTo(c.progId + L"\\Leaf", L"HurDecoyLeaf"));
  ASSERT_TRUE(PutLinkTo(c.classKey + L"\\0Tree", L"HurDecoyTree"));
  ASSERT_TRUE(PutLinkTo(L".zxd\\Tree", L"HurDecoyTree"));
  const Snapshot before = TakeSnapshot();

  const RemovalResult result = RemoveControlInView(c.progId.c_str(), Native);
  EXPECT_FALSE(result.removed);
  EXPECT_EQ(result.keysLeft, 3);  // the ProgID, the class key and .zxd hold the links
  EXPECT_TRUE(OnlyTheseWent(before, TakeSnapshot(), Names{c.progId, c.classKey} + FileTypes,
                            Names{L".zco"}));
  EXPECT_EQ(ExportTree(L"HurDecoyTree"),
            L"HurDecoyTree\nHurDecoyTree\\child\nHurDecoyTree\\child\\grandchild=tree\n"
            L"HurDecoyTree\\other=tree\n");
  EXPECT_EQ(ExportTree(L"HurDecoyLeaf"), L"HurDecoyLeaf=leaf\n");
}

// An interface and a library key that match the control's library but are links to another
// program's keys: the sweep leaves them and what they lead to; the control's real ones go.
TEST(HostileTree, SweptKeysThatAreLinks) {
  Control c = PutControl(L"Vorn.HurSweptLinks", L"{A4700000-D470-4CEF-8C2D-0123456789AB}");
  const std::wstring tail = L"D470-4CEF-8C2D-0123456789AB}";
  const std::wstring lib = L"{A4700001-" + tail;
  const Names real{L"Interface\\{A4700002-" + tail, L"TypeLib\\" + lib};
  const Names links{L"Interface\\{A4700003-" + tail, L"TypeLib\\{A4700004-" + tail};
  const Names decoys{L"HurDecoyInterface", L"HurDecoyLibrary"};
  DeepCleanup cleanup(Names{c.progId, c.classKey} + FileTypes + real + links + decoys);
  PutKey(c.classKey + L"\\TypeLib", lib.c_str());
  PutKey(real[0] + L"\\TypeLib", lib.c_str());
  PutKey(real[1] + L"\\1.0\\0\\win32", L"C:\\VornActiveX\\1\\ctl.ocx");
  PutKey(L"HurDecoyInterface\\TypeLib", L"{00020430-0000-0000-C000-000000000046}");
  PutKey(L"HurDecoyLibrary\\2.0\\0\\win32", L"stdole2.tlb");
  ASSERT_TRUE(PutLinkTo(links[0], decoys[0]));
  ASSERT_TRUE(PutLinkTo(links[1], decoys[1]));
  const Snapshot before = TakeSnapshot();

  const RemovalResult result = RemoveControlInView(c.progId.c_str(), Native);
  EXPECT_FALSE(result.removed);  // the two links match and cannot go
  EXPECT_EQ(result.keysLeft, 2);
  EXPECT_TRUE(
      ExactlyTheseWent(before, TakeSnapshot(), Names{c.progId, c.classKey} + FileTypes + real));
  EXPECT_EQ(Existing(links + decoys), links + decoys);
}

// A ProgID key that is itself a link to another program's ProgID: removing it must not
// remove that program's registration.
TEST(HostileTree, ProgIdThatIsALink) {
  Control other = PutControl(L"HurOther.Program", L"{HUR46000-D460-4CEF-8C2D-0123456789AB}");
  const std::wstring progId = L"Vorn.HurLinked";
  DeepCleanup cleanup(Names{progId, other.progId, other.classKey} + FileTypes);
  ASSERT_TRUE(PutLinkTo(progId, other.progId));
  const Snapshot before = TakeSnapshot();

  for (const RemovalResult& result :
       {RemoveControlInView(progId.c_str(), Native), RemoveControl(progId.c_str())}) {
    EXPECT_FALSE(result.removed);
    EXPECT_FALSE(result.progIdGone);
    EXPECT_EQ(result.keysDeleted, 0);
  }
  EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(), Names{}));
}
}  // namespace
