#include "tests/core/register/unpack_root_case.h"

#include <aclapi.h>

#include <algorithm>

#include "tests/common/wait.h"
#include "tests/core/register/drop_support.h"
#include "tests/core/register/hostile_support.h"

const std::wstring Root = L"C:\\VornActiveX";
const std::wstring Saved = L"C:\\VornActiveX.saved";
const std::wstring AsidePrefix = L"C:\\VornActiveX.untrusted-";
const std::wstring Away = L"C:\\VornActiveX.away";

bool IsDirectory(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsReparsePoint(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The names beside the root that a moved-aside root got.
std::vector<std::wstring> MovedAsideRoots() {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((AsidePrefix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.push_back(std::wstring(L"C:\\") + found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// Every entry of a folder, folders with a trailing "\", sorted.
std::vector<std::wstring> EntriesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    names.push_back(name + ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L"\\" : L""));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// The Unix path of a Windows path, as Wine maps it.
static std::string UnixPath(const std::wstring& path) {
  using ToUnix = char*(CDECL*)(const wchar_t*);
  auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!toUnix) return "";
  char* unix = toUnix(path.c_str());
  if (!unix) return "";
  std::string result = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return result;
}

// Runs a program of the Unix side (Wine starts those too) and waits for it; false when it
// could not be started.
static bool RunUnix(const wchar_t* program, std::wstring command) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return false;
  WaitForSingleObject(process.hProcess, 30000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// The Unix path of a name on drive C: (the name itself, not what it may link to).
static std::string UnixPathOnC(const std::wstring& path) {
  std::string parent = UnixPath(L"C:\\");
  if (parent.empty()) return "";
  if (parent.back() != '/') parent += '/';
  std::string rest = Narrow(path.substr(3));
  for (char& c : rest)
    if (c == '\\') c = '/';
  return parent + rest;
}

// Makes link a Unix symbolic link to target with the system's ln. False where that is not
// possible.
bool MakeUnixLink(const std::wstring& link, const std::wstring& target) {
  std::string from = UnixPath(target), to = UnixPathOnC(link);
  if (from.empty() || to.empty()) return false;
  // Wine does not wait for a Unix program: the link is awaited.
  return RunUnix(L"Z:\\bin\\ln", L"ln -s \"" + Widen(from) + L"\" \"" + Widen(to) + L"\"") &&
         WaitUntil([&] { return IsReparsePoint(link); }, 10000);
}

// Removes a link itself. Wine 8 deletes or renames a Unix symbolic link's target when asked
// to act on the link, so its link goes with the system's rm.
void RemoveLink(const std::wstring& path) {
  std::string unix = UnixPathOnC(path);
  if (!unix.empty() && RunUnix(L"Z:\\bin\\rm", L"rm -f \"" + Widen(unix) + L"\""))
    WaitUntil([&] { return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; }, 10000);
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES && !RemoveDirectoryW(path.c_str()))
    DeleteFileW(path.c_str());
}

// True when the system opens a link itself under FILE_FLAG_OPEN_REPARSE_POINT (Windows);
// Wine 8 opens its target.
bool OpensLinksThemselves(const std::wstring& link) {
  HANDLE handle = CreateFileW(link.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info = {};
  bool itself = GetFileInformationByHandle(handle, &info) &&
                (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  CloseHandle(handle);
  return itself;
}

// Deletes a file or a folder with everything in it; a link is deleted itself, never entered.
void DeleteTree(const std::wstring& path) {
  // Only a path named in full below a drive's root, never the drive or the current directory.
  if (path.size() < 4 || path[1] != L':' || (path[2] != L'\\' && path[2] != L'/')) return;
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    RemoveLink(path);
    return;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") DeleteTree(path + L"\\" + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

std::wstring Backslashed(std::wstring path) {
  std::replace(path.begin(), path.end(), L'/', L'\\');
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}


bool SystemKeepsOwners() {
  const std::wstring probe = L"C:\\owner-probe";
  RemoveDirectoryW(probe.c_str());
  if (!CreateDirectoryW(probe.c_str(), nullptr)) return false;
  HANDLE handle = CreateFileW(probe.c_str(), READ_CONTROL | WRITE_OWNER, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  BYTE users[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof users;
  bool kept = false;
  if (handle != INVALID_HANDLE_VALUE && CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &size) &&
      SetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, users, nullptr, nullptr,
                      nullptr) == ERROR_SUCCESS) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    kept = GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                           nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
           owner && EqualSid(owner, users);
    if (descriptor) LocalFree(descriptor);
  }
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  RemoveDirectoryW(probe.c_str());
  return kept;
}
