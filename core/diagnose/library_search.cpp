#include "core/diagnose/library_search.h"

#include <cwchar>

#include "core/diagnose/runtimes.h"
#include "core/register/image_machine.h"
#include "core/uninstall/classes_view.h"
#include "platform/unique.h"
#include "platform/text.h"

namespace {

constexpr wchar_t SessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr DWORD PathCharacterBound = 32767;  // an environment variable's limit

bool Is64BitWindows() { return sizeof(void*) == 8 || DetectWow64(); }

// The system folder the loader searches for a library of this processor. A 32-bit process on
// 64-bit Windows reaches the 64-bit folder only as "Sysnative": its "System32" is redirected.
bool SystemFolderFor(WORD machine, wchar_t (&folder)[SearchPathCapacity]) {
  UINT length = 0;
  if (machine == IMAGE_FILE_MACHINE_I386 && Is64BitWindows()) {
    length = GetSystemWow64DirectoryW(folder, SearchPathCapacity);
  } else if (machine != IMAGE_FILE_MACHINE_I386 && sizeof(void*) == 4 && DetectWow64()) {
    length = GetSystemWindowsDirectoryW(folder, SearchPathCapacity);
    if (length == 0 || length >= SearchPathCapacity || !AppendText(folder, L"\\Sysnative")) return false;
    return true;
  } else {
    length = GetSystemDirectoryW(folder, SearchPathCapacity);
  }
  return length > 0 && length < SearchPathCapacity;
}

// The known DLLs' names: the values of the KnownDLLs key hold them (the value names are free).
void ReadKnownDlls(LibrarySearch& search) {
  search.knownDllCount = 0;
  wchar_t path[128];
  if (!CopyText(path, SessionManager) || !AppendText(path, L"\\KnownDLLs")) return;
  UniqueKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) !=
      ERROR_SUCCESS)
    return;
  for (DWORD i = 0; search.knownDllCount < KnownDllBound; ++i) {
    wchar_t name[256], data[ImportNameCapacity] = {};
    DWORD nameLength = 256, size = sizeof data - sizeof(wchar_t), type = 0;
    LONG result = RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type,
                                reinterpret_cast<BYTE*>(data), &size);
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) break;
    if (type != REG_SZ || !data[0]) continue;
    char* out = search.knownDlls[search.knownDllCount];
    if (WideCharToMultiByte(CP_ACP, 0, data, -1, out, ImportNameCapacity, nullptr, nullptr) > 0)
      ++search.knownDllCount;
  }
}

// The machine's PATH from the registry, not this process's: the browser's comes from there.
void ReadMachinePath(LibrarySearch& search) {
  search.pathFolderCount = 0;
  wchar_t path[128];
  if (!CopyText(path, SessionManager) || !AppendText(path, L"\\Environment")) return;
  UniqueHeap<wchar_t> raw = HeapAllocate<wchar_t>(PathCharacterBound * 2, false);
  if (!raw) return;
  wchar_t* text = raw.get();
  wchar_t* expanded = text + PathCharacterBound;
  DWORD size = (PathCharacterBound - 1) * sizeof(wchar_t), type = 0;
  UniqueKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return;
  LONG result = RegQueryValueExW(key.get(), L"Path", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  key.reset();
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return;
  text[size / sizeof(wchar_t)] = 0;
  DWORD length = ExpandEnvironmentStringsW(text, expanded, PathCharacterBound);
  if (length == 0 || length > PathCharacterBound) return;
  for (wchar_t* folder = expanded; *folder && search.pathFolderCount < PathFolderBound;) {
    wchar_t* end = wcschr(folder, L';');
    if (end) *end = 0;
    // Only full paths: a relative entry would name a folder of the browser's current one.
    bool full = folder[0] && ((folder[1] == L':' && folder[2] == L'\\') ||
                              (folder[0] == L'\\' && folder[1] == L'\\'));
    if (full && CopyText(search.pathFolders[search.pathFolderCount], folder)) ++search.pathFolderCount;
    if (!end) break;
    folder = end + 1;
  }
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWith(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix)
    if (AsciiLower(*text) != *prefix) return false;
  return true;
}

// folder\name when it is a file of the control's processor (the loader passes over a library
// of another processor and searches on).
bool LookIn(const wchar_t* folder, const wchar_t* name, WORD machine,
            wchar_t (&where)[SearchPathCapacity]) {
  if (!folder[0] || !CopyText(where, folder) ||
      (!EndsWith(where, L"\\") && !AppendText(where, L"\\")) || !AppendText(where, name))
    return false;
  DWORD attributes = GetFileAttributesW(where);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         ImageMachine(where) == machine;
}

// A side-by-side runtime of this processor in WinSxS: a folder "<processor>_microsoft.vc80.crt_*"
// (or vc90, mfc) holding the library.
Found FindInWinSxS(const LibrarySearch& search, const wchar_t* name, const char* ansiName,
                   wchar_t (&where)[SearchPathCapacity]) {
  const wchar_t* processor = search.machine == IMAGE_FILE_MACHINE_AMD64 ? L"amd64" : L"x86";
  const wchar_t* version = StartsWith(ansiName, "msvcr9") || StartsWith(ansiName, "msvcp9") ||
                                   StartsWith(ansiName, "mfc9") ? L"90" : L"80";
  const wchar_t* kind = StartsWith(ansiName, "mfc") ? L"mfc" : L"crt";
  wchar_t pattern[SearchPathCapacity];
  if (!CopyText(pattern, search.winSxS) || !AppendText(pattern, L"\\") ||
      !AppendText(pattern, processor) || !AppendText(pattern, L"_microsoft.vc") ||
      !AppendText(pattern, version) || !AppendText(pattern, L".") || !AppendText(pattern, kind) ||
      !AppendText(pattern, L"_*"))
    return Found::Undecided;
  WIN32_FIND_DATAW data;
  UniqueFind find(FindFirstFileW(pattern, &data));
  if (!find) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? Found::Missing
                                                                         : Found::Undecided;
  }
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    wchar_t folder[SearchPathCapacity];
    if (CopyText(folder, search.winSxS) && AppendText(folder, L"\\") &&
        AppendText(folder, data.cFileName) && LookIn(folder, name, search.machine, where))
      return Found::SideBySide;
  } while (FindNextFileW(find.get(), &data));
  return Found::Missing;
}

}  // namespace

bool PrepareLibrarySearch(const wchar_t* control, WORD machine, LibrarySearch& search) {
  search.machine = machine;
  if (!CopyText(search.controlFolder, control)) return false;
  wchar_t* slash = wcsrchr(search.controlFolder, L'\\');
  if (!slash) return false;
  *slash = 0;
  UINT length = GetSystemWindowsDirectoryW(search.windowsFolder, SearchPathCapacity);
  if (length == 0 || length >= SearchPathCapacity || !SystemFolderFor(machine, search.systemFolder) ||
      !CopyText(search.winSxS, search.windowsFolder) || !AppendText(search.winSxS, L"\\WinSxS"))
    return false;
  ReadKnownDlls(search);
  ReadMachinePath(search);
  return true;
}

Found FindLibrary(const LibrarySearch& search, const char* name, wchar_t (&where)[SearchPathCapacity]) {
  where[0] = 0;
  if (StartsWith(name, "api-ms-") || StartsWith(name, "ext-ms-")) return Found::ApiSet;
  wchar_t wide[ImportNameCapacity];
  // A name that holds a path, or cannot be said in the code page, is looked for nowhere.
  if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, wide, ImportNameCapacity) ||
      wcschr(wide, L'\\') || wcschr(wide, L'/') || wcschr(wide, L':'))
    return Found::Missing;
  for (int i = 0; i < search.knownDllCount; ++i)
    if (lstrcmpiA(search.knownDlls[i], name) == 0 && LookIn(search.systemFolder, wide, search.machine, where))
      return Found::KnownDll;
  if (LookIn(search.controlFolder, wide, search.machine, where)) return Found::Elsewhere;
  const KnownRuntime* runtime = FindKnownRuntime(name);
  if (runtime && runtime->sideBySide) return FindInWinSxS(search, wide, name, where);
  if (LookIn(search.systemFolder, wide, search.machine, where) ||
      LookIn(search.windowsFolder, wide, search.machine, where))
    return Found::System;
  for (int i = 0; i < search.pathFolderCount; ++i)
    if (LookIn(search.pathFolders[i], wide, search.machine, where)) return Found::Elsewhere;
  return Found::Missing;
}
