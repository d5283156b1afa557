// /uninstall against registrations that are not what they claim, through the real program run
// unattended: a class planted with the maker's ProgID that names COM's own type library, and
// a control whose class key cannot be deleted whole.
#include <windows.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/window/app_window.h"
#include "tests/unattended/unattended_driver.h"
#include "tests/common/registry_fixture.h"

namespace {
using Names = std::vector<std::wstring>;
constexpr unsigned RunBound = 60000;
const wchar_t EvilProgId[] = L"Vorn.Evil";
const std::wstring EvilClass = L"CLSID\\{E7000000-0000-4000-8000-00000000E712}";
const wchar_t OleTypeLib[] = L"{00020430-0000-0000-C000-000000000046}";

std::wstring Exe() { return WindowsPath(CTLWARDEN_EXE); }
std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring FreshLog(const wchar_t* name) {
  static int runs = 0;
  std::wstring work = WindowsPath(UNATTENDED_WORK_DIR);
  CreateDirectoryW(work.c_str(), nullptr);
  return work + L"\\removal" + std::to_wstring(GetTickCount64()) + L"-" +
         std::to_wstring(++runs) + L"\\" + name;
}

// The log's "remove" line for the ProgID, split at its tabs; empty when there is none.
std::vector<std::wstring> RemoveLine(const std::wstring& log, const std::wstring& progId) {
  std::wstring text = Utf8ToWide(FileBytes(log));
  for (const std::wstring& line : Lines(text)) {
    std::vector<std::wstring> fields = Fields(line);
    if (fields.size() >= 5 && fields[1] == L"remove" && fields[2] == progId) return fields;
  }
  return {};
}

// The system's COM keys the planted class aims at; the ones this prefix lacks are created and
// removed again afterwards.
struct SystemKeys {
  SystemKeys() {
    for (const wchar_t* guid :
         {L"{00000000-0000-0000-C000-000000000046}", L"{00000001-0000-0000-C000-000000000046}",
          L"{00000002-0000-0000-C000-000000000046}", L"{00000003-0000-0000-C000-000000000046}",
          L"{00020400-0000-0000-C000-000000000046}", L"{00020401-0000-0000-C000-000000000046}",
          L"{00020402-0000-0000-C000-000000000046}", L"{00020404-0000-0000-C000-000000000046}"})
      Put(L"Interface\\" + std::wstring(guid), L"\\ProxyStubClsid32",
          L"{00020424-0000-0000-C000-000000000046}");
    Put(L"TypeLib\\" + std::wstring(OleTypeLib), L"\\2.0\\0\\win32",
        L"C:\\windows\\system32\\stdole2.tlb");
  }
  ~SystemKeys() {
    for (auto& k : created) RemoveTree(k);
  }
  void Put(const std::wstring& key, const std::wstring& below, const wchar_t* value) {
    if (!KeyExists(key)) created.push_back(key);
    if (!KeyExists(key + below)) PutKey(key + below, value);
    keys.push_back(key);
  }
  std::wstring Listing() const {
    std::wstring all;
    for (auto& k : keys) all += ExportTree(k);
    return all;
  }
  Names keys, created;
};

void PlantEvil(const std::wstring& file) {
  PutKey(EvilProgId, L"Vorn control");
  PutKey(std::wstring(EvilProgId) + L"\\CLSID", EvilClass.substr(6).c_str());
  PutKey(EvilClass + L"\\InprocServer32", file.c_str());
  PutKey(EvilClass + L"\\ProgID", EvilProgId);
  PutKey(EvilClass + L"\\TypeLib", OleTypeLib);
}

// A key below HKEY_CLASSES_ROOT that no one can delete by its name: a link to nowhere.
bool PutLinkToNowhere(const std::wstring& path) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                      KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  const std::wstring target = L"\\Registry\\Machine\\Software\\Classes\\UniRemovalNowhere";
  LONG r = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK,
                          reinterpret_cast<const BYTE*>(target.c_str()),
                          static_cast<DWORD>(target.size() * sizeof(wchar_t)));
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

void DeleteLink(const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), REG_OPTION_OPEN_LINK, DELETE, &key) != 0)
    return;
  using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
  auto deleteKey = reinterpret_cast<NtDeleteKeyFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), "NtDeleteKey")));
  if (deleteKey) deleteKey(key);
  RegCloseKey(key);
}

// The planted class names the OLE type library, and its file is the one that library
// registers: the run removes the planted ProgID and class and ends with 0, and every key of
// the system's range is still there as it was.
TEST(UnattendedRemoval, PlantedClassNamingTheSystemsTypeLibraryLeavesItsKeys) {
  SystemKeys system;
  wchar_t oleFile[MAX_PATH] = {};
  LONG size = sizeof oleFile;
  ASSERT_EQ(RegQueryValueW(HKEY_CLASSES_ROOT,
                           (L"TypeLib\\" + std::wstring(OleTypeLib) + L"\\2.0\\0\\win32").c_str(),
                           oleFile, &size),
            ERROR_SUCCESS);
  PlantEvil(oleFile);
  const std::wstring before = system.Listing();

  const std::wstring log = FreshLog(L"evil.log");
  UnattendedRun run =
      RunUnattended(Exe(), L"/uninstall Vorn.Evil /quiet /log " + Quoted(log), nullptr, RunBound);
  EXPECT_TRUE(run.ended);
  EXPECT_TRUE(run.windows.empty());
  EXPECT_EQ(0u, run.exitCode);
  EXPECT_FALSE(KeyExists(EvilProgId));
  EXPECT_FALSE(KeyExists(EvilClass));
  EXPECT_EQ(system.Listing(), before);
  std::vector<std::wstring> line = RemoveLine(log, EvilProgId);
  ASSERT_FALSE(line.empty());
  EXPECT_EQ(L"ok", line[3]);
  RemoveTree(EvilProgId);
  RemoveTree(EvilClass);
}

// A class key that cannot be deleted whole: the ProgID goes, yet the removal failed, and the
// run says so with 1603 and the reason.
TEST(UnattendedRemoval, ClassKeyLeftBehindIsAFailure) {
  const wchar_t progId[] = L"Vorn.UniRemovalStuck";
  const std::wstring classKey = L"CLSID\\{E7000000-0000-4000-8000-00000000E713}";
  PutKey(std::wstring(progId) + L"\\CLSID", classKey.substr(6).c_str());
  PutKey(classKey + L"\\InprocServer32", L"C:\\VornActiveX\\1\\ctl.ocx");
  PutKey(classKey + L"\\ProgID", progId);
  ASSERT_TRUE(PutLinkToNowhere(classKey + L"\\Stuck"));

  const std::wstring log = FreshLog(L"stuck.log");
  UnattendedRun run = RunUnattended(
      Exe(), L"/uninstall " + std::wstring(progId) + L" /quiet /log " + Quoted(log), nullptr,
      RunBound);
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(1603u, run.exitCode);
  EXPECT_FALSE(KeyExists(progId));
  EXPECT_TRUE(KeyExists(classKey));
  std::vector<std::wstring> line = RemoveLine(log, progId);
  ASSERT_FALSE(line.empty());
  EXPECT_EQ(L"failed", line[3]);
  EXPECT_EQ(L"keys of the control are still there", line[4]);
  DeleteLink(classKey + L"\\Stuck");
  RemoveTree(classKey);
  RemoveTree(progId);
}
}  // namespace
