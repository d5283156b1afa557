// The query that fills the list of installed controls from the keys below HKEY_CLASSES_ROOT.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "window/globals.h"
#include "tests/common/list_box.h"
#include "tests/core/uninstall/keys.h"
#include "core/uninstall/query.h"
#include "tests/window/query_list.h"

namespace {
using Names = std::vector<std::wstring>;

class Query : public testing::Test {
 protected:
  void SetUp() override {
    ControlList = CreateWindowExW(0, L"LISTBOX", L"", WS_OVERLAPPEDWINDOW | LBS_NOTIFY, 0, 0,
                                  300, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(ControlList, nullptr);
  }
  void TearDown() override {
    DestroyWindow(ControlList);
    ControlList = nullptr;
  }

  static void Add(const wchar_t* text) {
    SendMessageW(ControlList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  static Names Entries() { return ListBoxEntries(ControlList); }
  // The names, in the order in which the registry lists the root's subkeys.
  static Names InRegistryOrder(const Names& names) {
    std::set<std::wstring> wanted(names.begin(), names.end());
    Names out;
    for (auto& n : SubkeyNames(L""))
      if (wanted.count(n)) out.push_back(n);
    return out;
  }
};

const std::wstring LongChinese(250, L'\x4e2d');  // 中

TEST_F(Query, ListsNamesWithAVendorPrefixWhole) {
  const Names listed{L"VORN.",
                     L"PDF.V",
                     L"Vorn.LargeDataUploader",
                     L"VORN.AtUniQuery",
                     L"PDF.VUniQuery",
                     L"Vorn.UniQuery" + std::wstring(242, L'x'),
                     L"VORN." + LongChinese};
  // Names differ in more than letter case: the registry does not tell those apart.
  const Names notListed{L"vorn.UniQueryLower", L"VORN_UniQuery",     L"VORNUniQuery",
                        L"Vorn",               L"Pdf.VUniQueryCase", L"PDF.vUniQueryCase2",
                        L"PDF.",               L"PDFV.UniQuery",     L"Vorn\x4e2dUniQuery",
                        L"\x4e2dVORN.",        L" VORN.UniQuery",    L"VORM.UniQuery",
                        L"Vorn" + LongChinese};
  KeyCleanup cleanup(listed + notListed);
  for (auto& n : listed + notListed) ASSERT_TRUE(PutKey(n, L"x")) << testing::PrintToString(n);
  ASSERT_EQ(listed[5].size(), 255u);
  ASSERT_EQ(listed[6].size(), 255u);
  ASSERT_EQ(GetACP(), 936u);

  EXPECT_EQ(QueryInstalledControls(), static_cast<int>(listed.size()));
  EXPECT_EQ(Entries(), InRegistryOrder(listed));
}

TEST_F(Query, RebuildsTheListWithoutOldEntriesOrDuplicates) {
  const Names listed{L"Vorn.", L"VORN.SeUniQueryA", L"Vorn.UniQueryB"};
  KeyCleanup cleanup(listed);
  for (auto& n : listed) PutKey(n);
  Add(L"Vorn.Old");
  Add(L"VORN.SeUniQueryA");
  Add(L"VORN.SeUniQueryA");

  EXPECT_EQ(QueryInstalledControls(), 3);
  EXPECT_EQ(Entries(), InRegistryOrder(listed));
  EXPECT_EQ(QueryInstalledControls(), 3);
  EXPECT_EQ(Entries(), InRegistryOrder(listed));
}

TEST_F(Query, NoMatchingKeyLeavesAnEmptyListAndZero) {
  KeyCleanup cleanup({L"vorn.UniQueryNone"});
  PutKey(L"vorn.UniQueryNone");
  for (auto text : {L"VORN.AtOld", L"Vorn.Old", L"x"}) Add(text);
  EXPECT_EQ(QueryInstalledControls(), 0);
  EXPECT_EQ(Entries(), Names{});
  EXPECT_EQ(QueryInstalledControls(), 0);
  EXPECT_EQ(Entries(), Names{});
}

TEST_F(Query, RemovedKeyIsGoneFromTheNextQuery) {
  KeyCleanup cleanup({L"VORN.WeUniQuery1", L"VORN.WeUniQuery2"});
  PutKey(L"VORN.WeUniQuery1");
  PutKey(L"VORN.WeUniQuery2");
  EXPECT_EQ(QueryInstalledControls(), 2);
  RemoveTree(L"VORN.WeUniQuery1");
  EXPECT_EQ(QueryInstalledControls(), 1);
  EXPECT_EQ(Entries(), Names{L"VORN.WeUniQuery2"});
}
}  // namespace
