#include "tests/core/uninstall/hostile_support.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwctype>
#include <string>

#include "tests/core/uninstall/keys.h"

namespace {
// ---- watchdog ----
std::atomic<ULONGLONG> caseStarted{0};
char caseName[512];

DWORD WINAPI WatchCases(void*) {
  for (;;) {
    Sleep(250);
    ULONGLONG started = caseStarted.load();
    if (started != 0 && GetTickCount64() - started > CaseBoundSeconds * 1000ull) {
      fprintf(stderr, "\nHUNG: case %s ran longer than %u seconds; ending the process.\n", caseName,
              CaseBoundSeconds);
      fflush(stderr);
      fflush(stdout);
      TerminateProcess(GetCurrentProcess(), 3);
    }
  }
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* e) {
  fprintf(stderr, "\nCRASHED: case %s, exception 0x%08lx at %p.\n", caseName,
          static_cast<unsigned long>(e->ExceptionRecord->ExceptionCode),
          e->ExceptionRecord->ExceptionAddress);
  fflush(stderr);
  return EXCEPTION_CONTINUE_SEARCH;
}

struct Watchdog : testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo& info) override {
    snprintf(caseName, sizeof caseName, "%s.%s", info.test_suite_name(), info.name());
    caseStarted = GetTickCount64();
  }
  void OnTestEnd(const testing::TestInfo&) override { caseStarted = 0; }
};

// Installed before main runs the cases.
struct InstallWatchdog {
  InstallWatchdog() {
    testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    SetUnhandledExceptionFilter(ReportCrash);
    CloseHandle(CreateThread(nullptr, 0, WatchCases, nullptr, 0, nullptr));
  }
} installWatchdog;

// ---- snapshots ----
bool IsLink(HKEY key) {
  DWORD type = 0;
  return RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) ==
             ERROR_SUCCESS &&
         type == REG_LINK;
}

void Walk(HKEY key, std::wstring& path, std::vector<std::wstring>& lines, int depth) {
  std::wstring line = path;
  line += L'\x01';
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::string bytes(size, '\0');
    if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size) ==
        ERROR_SUCCESS) {
      wchar_t hex[8];
      swprintf(hex, 8, L"%lu:", static_cast<unsigned long>(type));
      line += hex;
      for (DWORD i = 0; i < size; ++i) {
        swprintf(hex, 8, L"%02x", static_cast<unsigned char>(bytes[i]));
        line += hex;
      }
    }
  }
  lines.push_back(std::move(line));
  // Keys deeper than this are left out of the listing (Windows stops at 512 levels; Wine
  // allows any depth, and the paths of a chain of thousands of levels would fill the memory).
  if (depth >= 600) return;
  for (DWORD i = 0;; ++i) {
    wchar_t name[300];
    DWORD length = 300;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    HKEY child;
    size_t end = path.size();
    if (!path.empty()) path += L'\\';
    path.append(name, length);
    // A link is listed as itself, not followed: the key it leads to is listed where it lies
    // ("Wow6432Node\\TypeLib" leads to "TypeLib" under Wine).
    if (RegOpenKeyExW(key, name, REG_OPTION_OPEN_LINK, KEY_READ, &child) != ERROR_SUCCESS) {
      lines.push_back(path + L'\x01' + L"unopened");
    } else if (IsLink(child)) {
      lines.push_back(path + L'\x01' + L"link");
      RegCloseKey(child);
    } else {
      Walk(child, path, lines, depth + 1);
      RegCloseKey(child);
    }
    path.resize(end);
  }
}

std::wstring PathOf(const std::wstring& line) { return line.substr(0, line.find(L'\x01')); }

bool SameText(const std::wstring& a, size_t count, const std::wstring& b) {
  for (size_t i = 0; i < count; ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return true;
}

// The key at path lies in the tree whose top is root.
bool InTree(const std::wstring& path, const std::wstring& root) {
  if (path.size() < root.size() || !SameText(path, root.size(), root)) return false;
  return path.size() == root.size() || path[root.size()] == L'\\';
}

bool InAnyTree(const std::wstring& path, const Names& roots) {
  for (auto& r : roots)
    if (InTree(path, r)) return true;
  return false;
}

std::string Shown(const std::wstring& line) {
  std::wstring shown = line.size() > 200 ? line.substr(0, 200) + L"..." : line;
  for (auto& c : shown)
    if (c == L'\x01') c = L'=';
  return testing::PrintToString(shown);
}
}  // namespace

Snapshot TakeSnapshot() {
  Snapshot s;
  std::wstring path;
  Walk(HKEY_CLASSES_ROOT, path, s.lines, 0);
  std::sort(s.lines.begin(), s.lines.end());
  return s;
}

testing::AssertionResult OnlyTheseWent(const Snapshot& before, const Snapshot& after,
                                       const Names& mayGo, const Names& mustGo) {
  std::vector<std::wstring> added, removed;
  std::set_difference(after.lines.begin(), after.lines.end(), before.lines.begin(),
                      before.lines.end(), std::back_inserter(added));
  std::set_difference(before.lines.begin(), before.lines.end(), after.lines.begin(),
                      after.lines.end(), std::back_inserter(removed));
  // Keys that are new are left alone: the program writes nothing, and a registration started
  // by an earlier test may still be finishing. A key whose default value changed shows twice.
  std::vector<std::wstring> addedPaths;
  for (auto& line : added) addedPaths.push_back(PathOf(line));
  std::sort(addedPaths.begin(), addedPaths.end());
  auto failure = testing::AssertionFailure();
  bool failed = false;
  int shown = 0;
  for (auto& line : removed) {
    if (std::binary_search(addedPaths.begin(), addedPaths.end(), PathOf(line))) {
      failed = true;
      if (shown++ < 10) failure << "\n  changed: " << Shown(line);
      continue;
    }
    if (InAnyTree(PathOf(line), mayGo)) continue;
    failed = true;
    if (shown++ < 10) failure << "\n  deleted beyond the removal: " << Shown(line);
  }
  for (auto& root : mustGo) {
    for (auto& line : after.lines) {
      if (!InTree(PathOf(line), root)) continue;
      failed = true;
      if (shown++ < 15) failure << "\n  still there: " << Shown(line);
      break;
    }
  }
  if (failed)
    return failure << "\n  (" << added.size() << " added, " << removed.size() << " deleted in all)";
  return testing::AssertionSuccess();
}

size_t KeysIn(const Snapshot& snapshot, const std::wstring& path) {
  size_t n = 0;
  for (auto& line : snapshot.lines)
    if (InTree(PathOf(line), path)) ++n;
  return n;
}

namespace {
using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);

// Deletes the link itself (its name would lead to its target) through a handle to it.
bool DeleteOpenLink(HKEY link) {
  auto deleteKey = reinterpret_cast<NtDeleteKeyFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), "NtDeleteKey")));
  return deleteKey && deleteKey(link) == 0;
}

// Deletes everything below key, depth first, with an explicit stack of open handles, so a
// chain of any depth is taken without deep recursion.
void RemoveBelow(HKEY top) {
  struct Level {
    HKEY key;
    std::wstring name;
  };
  std::vector<Level> levels{{top, L""}};
  while (!levels.empty()) {
    wchar_t name[300];
    DWORD length = 300;
    if (RegEnumKeyExW(levels.back().key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
        ERROR_SUCCESS) {
      HKEY child;
      if (RegOpenKeyExW(levels.back().key, name, REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &child) !=
          ERROR_SUCCESS)
        break;
      if (IsLink(child)) {
        bool deleted = DeleteOpenLink(child);
        RegCloseKey(child);
        if (!deleted) break;
        continue;
      }
      levels.push_back({child, name});
      continue;
    }
    if (levels.size() == 1) break;
    Level done = levels.back();
    levels.pop_back();
    RegCloseKey(done.key);
    if (RegDeleteKeyExW(levels.back().key, done.name.c_str(), 0, 0) != ERROR_SUCCESS) break;
  }
  for (size_t i = 1; i < levels.size(); ++i) RegCloseKey(levels[i].key);
}
}  // namespace

void RemoveDeepTree(const std::wstring& path) {
  if (path.empty()) return;
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS)
    return;
  if (IsLink(key)) {
    DeleteOpenLink(key);
    RegCloseKey(key);
    return;
  }
  RemoveBelow(key);
  RegCloseKey(key);
  RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
}

bool PutRawDefault(const std::wstring& path, DWORD type, const void* data, DWORD size) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  LONG r = RegSetValueExW(key, nullptr, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

bool PutLinkTo(const std::wstring& path, const std::wstring& target) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                      KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  const std::wstring full = L"\\Registry\\Machine\\Software\\Classes\\" + target;
  LONG r = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK,
                          reinterpret_cast<const BYTE*>(full.c_str()),
                          static_cast<DWORD>(full.size() * sizeof(wchar_t)));
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

void ClearMakerKeys() {
  for (const std::wstring& name : SubkeyNames(L"")) {
    std::string ansi(name.size() * 2 + 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, &ansi[0], static_cast<int>(ansi.size()),
                        nullptr, nullptr);
    for (const char* prefix : {"VORN.", "PDF.V", "Vorn."})
      if (ansi.compare(0, 5, prefix) == 0) RemoveDeepTree(name);
  }
}

namespace {
// Interfaces of COM's own range with the names Windows gives them.
const wchar_t* const SystemInterfaces[][2] = {
    {L"{00000000-0000-0000-C000-000000000046}", L"IUnknown"},
    {L"{00000001-0000-0000-C000-000000000046}", L"IClassFactory"},
    {L"{00000002-0000-0000-C000-000000000046}", L"IMalloc"},
    {L"{00000003-0000-0000-C000-000000000046}", L"IMarshal"},
    {L"{0000000C-0000-0000-C000-000000000046}", L"IStream"},
    {L"{0000010B-0000-0000-C000-000000000046}", L"IPersistFile"},
    {L"{0000010C-0000-0000-C000-000000000046}", L"IPersist"},
    {L"{00000109-0000-0000-C000-000000000046}", L"IPersistStream"},
    {L"{00000112-0000-0000-C000-000000000046}", L"IOleObject"},
    {L"{00000118-0000-0000-C000-000000000046}", L"IOleClientSite"},
    {L"{00020400-0000-0000-C000-000000000046}", L"IDispatch"},
    {L"{00020401-0000-0000-C000-000000000046}", L"ITypeInfo"},
    {L"{00020402-0000-0000-C000-000000000046}", L"ITypeLib"},
    {L"{00020404-0000-0000-C000-000000000046}", L"IEnumVARIANT"},
};
constexpr wchar_t OleProxyStub[] = L"{00020424-0000-0000-C000-000000000046}";

void PutIfMissing(const std::wstring& path, const wchar_t* value, Names& created) {
  if (KeyExists(path)) return;
  // The topmost key that is new is the one to remove afterwards.
  std::wstring top = path;
  for (size_t at = path.find(L'\\'); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
    if (!KeyExists(path.substr(0, at))) {
      top = path.substr(0, at);
      break;
    }
  }
  PutKey(path, value);
  created.push_back(top);
}
}  // namespace

SystemComKeys::SystemComKeys() {
  for (const wchar_t* root : {L"Interface\\", L"Wow6432Node\\Interface\\"}) {
    for (auto& entry : SystemInterfaces) {
      const std::wstring key = root + std::wstring(entry[0]);
      PutIfMissing(key, entry[1], created);
      PutIfMissing(key + L"\\ProxyStubClsid32", OleProxyStub, created);
      keys.push_back(key);
    }
  }
  const std::wstring ole = L"TypeLib\\" + std::wstring(OleTypeLib);
  PutIfMissing(ole + L"\\2.0", L"OLE Automation", created);
  PutIfMissing(ole + L"\\2.0\\0\\win32", L"C:\\windows\\system32\\stdole2.tlb", created);
  keys.push_back(ole);
}

SystemComKeys::~SystemComKeys() {
  for (auto it = created.rbegin(); it != created.rend(); ++it) RemoveDeepTree(*it);
}

Names PlantClass(const std::wstring& progId, const std::wstring& clsid,
                 const std::wstring& typeLib, const std::wstring& file,
                 const std::wstring& classRoot) {
  const std::wstring classKey = classRoot + L"\\" + clsid;
  PutKey(progId, L"Vorn control");
  PutKey(progId + L"\\CLSID", clsid.c_str());
  PutKey(classKey, L"Vorn control");
  PutKey(classKey + L"\\InprocServer32", file.c_str());
  PutKey(classKey + L"\\ProgID", progId.c_str());
  PutKey(classKey + L"\\TypeLib", typeLib.c_str());
  PutKey(classKey + L"\\Control");
  return {progId, classKey};
}
