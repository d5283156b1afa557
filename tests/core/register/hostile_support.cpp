#include "tests/core/register/hostile_support.h"
#include "tests/common/registry_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

const wchar_t HostileWork[] = L"C:\\hostile\\";

namespace {
// --- Watchdog ---------------------------------------------------------------------------
CRITICAL_SECTION WatchLock;
HANDLE WatchChanged = nullptr;
std::string WatchWhat;
ULONGLONG WatchDeadline = 0;  // 0: disarmed

DWORD WINAPI Watch(void*) {
  for (;;) {
    EnterCriticalSection(&WatchLock);
    ULONGLONG deadline = WatchDeadline;
    std::string what = WatchWhat;
    LeaveCriticalSection(&WatchLock);
    ULONGLONG now = GetTickCount64();
    if (deadline && now >= deadline) {
      fprintf(stderr, "\nHANG: %s did not finish within its bound; ending the test process.\n",
              what.c_str());
      fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 3);
    }
    DWORD wait = deadline ? static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 1000)) : 1000;
    WaitForSingleObject(WatchChanged, wait);
  }
}

void SetWatch(const std::string& what, unsigned seconds) {
  EnterCriticalSection(&WatchLock);
  WatchWhat = what;
  WatchDeadline = seconds ? GetTickCount64() + seconds * 1000ull : 0;
  LeaveCriticalSection(&WatchLock);
  SetEvent(WatchChanged);
}

struct WatchEveryCase : testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo& info) override {
    SetWatch(std::string(info.test_suite_name()) + "." + info.name(), CaseBound);
  }
  void OnTestEnd(const testing::TestInfo&) override { SetWatch("", 0); }
};

// Installed before main runs, so that every case of the executable is watched.
const bool WatchInstalled = [] {
  InitializeCriticalSection(&WatchLock);
  WatchChanged = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  CloseHandle(CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr));
  testing::UnitTest::GetInstance()->listeners().Append(new WatchEveryCase);
  return true;
}();

// --- Drive listing ----------------------------------------------------------------------
std::wstring Upper(std::wstring s) {
  CharUpperBuffW(&s[0], static_cast<DWORD>(s.size()));
  return s;
}

std::vector<std::wstring> SkippedTrees() {
  std::vector<std::wstring> trees = {Upper(HostileWork)};
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  trees.push_back(Upper(temp));
  trees.push_back(L"C:\\WINDOWS\\TEMP\\");
  wchar_t profile[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH)) {
    std::wstring home = Upper(profile) + L"\\";
    for (const wchar_t* linked : {L"DESKTOP", L"DOCUMENTS", L"DOWNLOADS", L"MUSIC", L"PICTURES",
                                  L"VIDEOS", L"APPDATA\\ROAMING\\MICROSOFT\\WINDOWS\\TEMPLATES"})
      trees.push_back(home + linked + L"\\");
  }
  return trees;
}

// A directory C:\VornActiveX\<number>\ made by a drop at or after 'since'.
bool IsNewUnpackDirectory(const std::wstring& upperPath, long long since) {
  const std::wstring root = L"C:\\VORNACTIVEX\\";
  if (upperPath.compare(0, root.size(), root) != 0) return false;
  std::wstring rest = upperPath.substr(root.size());
  if (rest.empty() || rest.back() != L'\\') return false;
  rest.pop_back();
  size_t i = rest[0] == L'-' ? 1 : 0;
  if (i >= rest.size() || rest.size() > 11) return false;
  for (size_t k = i; k < rest.size(); ++k)
    if (rest[k] < L'0' || rest[k] > L'9') return false;
  long long number = _wtoi64(rest.c_str());
  return number >= static_cast<int32_t>(static_cast<uint32_t>(since));
}

void ListInto(const std::wstring& dir, long long since, const std::vector<std::wstring>& skip,
              DriveListing& out) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((dir + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring path = dir + name;
    bool isDir = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isDir) path += L"\\";
    std::wstring upper = Upper(path);
    if (std::find(skip.begin(), skip.end(), upper) != skip.end()) continue;
    if (isDir && IsNewUnpackDirectory(upper, since)) continue;
    wchar_t line[160];
    unsigned long long size = (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) |
                              found.nFileSizeLow;
    // A directory's write time changes whenever an entry inside it comes or goes; the entry
    // itself shows up in the listing, so only files carry their time.
    swprintf(line, 160, L"size %llu time %08lx%08lx attrs %lx", isDir ? 0ull : size,
             isDir ? 0ul : found.ftLastWriteTime.dwHighDateTime,
             isDir ? 0ul : found.ftLastWriteTime.dwLowDateTime, found.dwFileAttributes);
    // The unpack root is made by the first drop; what lies in it is still listed.
    if (upper != L"C:\\VORNACTIVEX\\") out[path] = line;
    if (isDir && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      ListInto(path, since, skip, out);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}
}  // namespace

void ArmWatchdog(const std::string& what, unsigned seconds) { SetWatch(what, seconds); }

DriveListing ListDrive(long long since) {
  DriveListing listing;
  ListInto(L"C:\\", since, SkippedTrees(), listing);
  return listing;
}

std::vector<std::wstring> DriveChanges(const DriveListing& before, const DriveListing& after) {
  std::vector<std::wstring> changes;
  for (const auto& [path, info] : after) {
    auto old = before.find(path);
    if (old == before.end()) changes.push_back(L"added " + path + L" " + info);
    else if (old->second != info) changes.push_back(L"changed " + path + L" " + info);
  }
  for (const auto& [path, info] : before)
    if (!after.count(path)) changes.push_back(L"removed " + path);
  return changes;
}

// --- HKEY_CLASSES_ROOT ------------------------------------------------------------------
namespace {
bool WrittenByTestControl(const std::wstring& line) {
  std::wstring upper = Upper(line);
  for (const wchar_t* prefix : {L"\\VORN.TEST.", L"\\CLSID\\{7A3C0002-5E21-4B8D-9F14-3C2B1A0D9E51}",
                                L"\\INTERFACE\\{7A3C0001-5E21-4B8D-9F14-3C2B1A0D9E51}",
                                L"\\TYPELIB\\{7A3C0000-5E21-4B8D-9F14-3C2B1A0D9E51}",
                                L"\\WOW6432NODE\\TYPELIB\\{7A3C0000-5E21-4B8D-9F14-3C2B1A0D9E51}"})
    if (upper.compare(0, wcslen(prefix), prefix) == 0) return true;
  return false;
}
}  // namespace

std::vector<std::wstring> ExportClassesRoot() {
  std::vector<std::wstring> lines;
  CollectKeys(HKEY_CLASSES_ROOT, L"", lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::wstring> ClassesRootChanges(const std::vector<std::wstring>& before,
                                             const std::vector<std::wstring>& after) {
  std::vector<std::wstring> added, removed, changes;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                      std::back_inserter(added));
  std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                      std::back_inserter(removed));
  for (const auto& line : added)
    if (!WrittenByTestControl(line)) changes.push_back(L"added " + line);
  for (const auto& line : removed)
    if (!WrittenByTestControl(line)) changes.push_back(L"removed " + line);
  return changes;
}

// --- Cabinets ---------------------------------------------------------------------------
namespace {
void Put16(std::string& s, size_t at, unsigned v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, size_t at, unsigned v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, v >> 16);
}
unsigned Get16(const std::string& s, size_t at) {
  if (at + 2 > s.size()) return 0;
  return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8;
}
unsigned Get32(const std::string& s, size_t at) { return Get16(s, at) | Get16(s, at + 2) << 16; }
}  // namespace

std::string BuildRawCabinet(const std::vector<RawEntry>& entries) {
  std::string data;
  for (const auto& e : entries) data += e.content;
  size_t fileTable = 0;
  for (const auto& e : entries) fileTable += 16 + e.name.size() + 1;
  const size_t blockSize = 32768;
  size_t blocks = (data.size() + blockSize - 1) / blockSize;
  size_t dataAt = 36 + 8 + fileTable;
  size_t total = dataAt + blocks * 8 + data.size();

  std::string cab(dataAt, '\0');
  memcpy(&cab[0], "MSCF", 4);
  Put32(cab, 8, static_cast<unsigned>(total));
  Put32(cab, 16, 36 + 8);                  // coffFiles
  cab[24] = 3;                             // version 1.3
  cab[25] = 1;
  Put16(cab, 26, 1);                       // cFolders
  Put16(cab, 28, static_cast<unsigned>(entries.size()));
  Put32(cab, 36, static_cast<unsigned>(dataAt));  // coffCabStart
  Put16(cab, 40, static_cast<unsigned>(blocks));
  Put16(cab, 42, 0);                       // no compression
  size_t at = 44, offset = 0;
  for (const auto& e : entries) {
    Put32(cab, at, static_cast<unsigned>(e.content.size()));
    Put32(cab, at + 4, static_cast<unsigned>(offset));
    Put16(cab, at + 8, 0);
    Put16(cab, at + 10, e.date);
    Put16(cab, at + 12, e.time);
    Put16(cab, at + 14, e.attribs);
    memcpy(&cab[at + 16], e.name.data(), e.name.size());
    at += 16 + e.name.size() + 1;
    offset += e.content.size();
  }
  for (size_t b = 0; b < blocks; ++b) {
    std::string chunk = data.substr(b * blockSize, blockSize);
    std::string head(8, '\0');
    Put16(head, 4, static_cast<unsigned>(chunk.size()));
    Put16(head, 6, static_cast<unsigned>(chunk.size()));
    cab += head + chunk;
  }
  return cab;
}

CabinetLayout ReadLayout(const std::string& cab) {
  CabinetLayout layout;
  std::vector<size_t>& b = layout.boundaries;
  for (size_t at : {0, 4, 8, 12, 16, 20, 24, 25, 26, 28, 30, 32, 34, 36}) b.push_back(at);
  layout.coffFiles = Get32(cab, 16);
  layout.cFolders = Get16(cab, 26);
  layout.cFiles = Get16(cab, 28);
  for (size_t f = 0; f < layout.cFolders && f < 16; ++f) {
    size_t at = 36 + 8 * f;
    if (f == 0) {
      layout.coffCabStart = Get32(cab, at);
      layout.cCFData = Get16(cab, at + 4);
    }
    for (size_t k : {0, 4, 6, 8}) b.push_back(at + k);
  }
  size_t at = layout.coffFiles;
  for (size_t i = 0; i < layout.cFiles && at + 16 < cab.size(); ++i) {
    layout.fileRecords.push_back(at);
    for (size_t k : {0, 4, 8, 10, 12, 14, 16}) b.push_back(at + k);
    size_t end = cab.find('\0', at + 16);
    if (end == std::string::npos) break;
    b.push_back(end);
    at = end + 1;
    b.push_back(at);
  }
  at = layout.coffCabStart;
  for (size_t i = 0; i < layout.cCFData && at + 8 <= cab.size(); ++i) {
    layout.dataBlocks.push_back(at);
    for (size_t k : {0, 4, 6, 8}) b.push_back(at + k);
    size_t length = Get16(cab, at + 4);
    b.push_back(at + 8 + length / 2);
    at += 8 + length;
    b.push_back(at);
  }
  b.push_back(cab.size() - 1);
  std::sort(b.begin(), b.end());
  b.erase(std::unique(b.begin(), b.end()), b.end());
  b.erase(std::remove_if(b.begin(), b.end(), [&](size_t x) { return x >= cab.size(); }), b.end());
  return layout;
}

// --- Files ------------------------------------------------------------------------------

void EmptyDirectory(const std::wstring& directory) {
  // Only a folder named in full ("C:\\...\\" or "C:/.../"): an empty name (a cabinet that made no folder)
  // would empty the test's current directory.
  if (directory.size() < 4 || directory[1] != L':' ||
      (directory[2] != L'\\' && directory[2] != L'/') ||
      (directory.back() != L'\\' && directory.back() != L'/'))
    return;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((directory + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::wstring path = directory + found.cFileName;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

bool CreateDirectories(const std::wstring& path) {
  for (size_t at = 3; at <= path.size(); ++at) {
    if (at < path.size() && path[at] != L'\\') continue;
    std::wstring part = path.substr(0, at);
    if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  return true;
}

long long NowSeconds() { return static_cast<long long>(_time64(nullptr)); }
