// The clean-up of old unpack folders against what a user without rights may do: swap the root
// while it runs, own the root, put links and folders into an old folder; and a registration
// that names its file in another form than the one the folder was made under.
#include <windows.h>
#include <sddl.h>

#include <functional>

#include <gtest/gtest.h>

#include "core/register/unpack_cleanup.h"
#include "core/register/unpack_folder.h"
#include "tests/common/registry_fixture.h"
#include "tests/core/register/drop_support.h"
#include "tests/core/register/hostile_support.h"
#include "tests/core/register/unpack_root_case.h"

namespace {
const std::wstring Victim = L"C:\\cleanup-victim";

struct Fates {
  std::vector<std::pair<std::wstring, FolderFate>> seen;
  std::vector<DWORD> errors;
  std::function<void()> between;  // runs after the first folder's report
};

void Collect(const wchar_t* folder, FolderFate fate, DWORD error, void* context) {
  auto* fates = static_cast<Fates*>(context);
  fates->seen.emplace_back(folder, fate);
  fates->errors.push_back(error);
  if (fates->seen.size() == 1 && fates->between) fates->between();
}

std::string Show(const Fates& fates) {
  std::string text;
  for (size_t i = 0; i < fates.seen.size(); ++i)
    text += Narrow(fates.seen[i].first) + " " + std::to_string(static_cast<int>(fates.seen[i].second)) +
            " " + std::to_string(fates.errors[i]) + "\n";
  return text;
}

std::wstring Folder(const std::wstring& name) { return Root + L"\\" + name; }

// Sets the machine's root aside for the case and puts it back afterwards.
struct CleanupCase : testing::Test {
  void SetUp() override {
    for (const auto& aside : MovedAsideRoots()) DeleteTree(aside);
    DeleteTree(Saved);
    DeleteTree(Away);
    DeleteTree(Victim);
    hadRoot = GetFileAttributesW(Root.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (hadRoot) {
      ASSERT_TRUE(MoveFileW(Root.c_str(), Saved.c_str()));
    }
  }
  void TearDown() override {
    for (const auto& aside : MovedAsideRoots()) DeleteTree(aside);
    DeleteTree(Root);
    DeleteTree(Away);
    DeleteTree(Victim);
    for (const auto& key : keys) RemoveTree(key);
    if (hadRoot) {
      EXPECT_TRUE(MoveFileW(Saved.c_str(), Root.c_str()));
    }
  }

  // The root as the program makes it, with no folder in it.
  void MakeProgramRoot() {
    UnpackFolder folder;
    DWORD error = 0;
    ASSERT_EQ(UnpackFolderStatus::Created, CreateUnpackFolder(folder, &error)) << error;
    CloseUnpackFolder(folder);
    ASSERT_TRUE(RemoveDirectoryW(Backslashed(folder.wide).c_str()));
  }

  // A folder as an earlier unpack left it: one control.
  void PlantFolder(const std::wstring& path) {
    ASSERT_TRUE(CreateDirectories(path + L"\\"));
    ASSERT_TRUE(WriteWholeFile(path + L"\\a.ocx", "control bytes"));
  }

  void Register(const std::wstring& clsid, const std::wstring& file) {
    keys.push_back(L"CLSID\\" + clsid);
    ASSERT_TRUE(PutKey(L"CLSID\\" + clsid + L"\\InprocServer32", file.c_str()));
  }

  bool hadRoot = false;
  std::vector<std::wstring> keys;
};

bool Has(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
}  // namespace

// The user renames the held root away between two folders and puts a folder of the same
// names in its place: the rename fails, and nothing in a folder put there is deleted.
TEST_F(CleanupCase, ARootSwappedWhileItIsCleanedLosesNothingOfTheReplacement) {
  MakeProgramRoot();
  for (const wchar_t* name : {L"1700000100", L"1700000101", L"1700000102"}) PlantFolder(Folder(name));
  PlantFolder(Folder(L"1700000999"));  // the newest, kept
  bool renamed = false;
  Fates fates;
  fates.between = [&] {
    renamed = MoveFileW(Root.c_str(), Away.c_str()) != FALSE;
    if (!renamed) return;
    for (const wchar_t* name : {L"1700000101", L"1700000102"}) PlantFolder(Folder(name));
  };
  UnpackCleanup result = RemoveUnusedUnpackFolders(nullptr, Collect, &fates);
  EXPECT_FALSE(renamed) << "the held root was renamed";
  if (renamed) {
    EXPECT_TRUE(Has(Folder(L"1700000101") + L"\\a.ocx"));
    EXPECT_TRUE(Has(Folder(L"1700000102") + L"\\a.ocx"));
  } else {
    EXPECT_EQ(3, result.deleted) << Show(fates);
    EXPECT_EQ(std::vector<std::wstring>{L"1700000999\\"}, EntriesIn(Root));
  }
}

// The same swap to a Unix symbolic link (Wine's stand-in for a junction) to a folder of the
// user's: the link is never gone through.
TEST_F(CleanupCase, ARootSwappedForALinkIsNeverGoneThrough) {
  MakeProgramRoot();
  PlantFolder(Folder(L"1700000100"));
  PlantFolder(Folder(L"1700000101"));
  PlantFolder(Folder(L"1700000999"));
  PlantFolder(Victim + L"\\1700000101");
  bool renamed = false, linked = false;
  Fates fates;
  fates.between = [&] {
    renamed = MoveFileW(Root.c_str(), Away.c_str()) != FALSE;
    if (renamed) linked = MakeUnixLink(Root, Victim);
  };
  RemoveUnusedUnpackFolders(nullptr, Collect, &fates);
  EXPECT_FALSE(renamed);
  EXPECT_TRUE(Has(Victim + L"\\1700000101\\a.ocx"));
  if (linked) RemoveLink(Root);
}

// A root of another owner is not cleaned: it is moved aside with everything in it, and the
// result names where it went. Only where the system keeps owners (Windows; see
// docs/security.md for the check by hand).
TEST_F(CleanupCase, ARootOfAnotherOwnerIsMovedAsideAndNothingInItDeleted) {
  if (!SystemKeepsOwners()) GTEST_SKIP() << "this system shows one owner for every file";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"O:BUD:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  ASSERT_TRUE(CreateDirectoryW(Root.c_str(), &attributes));
  LocalFree(descriptor);
  PlantFolder(Folder(L"1700000100"));
  PlantFolder(Folder(L"1700000999"));
  Fates fates;
  UnpackCleanup result = RemoveUnusedUnpackFolders(nullptr, Collect, &fates);
  EXPECT_EQ(0, result.deleted);
  EXPECT_TRUE(fates.seen.empty());
  std::vector<std::wstring> aside = MovedAsideRoots();
  ASSERT_EQ(1u, aside.size());
  EXPECT_EQ(aside[0], result.movedAside);
  EXPECT_TRUE(Has(aside[0] + L"\\1700000100\\a.ocx"));
  EXPECT_TRUE(EntriesIn(Root).empty());
}

// An old folder that holds what the program never unpacks (a subfolder, a link) is kept
// whole; an old folder of plain files beside them goes.
TEST_F(CleanupCase, AnOldFolderWithASubfolderOrALinkIsKept) {
  MakeProgramRoot();
  PlantFolder(Folder(L"1700000100"));
  ASSERT_TRUE(CreateDirectoryW((Folder(L"1700000100") + L"\\sub").c_str(), nullptr));
  PlantFolder(Folder(L"1700000101"));
  PlantFolder(Victim);
  bool linked = MakeUnixLink(Folder(L"1700000101") + L"\\link", Victim);
  PlantFolder(Folder(L"1700000102"));
  PlantFolder(Folder(L"1700000999"));
  Fates fates;
  RemoveUnusedUnpackFolders(nullptr, Collect, &fates);
  EXPECT_EQ((std::vector<std::wstring>{L"a.ocx", L"sub\\"}), EntriesIn(Folder(L"1700000100")));
  EXPECT_TRUE(Has(Victim + L"\\a.ocx"));
  if (linked) {
    EXPECT_TRUE(Has(Folder(L"1700000101") + L"\\a.ocx"));
    RemoveLink(Folder(L"1700000101") + L"\\link");
  }
  EXPECT_FALSE(Has(Folder(L"1700000102"))) << Show(fates);
  for (const auto& [folder, fate] : fates.seen) {
    if (folder.find(L"1700000100") != std::wstring::npos) {
      EXPECT_EQ(FolderFate::NotOurs, fate);
    }
  }
}

// A registration names its file by an 8.3 short name, with "\\?\" or with forward slashes:
// its folder is still the folder in use.
TEST_F(CleanupCase, ARegistrationInAnotherFormOfThePathKeepsItsFolder) {
  MakeProgramRoot();
  for (const wchar_t* name : {L"1700000100", L"1700000101", L"1700000102", L"1700000103"})
    PlantFolder(Folder(name));
  PlantFolder(Folder(L"1700000999"));
  wchar_t shortPath[MAX_PATH] = {};
  ASSERT_NE(0u, GetShortPathNameW((Folder(L"1700000100") + L"\\a.ocx").c_str(), shortPath, MAX_PATH));
  ASSERT_NE(Folder(L"1700000100") + L"\\a.ocx", shortPath) << "no short name to test";
  Register(L"{6D3A0B10-1C2D-4E5F-8A9B-0C1D2E3F4A50}", shortPath);
  Register(L"{6D3A0B10-1C2D-4E5F-8A9B-0C1D2E3F4A51}", L"\\\\?\\" + Folder(L"1700000101") + L"\\a.ocx");
  Register(L"{6D3A0B10-1C2D-4E5F-8A9B-0C1D2E3F4A52}", L"c:/vornactivex/1700000102/A.OCX");
  Fates fates;
  UnpackCleanup result = RemoveUnusedUnpackFolders(nullptr, Collect, &fates);
  EXPECT_TRUE(Has(Folder(L"1700000100") + L"\\a.ocx")) << shortPath;
  EXPECT_TRUE(Has(Folder(L"1700000101") + L"\\a.ocx"));
  EXPECT_TRUE(Has(Folder(L"1700000102") + L"\\a.ocx"));
  EXPECT_FALSE(Has(Folder(L"1700000103")));
  EXPECT_EQ(1, result.deleted);
}
