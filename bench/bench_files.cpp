// Files and folders of the benchmarks' runs, walked by search: the bench's own bookkeeping,
// never the program's way of reading a folder.
#include <windows.h>

#include <cwchar>

#include "bench/benches.h"
#include "platform/unique.h"

void RemoveDirectoryTree(const wchar_t* directory) {
  wchar_t pattern[MAX_PATH];
  size_t length = wcslen(directory);
  bool slash = length && (directory[length - 1] == L'\\' || directory[length - 1] == L'/');
  if (swprintf(pattern, MAX_PATH, slash ? L"%ls*" : L"%ls\\*", directory) < 0) return;
  WIN32_FIND_DATAW entry;
  UniqueFind search(FindFirstFileW(pattern, &entry));
  if (search) {
    do {
      if (!wcscmp(entry.cFileName, L".") || !wcscmp(entry.cFileName, L"..")) continue;
      wchar_t path[MAX_PATH];
      if (swprintf(path, MAX_PATH, slash ? L"%ls%ls" : L"%ls\\%ls", directory, entry.cFileName) < 0)
        continue;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryTree(path);
      } else {
        SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path);
      }
    } while (FindNextFileW(search.get(), &entry));
  }
  RemoveDirectoryW(directory);
}

unsigned CountFiles(const wchar_t* directory) {
  wchar_t pattern[MAX_PATH];
  if (swprintf(pattern, MAX_PATH, L"%ls*", directory) < 0) return 0;
  WIN32_FIND_DATAW entry;
  UniqueFind search(FindFirstFileW(pattern, &entry));
  if (!search) return 0;
  unsigned files = 0;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
  } while (FindNextFileW(search.get(), &entry));
  return files;
}

// The files of every folder under the root: each drop starts from an empty root, so this is
// the one folder its cabinet went into.
unsigned CountUnpackedFiles() {
  WIN32_FIND_DATAW entry;
  UniqueFind search(FindFirstFileW(L"C:\\VornActiveX\\*", &entry));
  if (!search) return 0;
  unsigned files = 0;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || entry.cFileName[0] == L'.') continue;
    wchar_t folder[MAX_PATH];
    if (swprintf(folder, MAX_PATH, L"C:\\VornActiveX\\%ls\\", entry.cFileName) > 0)
      files += CountFiles(folder);
  } while (FindNextFileW(search.get(), &entry));
  return files;
}

// The last-write time of the first file the directory lists (0 when there is none).
ULONGLONG FirstFileWriteTime(const wchar_t* directory) {
  wchar_t pattern[MAX_PATH];
  swprintf(pattern, MAX_PATH, L"%ls*", directory);
  WIN32_FIND_DATAW entry;
  UniqueFind search(FindFirstFileW(pattern, &entry));
  if (!search) return 0;
  ULONGLONG time = 0;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      time = (static_cast<ULONGLONG>(entry.ftLastWriteTime.dwHighDateTime) << 32) |
             entry.ftLastWriteTime.dwLowDateTime;
      break;
    }
  } while (FindNextFileW(search.get(), &entry));
  return time;
}
