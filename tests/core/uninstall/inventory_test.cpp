// The inventory's reading of one control from the machine's classes: what it refuses to read
// (a path that does not fit is never cut), which registry view it looks in, and when two paths
// are one file.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/common/registry_fixture.h"
#include "core/uninstall/inventory.h"

namespace {

const wchar_t ProgId[] = L"Vorn.Test.inventory";
const wchar_t Clsid[] = L"{7A3C00E0-5E21-4B8D-9F14-3C2B1A0D9E51}";
const std::wstring ClassKey = std::wstring(L"CLSID\\") + Clsid;

// The machine's classes in one view, written directly (HKEY_CLASSES_ROOT is this process's
// own view).
bool PutServer(REGSAM view, const std::wstring& value, DWORD type) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + ClassKey + L"\\InprocServer32").c_str(), 0,
                      nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  LONG r = RegSetValueExW(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

void RemoveClass(REGSAM view) {
  HKEY classes;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID", 0, KEY_ALL_ACCESS | view, &classes) ==
      ERROR_SUCCESS) {
    RegDeleteTreeW(classes, Clsid);
    RegDeleteKeyExW(classes, Clsid, view, 0);
    RegCloseKey(classes);
  }
}

const REGSAM OwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
const REGSAM OtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

class Inventory : public testing::Test {
 protected:
  void SetUp() override {
    Forget();
    PutKey(std::wstring(ProgId) + L"\\CLSID", Clsid);
  }
  void TearDown() override { Forget(); }
  static void Forget() {
    RemoveTree(ProgId);
    RemoveClass(KEY_WOW64_64KEY);
    RemoveClass(KEY_WOW64_32KEY);
  }
  static InstalledControl Read(bool anyView) {
    InstalledControl control;
    ReadInstalledControl(ProgId, anyView, control);
    return control;
  }
};

}  // namespace

// A path longer than the buffer, stored or after expansion, is refused whole: the inventory
// never names (and /uninstall never matches) a file by the first 999 characters of its path.
TEST_F(Inventory, AServerPathThatDoesNotFitIsRefusedNotCut) {
  std::wstring folder = L"C:\\" + std::wstring(990, L'a');
  ASSERT_TRUE(PutServer(OwnView, folder + L"\\vornctl.ocx", REG_SZ));
  InstalledControl stored = Read(false);
  EXPECT_EQ(ControlState::FileTooLong, stored.state);
  EXPECT_STREQ(L"", stored.file);
  EXPECT_FALSE(stored.present);

  SetEnvironmentVariableW(L"CTLWARDEN_LONG", folder.c_str());
  ASSERT_TRUE(PutServer(OwnView, L"%CTLWARDEN_LONG%\\vornctl.ocx", REG_EXPAND_SZ));
  InstalledControl expanded = Read(false);
  EXPECT_EQ(ControlState::FileTooLong, expanded.state);
  EXPECT_STREQ(L"", expanded.file);

  // The same expansion that fits is read expanded.
  SetEnvironmentVariableW(L"CTLWARDEN_LONG", L"C:\\Vorn");
  InstalledControl fits = Read(false);
  EXPECT_EQ(ControlState::FileMissing, fits.state);
  EXPECT_STREQ(L"C:\\Vorn\\vornctl.ocx", fits.file);
  SetEnvironmentVariableW(L"CTLWARDEN_LONG", nullptr);
}

// /verify asks about the program's own view only; the inventory also finds a class that only
// the other view of 64-bit Windows holds, and says which view that was.
TEST_F(Inventory, TheOwnViewForVerifyAndEitherViewForTheInventory) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  std::wstring file = std::wstring(system) + L"\\kernel32.dll";
  ASSERT_TRUE(PutServer(OtherView, file, REG_SZ));
  InstalledControl own = Read(false);
  EXPECT_EQ(ControlState::NoServer, own.state);
  EXPECT_EQ(0, own.view);
  InstalledControl any = Read(true);
  EXPECT_EQ(ControlState::Complete, any.state);
  EXPECT_EQ(sizeof(void*) == 8 ? 32 : 64, any.view);

  // Both views: the own one is reported.
  ASSERT_TRUE(PutServer(OwnView, file, REG_SZ));
  EXPECT_EQ(OwnRegistryView(), Read(true).view);
  EXPECT_EQ(ControlState::Complete, Read(false).state);
  EXPECT_STREQ(L"{7A3C00E0-5E21-4B8D-9F14-3C2B1A0D9E51}", Read(false).clsid);
}

// A CLSID value that names no single class key is no class: never "CLSID\" alone or a path.
TEST_F(Inventory, ACLSIDThatNamesNoOneKeyIsNoClass) {
  ASSERT_TRUE(PutServer(OwnView, L"C:\\Windows\\system32\\kernel32.dll", REG_SZ));
  for (const wchar_t* value : {L"", L"{7A3C00E0-5E21-4B8D-9F14-3C2B1A0D9E51}\\InprocServer32\\.."}) {
    PutKey(std::wstring(ProgId) + L"\\CLSID", value);
    InstalledControl control = Read(true);
    EXPECT_EQ(ControlState::NoClsid, control.state) << testing::PrintToString(std::wstring(value));
    EXPECT_STREQ(L"", control.clsid);
    EXPECT_EQ(0, control.view);
  }
  RemoveTree(ProgId);
  EXPECT_EQ(ControlState::NoProgId, Read(true).state);
}

// The file given to /uninstall and the one a registration names are compared as the file
// system reads them.
TEST(InventorySameFile, LetterCaseAndSlashesDoNotMakeAnotherFile) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  std::wstring kernel = std::wstring(system) + L"\\kernel32.dll";
  std::wstring spelled = kernel;
  for (wchar_t& c : spelled) c = c == L'\\' ? L'/' : static_cast<wchar_t>(towupper(c));
  EXPECT_TRUE(SameFile(kernel.c_str(), spelled.c_str()));
  EXPECT_TRUE(SameFile(kernel.c_str(), (std::wstring(system) + L"\\.\\kernel32.dll").c_str()));
  EXPECT_FALSE(SameFile(kernel.c_str(), (std::wstring(system) + L"\\user32.dll").c_str()));
  EXPECT_FALSE(SameFile(kernel.c_str(), (kernel + std::wstring(1200, L'x')).c_str()));
}
