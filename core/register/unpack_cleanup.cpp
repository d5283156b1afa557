#include "core/register/unpack_cleanup.h"

#include <cwchar>
#include <initializer_list>
#include <iterator>

#include "platform/owned_handle.h"
#include "platform/text.h"

namespace {

constexpr wchar_t Root[] = L"C:\\VornActiveX\\";
constexpr size_t RootLength = std::size(Root) - 1;
// A registry value of up to the longest path Windows takes (32,767 characters) is read whole.
constexpr size_t ValueCapacity = 33000;

using Folder = wchar_t[UnpackFolderPathCapacity];

// An optional '-', then one to ten digits: the directory number of CreateUnpackDirectory.
bool IsFolderName(const wchar_t* name, size_t length) {
  size_t start = length > 0 && name[0] == L'-' ? 1 : 0;
  if (length <= start || length - start > 10) return false;
  for (size_t i = start; i < length; ++i)
    if (name[i] < L'0' || name[i] > L'9') return false;
  return true;
}

bool SameFolder(const wchar_t* a, const wchar_t* b) {
  return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

struct FolderList {
  Folder* folders = nullptr;
  int count = 0;
  int capacity = 0;
  bool complete = true;
};

bool Contains(const FolderList& list, const wchar_t* folder) {
  for (int i = 0; i < list.count; ++i)
    if (SameFolder(list.folders[i], folder)) return true;
  return false;
}

void Add(FolderList& list, const wchar_t* folder) {
  if (Contains(list, folder)) return;
  if (list.count == list.capacity) {
    int grown = list.capacity ? list.capacity * 2 : 16;
    SIZE_T bytes = sizeof(Folder) * static_cast<SIZE_T>(grown);
    void* more = list.folders ? HeapReAlloc(GetProcessHeap(), 0, list.folders, bytes)
                              : HeapAlloc(GetProcessHeap(), 0, bytes);
    if (!more) {
      list.complete = false;
      return;
    }
    list.folders = static_cast<Folder*>(more);
    list.capacity = grown;
  }
  CopyText(list.folders[list.count++], folder);
}

void Release(FolderList& list) {
  if (list.folders) HeapFree(GetProcessHeap(), 0, list.folders);
  list = FolderList();
}

struct ValueBuffers {
  wchar_t raw[ValueCapacity];
  wchar_t expanded[ValueCapacity];
};

// Notes the unpack folder that the class's InprocServer32 names. False when the value cannot
// be judged (too long even for this buffer): then no folder may be taken as unused.
bool NoteServer(HKEY classes, const wchar_t* clsid, ValueBuffers& buffers, FolderList& used) {
  wchar_t path[256 + 16] = {};
  if (!CopyText(path, clsid) || !AppendText(path, L"\\InprocServer32")) return true;
  HKEY key;
  if (RegOpenKeyExW(classes, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return true;
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>((ValueCapacity - 1) * sizeof(wchar_t));
  wmemset(buffers.raw, 0, ValueCapacity);
  LONG result = RegQueryValueExW(key, nullptr, nullptr, &type,
                                 reinterpret_cast<BYTE*>(buffers.raw), &size);
  RegCloseKey(key);
  if (result == ERROR_MORE_DATA) return false;
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return true;
  buffers.raw[size / sizeof(wchar_t)] = 0;
  const wchar_t* file = buffers.raw;
  if (type == REG_EXPAND_SZ) {
    DWORD needed = ExpandEnvironmentStringsW(buffers.raw, buffers.expanded, ValueCapacity);
    if (needed == 0 || needed > ValueCapacity) return false;
    file = buffers.expanded;
  }
  Folder folder;
  if (UnpackFolderOf(file, folder)) Add(used, folder);
  return true;
}

// Every unpack folder that a class of either view names as its InprocServer32's folder.
bool ScanRegisteredFolders(FolderList& used) {
  auto* buffers =
      static_cast<ValueBuffers*>(HeapAlloc(GetProcessHeap(), 0, sizeof(ValueBuffers)));
  if (!buffers) return false;
  bool complete = true;
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    HKEY classes;
    LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID", 0,
                                KEY_READ | view, &classes);
    if (opened == ERROR_FILE_NOT_FOUND) continue;
    if (opened != ERROR_SUCCESS) {
      complete = false;
      break;
    }
    for (DWORD index = 0;; ++index) {
      wchar_t name[256];
      DWORD length = 256;
      LONG result = RegEnumKeyExW(classes, index, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (result == ERROR_MORE_DATA) continue;  // no class name; nothing of ours
      if (result == ERROR_NO_MORE_ITEMS) break;
      if (result != ERROR_SUCCESS || !NoteServer(classes, name, *buffers, used)) {
        complete = false;
        break;
      }
    }
    RegCloseKey(classes);
    if (!complete) break;
  }
  HeapFree(GetProcessHeap(), 0, buffers);
  return complete && used.complete;
}

// The root, held open (without delete sharing, so it cannot be renamed or replaced) while
// folders below it are deleted; only a plain directory.
HANDLE OpenRoot() {
  HANDLE root = CreateFileW(Root, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (root == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(root, &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    CloseHandle(root);
    return nullptr;
  }
  return root;
}

struct HandleList {
  HANDLE* handles = nullptr;
  int count = 0;
  int capacity = 0;
};

bool Hold(HandleList& list, HANDLE handle) {
  if (list.count == list.capacity) {
    int grown = list.capacity ? list.capacity * 2 : 16;
    SIZE_T bytes = sizeof(HANDLE) * static_cast<SIZE_T>(grown);
    void* more = list.handles ? HeapReAlloc(GetProcessHeap(), 0, list.handles, bytes)
                              : HeapAlloc(GetProcessHeap(), 0, bytes);
    if (!more) return false;
    list.handles = static_cast<HANDLE*>(more);
    list.capacity = grown;
  }
  list.handles[list.count++] = handle;
  return true;
}

void CloseAll(HandleList& list) {
  for (int i = 0; i < list.count; ++i) CloseHandle(list.handles[i]);
  if (list.handles) HeapFree(GetProcessHeap(), 0, list.handles);
  list = HandleList();
}

bool MarkForDeletion(HANDLE handle, bool remove) {
  FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(remove)};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) !=
         FALSE;
}

// A read-only file cannot be marked for deletion: the attribute goes first, through the handle.
bool ClearReadOnly(HANDLE handle, DWORD attributes) {
  if (!(attributes & FILE_ATTRIBUTE_READONLY)) return true;
  FILE_BASIC_INFO basic = {};  // zero times: left as they are
  basic.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

// Opens one file of the folder for deletion with no sharing, and checks that it is a plain
// file with one name. Deleted (held), or the reason the folder stays.
FolderFate HoldFile(const wchar_t* folder, const wchar_t* name, size_t length, HandleList& files,
                    DWORD* error) {
  wchar_t path[MAX_PATH + 1] = {};
  size_t folderLength = TextLength(folder);
  if (folderLength + length + 1 > std::size(path)) return FolderFate::Failed;
  wmemcpy(path, folder, folderLength);
  wmemcpy(path + folderLength, name, length);
  HANDLE file = CreateFileW(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0,
                            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return *error == ERROR_SHARING_VIOLATION ? FolderFate::InUse : FolderFate::Failed;
  }
  BY_HANDLE_FILE_INFORMATION info;
  bool plain = GetFileInformationByHandle(file, &info) &&
               !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
               info.nNumberOfLinks == 1;
  if (!plain || !Hold(files, file)) {
    CloseHandle(file);
    return plain ? FolderFate::Failed : FolderFate::NotOurs;
  }
  if (!ClearReadOnly(file, info.dwFileAttributes)) {
    *error = GetLastError();
    return FolderFate::Failed;
  }
  return FolderFate::Deleted;
}

// Holds every file of the folder, read through the folder's own handle (so what is listed is
// what is held open, not whatever the path may lead to by then).
FolderFate HoldFiles(HANDLE directory, const wchar_t* folder, HandleList& files, DWORD* error) {
  constexpr DWORD ListingSize = 65536;
  OwnedHeapBlock block(ListingSize);  // the heap's blocks are aligned for any entry
  auto* listing = static_cast<BYTE*>(block.data);
  if (!listing) {
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return FolderFate::Failed;
  }
  FILE_INFO_BY_HANDLE_CLASS query = FileFullDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(directory, query, listing, ListingSize)) {
    query = FileFullDirectoryInfo;
    auto* entry = reinterpret_cast<FILE_FULL_DIR_INFO*>(listing);
    for (;;) {
      const wchar_t* name = entry->FileName;
      size_t length = entry->FileNameLength / sizeof(wchar_t);
      bool dots = (length == 1 && name[0] == L'.') || (length == 2 && name[0] == L'.' && name[1] == L'.');
      if (!dots) {
        if (entry->FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
          return FolderFate::NotOurs;
        FolderFate fate = HoldFile(folder, name, length, files, error);
        if (fate != FolderFate::Deleted) return fate;
      }
      if (!entry->NextEntryOffset) break;
      entry = reinterpret_cast<FILE_FULL_DIR_INFO*>(reinterpret_cast<BYTE*>(entry) +
                                                     entry->NextEntryOffset);
    }
  }
  DWORD ended = GetLastError();
  if (ended == ERROR_NO_MORE_FILES) return FolderFate::Deleted;
  *error = ended;
  return FolderFate::Failed;
}

FolderFate DeleteFolder(const wchar_t* folder, DWORD* error) {
  *error = 0;
  HANDLE directory = CreateFileW(folder,
                                 DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (directory == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return *error == ERROR_SHARING_VIOLATION ? FolderFate::InUse : FolderFate::Failed;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(directory, &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    CloseHandle(directory);
    return FolderFate::NotOurs;
  }
  HandleList files;
  FolderFate fate = HoldFiles(directory, folder, files, error);
  // All or none: a file that cannot be marked unmarks those marked before it.
  int marked = 0;
  while (fate == FolderFate::Deleted && marked < files.count) {
    if (MarkForDeletion(files.handles[marked], true)) {
      ++marked;
    } else {
      *error = GetLastError();
      fate = FolderFate::Failed;
    }
  }
  if (fate != FolderFate::Deleted)
    for (int i = 0; i < marked; ++i) MarkForDeletion(files.handles[i], false);
  CloseAll(files);
  if (fate == FolderFate::Deleted && !MarkForDeletion(directory, true)) {
    *error = GetLastError();
    fate = FolderFate::Failed;
  }
  CloseHandle(directory);
  // Gone only when gone: a file created in it meanwhile keeps the directory.
  if (fate == FolderFate::Deleted && GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES) {
    *error = ERROR_DIR_NOT_EMPTY;
    fate = FolderFate::Failed;
  }
  return fate;
}

void Tell(UnpackCleanup& result, FolderReport report, void* context, const wchar_t* folder,
          FolderFate fate, DWORD error) {
  if (fate == FolderFate::Deleted) ++result.deleted; else ++result.left;
  if (report) report(folder, fate, error, context);
}

void Judge(UnpackCleanup& result, const FolderList& used, const wchar_t* folder,
           FolderReport report, void* context) {
  if (Contains(used, folder)) {
    Tell(result, report, context, folder, FolderFate::Referenced, 0);
    return;
  }
  DWORD error = 0;
  FolderFate fate = DeleteFolder(folder, &error);
  Tell(result, report, context, folder, fate, error);
}

// The folders under the root that look like the program's, and the newest of them.
void ListFolders(FolderList& folders, Folder& newest) {
  newest[0] = 0;
  wchar_t pattern[RootLength + 2];
  CopyText(pattern, Root);
  AppendText(pattern, L"*");
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  FILETIME newestTime = {};
  do {
    size_t length = TextLength(found.cFileName);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !IsFolderName(found.cFileName, length))
      continue;
    Folder folder;
    CopyText(folder, Root);
    AppendText(folder, found.cFileName);
    AppendText(folder, L"\\");
    Add(folders, folder);
    if (!newest[0] || CompareFileTime(&found.ftCreationTime, &newestTime) > 0) {
      newestTime = found.ftCreationTime;
      CopyText(newest, folder);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

bool UnpackFolderOf(const wchar_t* path, wchar_t (&folder)[UnpackFolderPathCapacity]) {
  folder[0] = 0;
  // '/' becomes '\' and "." and ".." are resolved, as the file system reads the path.
  wchar_t full[1000];
  DWORD length = GetFullPathNameW(path, 1000, full, nullptr);
  if (length == 0 || length >= 1000 || length <= RootLength ||
      CompareStringOrdinal(full, static_cast<int>(RootLength), Root, static_cast<int>(RootLength),
                           TRUE) != CSTR_EQUAL)
    return false;
  const wchar_t* name = full + RootLength;
  const wchar_t* end = wcschr(name, L'\\');
  if (!end || !end[1] || !IsFolderName(name, static_cast<size_t>(end - name))) return false;
  wmemcpy(folder, Root, RootLength);
  wmemcpy(folder + RootLength, name, static_cast<size_t>(end - name));
  folder[RootLength + (end - name)] = L'\\';
  folder[RootLength + (end - name) + 1] = 0;
  return true;
}

int ForEachUnpackFolder(void (*found)(const wchar_t* folder, void* context), void* context) {
  FolderList folders;
  Folder newest;
  ListFolders(folders, newest);
  for (int i = 0; i < folders.count; ++i) found(folders.folders[i], context);
  int count = folders.count;
  Release(folders);
  return count;
}

UnpackCleanup RemoveUnusedUnpackFolders(const wchar_t* keepFolder, FolderReport report,
                                        void* context) {
  UnpackCleanup result;
  HANDLE root = OpenRoot();
  if (!root) {
    result.rootUsable = false;
    return result;
  }
  Folder keep = L"";
  if (keepFolder && !UnpackFolderOf(keepFolder, keep) ) {
    // keepFolder may name the folder itself ("C:/VornActiveX/123/"): a file in it stands for it.
    wchar_t inside[UnpackFolderPathCapacity + 2];
    if (CopyText(inside, keepFolder) && AppendText(inside, L"x")) UnpackFolderOf(inside, keep);
  }
  FolderList folders, used;
  Folder newest;
  ListFolders(folders, newest);
  if (!ScanRegisteredFolders(used) || !folders.complete) {
    // What the registry names cannot be told whole: nothing is deleted.
    for (int i = 0; i < folders.count; ++i)
      Tell(result, report, context, folders.folders[i], FolderFate::Referenced, 0);
  } else {
    for (int i = 0; i < folders.count; ++i) {
      const wchar_t* folder = folders.folders[i];
      if ((keep[0] && SameFolder(folder, keep)) || SameFolder(folder, newest))
        Tell(result, report, context, folder, FolderFate::Kept, 0);
      else
        Judge(result, used, folder, report, context);
    }
  }
  Release(folders);
  Release(used);
  CloseHandle(root);
  return result;
}

UnpackCleanup RemoveUnpackFoldersIfUnused(const wchar_t (*folders)[UnpackFolderPathCapacity],
                                          int count, FolderReport report, void* context) {
  UnpackCleanup result;
  if (count <= 0) return result;
  HANDLE root = OpenRoot();
  if (!root) {
    result.rootUsable = false;
    return result;
  }
  FolderList used;
  bool known = ScanRegisteredFolders(used);
  for (int i = 0; i < count; ++i) {
    Folder folder;
    // Only what UnpackFolderOf makes: a digit folder directly under the root.
    wchar_t inside[UnpackFolderPathCapacity + 2];
    if (!CopyText(inside, folders[i]) || !AppendText(inside, L"x") ||
        !UnpackFolderOf(inside, folder))
      continue;
    if (!known)
      Tell(result, report, context, folder, FolderFate::Referenced, 0);
    else
      Judge(result, used, folder, report, context);
  }
  Release(used);
  CloseHandle(root);
  return result;
}
