// Deleting key trees below HKEY_CLASSES_ROOT: whole trees, failures that stop a parent, paths
// that must never be acted on, and trees deeper than the working buffer.
#include <gtest/gtest.h>

#include <string>

#include "tests/core/uninstall/keys.h"
#include "core/uninstall/key_tree.h"

namespace {
std::wstring Name(wchar_t fill, size_t length) { return std::wstring(length, fill); }

TEST(DeleteKeyTree, KeyWithoutSubkeysIsDeleted) {
  KeyCleanup cleanup({L"UniTreeLeaf"});
  ASSERT_TRUE(PutKey(L"UniTreeLeaf\\Leaf", L"v"));
  PutKey(L"UniTreeLeaf\\Leaf2");
  EXPECT_EQ(DeleteClassesRootTree(L"UniTreeLeaf\\Leaf"), 1);
  EXPECT_EQ(ExportTree(L"UniTreeLeaf"), L"UniTreeLeaf\nUniTreeLeaf\\Leaf2\n");
}

TEST(DeleteKeyTree, MissingKeyGivesZero) {
  KeyCleanup cleanup({L"UniTreeMissing"});
  PutKey(L"UniTreeMissing\\Here");
  EXPECT_EQ(DeleteClassesRootTree(L"UniTreeMissing\\NotHere"), 0);
  EXPECT_EQ(DeleteClassesRootTree(L"UniTreeMissingToo"), 0);
  EXPECT_EQ(ExportTree(L"UniTreeMissing"), L"UniTreeMissing\nUniTreeMissing\\Here\n");
}

TEST(DeleteKeyTree, NestedTreeGoesWholeAndNeighboursStay) {
  KeyCleanup cleanup({L"UniTreeNest"});
  for (auto p : {L"UniTreeNest\\T\\A\\B\\C", L"UniTreeNest\\T\\A\\B\\D", L"UniTreeNest\\T\\A\\E",
                 L"UniTreeNest\\T\\F", L"UniTreeNest\\T2\\A", L"UniTreeNest\\S"})
    ASSERT_TRUE(PutKey(p, L"value"));
  WorkingPath path;
  wcscpy(path.text, L"UniTreeNest\\T");
  EXPECT_EQ(DeleteKeyTree(HKEY_CLASSES_ROOT, path), 1);
  EXPECT_STREQ(path.text, L"UniTreeNest\\T");
  EXPECT_EQ(ExportTree(L"UniTreeNest"),
            L"UniTreeNest\nUniTreeNest\\S=value\nUniTreeNest\\T2\n"
            L"UniTreeNest\\T2\\A=value\n");
}

TEST(DeleteKeyTree, TrailingBackslashIsDroppedFromThePath) {
  KeyCleanup cleanup({L"UniTreeTrail"});
  PutKey(L"UniTreeTrail\\X\\Y\\Z");
  PutKey(L"UniTreeTrail\\Keep");
  WorkingPath path;
  wcscpy(path.text, L"UniTreeTrail\\X\\");
  EXPECT_EQ(DeleteKeyTree(HKEY_CLASSES_ROOT, path), 1);
  EXPECT_STREQ(path.text, L"UniTreeTrail\\X");
  EXPECT_EQ(ExportTree(L"UniTreeTrail"), L"UniTreeTrail\nUniTreeTrail\\Keep\n");
}

// B is a key this program cannot delete; it stops P, and P's failure stops the top key.
TEST(DeleteKeyTree, UndeletableChildStopsItsParentAndEveryAncestor) {
  const std::wstring top = L"UniTreeStop", p = top + L"\\P";
  KeyCleanup cleanup({top});
  PutKey(top + L"\\Before\\x");
  PutKey(p + L"\\A\\deep");
  ASSERT_TRUE(PutUndeletable(p + L"\\B"));
  PutKey(p + L"\\C\\deep", L"c");
  PutKey(top + L"\\Zafter");
  ASSERT_EQ(SubkeyNames(p), (std::vector<std::wstring>{L"A", L"B", L"C"}));

  EXPECT_EQ(DeleteClassesRootTree(p.c_str()), 0);
  EXPECT_EQ(SubkeyNames(p), (std::vector<std::wstring>{L"B", L"C"}));
  EXPECT_EQ(ExportTree(p + L"\\C"), p + L"\\C\n" + p + L"\\C\\deep=c\n");

  PutKey(p + L"\\A");
  EXPECT_EQ(DeleteClassesRootTree(top.c_str()), 0);
  EXPECT_EQ(SubkeyNames(top), (std::vector<std::wstring>{L"P", L"Zafter"}));
  EXPECT_EQ(SubkeyNames(p), (std::vector<std::wstring>{L"B", L"C"}));

  DeleteLinkKey(p + L"\\B");
  EXPECT_EQ(DeleteClassesRootTree(top.c_str()), 1);
  EXPECT_FALSE(KeyExists(top));
}

// The registry reads a leading or doubled backslash as if it were not there: such paths
// would name the root, or a key other than the one they spell.
TEST(DeleteKeyTree, RootAndPathsWithEmptyNamesAreRefused) {
  KeyCleanup cleanup({L"UniTreeRoot"});
  PutKey(L"UniTreeRoot\\Child");
  const std::wstring before = ExportTree(L"UniTreeRoot");
  for (auto path : {L"", L"\\", L"\\\\", L"\\UniTreeRoot", L"\\UniTreeRoot\\Child",
                    L"UniTreeRoot\\\\Child", L"UniTreeRoot\\\\", L"UniTreeRoot\\Child\\\\"}) {
    EXPECT_EQ(DeleteClassesRootTree(path), 0) << "path " << testing::PrintToString(path);
    WorkingPath working;
    wcscpy(working.text, path);
    EXPECT_EQ(DeleteKeyTree(HKEY_CLASSES_ROOT, working), 0);
  }
  EXPECT_EQ(ExportTree(L"UniTreeRoot"), before);
  EXPECT_TRUE(KeyExists(L"CLSID"));
  EXPECT_TRUE(KeyExists(L"Interface"));
}

// 519 characters fit the working buffer; a 520-character path is refused whole, as its first
// 519 characters name another key (here an existing sibling).
TEST(DeleteClassesRootTree, PathOf519CharactersIsDeletedAndOf520Refused) {
  const std::wstring top = L"UniTree519\\";  // 11 characters
  const std::wstring parent = top + Name(L'p', 255);
  const std::wstring path519 = parent + L"\\" + Name(L'a', 252);
  const std::wstring path520 = parent + L"\\" + Name(L'b', 253);
  const std::wstring cut520 = path520.substr(0, 519);
  ASSERT_EQ(path519.size(), 519u);
  ASSERT_EQ(path520.size(), 520u);
  KeyCleanup cleanup({L"UniTree519"});
  PutKey(path519 + L"\\child", L"x");
  PutKey(path520, L"520");
  PutKey(cut520, L"519");

  EXPECT_EQ(DeleteClassesRootTree(path520.c_str()), 0);
  EXPECT_EQ(ExportTree(path520), path520 + L"=520\n");
  EXPECT_EQ(ExportTree(cut520), cut520 + L"=519\n");

  EXPECT_EQ(DeleteClassesRootTree(path519.c_str()), 1);
  EXPECT_FALSE(KeyExists(path519));
  EXPECT_TRUE(KeyExists(path520));
}

TEST(DeleteClassesRootTree, ChildrenBeyond519CharactersAreDeletedToo) {
  const std::wstring path = L"UniTreeGrow\\" + Name(L'p', 255) + L"\\" + Name(L'q', 251);
  ASSERT_EQ(path.size(), 519u);
  KeyCleanup cleanup({L"UniTreeGrow"});
  PutKey(path + L"\\" + Name(L'c', 255) + L"\\" + Name(L'd', 255));
  PutKey(path + L"\\" + Name(L'e', 3));
  PutKey(L"UniTreeGrow\\Keep");
  EXPECT_EQ(DeleteClassesRootTree(path.c_str()), 1);
  EXPECT_EQ(ExportTree(L"UniTreeGrow"),
            L"UniTreeGrow\nUniTreeGrow\\Keep\nUniTreeGrow\\" + Name(L'p', 255) + L"\n");
}

// 40 levels of 255-character names make paths of more than 10000 characters.
TEST(DeleteClassesRootTree, DeepTreeWithLongNamesIsDeletedCompletely) {
  const std::wstring top = L"UniTreeDeep\\T";
  std::wstring path = top;
  for (int level = 0; level < 40; ++level) {
    path += L"\\" + Name(static_cast<wchar_t>(L'a' + level % 26), 255);
    if (level % 10 == 5) PutKey(path + L"\\" + Name(L'z', 255) + L"\\side", L"s");
  }
  KeyCleanup cleanup({L"UniTreeDeep"});
  ASSERT_TRUE(PutKey(path, L"bottom"));
  PutKey(L"UniTreeDeep\\Keep");
  ASSERT_GT(path.size(), 10000u);

  WorkingPath working;
  wcscpy(working.text, top.c_str());
  EXPECT_EQ(DeleteKeyTree(HKEY_CLASSES_ROOT, working), 1);
  EXPECT_STREQ(working.text, top.c_str());
  EXPECT_GT(working.capacity, path.size());
  EXPECT_EQ(ExportTree(L"UniTreeDeep"), L"UniTreeDeep\nUniTreeDeep\\Keep\n");
}

// Deletion follows a tree down to 512 levels below the key it was given; a key one level
// deeper counts as one it cannot delete. Windows counts its limit of 512 levels from the
// hive's root, so a tree this deep below a key of HKEY_CLASSES_ROOT cannot exist there: only
// Wine, which sets no such limit, lets the case build it.
TEST(DeleteKeyTree, FollowsATreeDownTo512LevelsAndNoDeeper) {
  KeyCleanup cleanup({L"UniTreeLevels"});
  for (int levels : {512, 513}) {
    SCOPED_TRACE(levels);
    const std::wstring top = L"UniTreeLevels\\T" + std::to_wstring(levels);
    ASSERT_TRUE(PutChain(top, std::vector<std::wstring>(levels, L"k")));
    const std::wstring before = ExportTree(top);
    WorkingPath working;
    wcscpy(working.text, top.c_str());
    EXPECT_EQ(DeleteKeyTree(HKEY_CLASSES_ROOT, working), levels == 512 ? 1 : 0);
    EXPECT_STREQ(working.text, top.c_str());
    EXPECT_EQ(levels == 512 ? L"" : before, ExportTree(top));
  }
}

TEST(DeleteClassesRootTree, WideTreeIsDeleted) {
  KeyCleanup cleanup({L"UniTreeWide"});
  for (int i = 0; i < 60; ++i) {
    std::wstring child = L"UniTreeWide\\T\\" + std::to_wstring(i);
    PutKey(child + L"\\x\\y");
    PutKey(child + L"\\z");
  }
  EXPECT_EQ(DeleteClassesRootTree(L"UniTreeWide\\T"), 1);
  EXPECT_EQ(ExportTree(L"UniTreeWide"), L"UniTreeWide\n");
}
}  // namespace
