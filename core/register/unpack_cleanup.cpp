#include "core/register/unpack_cleanup.h"

#include <cwchar>

#include "core/register/folder_delete.h"
#include "core/register/folder_handle.h"
#include "platform/growing_array.h"
#include "platform/unique.h"
#include "platform/text.h"

namespace {

// The root held for the length of one clean-up, and where it really is.
struct HeldRoot {
  UniqueCreateFileHandle handle;
  wchar_t final[FinalPathCapacity] = L"";
};

// The root, held for the clean-up as for an unpack: taken over when it is the program's,
// moved aside when it is not. A missing root is not made: there is nothing to clean.
bool HoldRoot(HeldRoot& root, UnpackCleanup& result) {
  wchar_t name[UnpackRootPathLength] = {};
  wmemcpy(name, UnpackRootPath, UnpackRootPathLength - 1);
  result.rootUsable = false;
  if (GetFileAttributesW(name) == INVALID_FILE_ATTRIBUTES) return false;
  UnpackRootStatus status =
      HoldUnpackRoot(name, root.handle, result.movedAside, MovedAsideCapacity, &result.error);
  // A root moved aside was not the program's, and the fresh one holds nothing.
  if (status != UnpackRootStatus::Held || result.movedAside[0]) return false;
  if (!FinalPathOf(root.handle.get(), root.final)) {
    result.error = GetLastError();
    return false;
  }
  result.rootUsable = true;
  return true;
}

struct FolderEntry {
  wchar_t name[12];  // sign and ten digits
  size_t length;
};

// Far more folders than a root ever holds of the program's.
constexpr size_t FolderNamesBound = 1 << 20;

struct FolderNames {
  GrowingArray<FolderEntry> entries{FolderNamesBound};
  bool complete = true;
  int newest = -1;
};

void AddName(FolderNames& names, const wchar_t* name, size_t length) {
  FolderEntry entry;
  wmemcpy(entry.name, name, length);
  entry.name[length] = 0;
  entry.length = length;
  if (!names.entries.Append(entry)) names.complete = false;
}

// The folders under the root that look like the program's, read whole before any is deleted,
// and the newest of them.
void ListFolders(HANDLE root, FolderNames& names) {
  Listing listing(root);
  LARGE_INTEGER newestTime = {};
  DWORD error = 0;
  while (const FILE_FULL_DIR_INFO* entry = listing.Next(&error)) {
    size_t length = entry->FileNameLength / sizeof(wchar_t);
    if (!(entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !IsUnpackFolderName(entry->FileName, length))
      continue;
    AddName(names, entry->FileName, length);
    if (names.newest < 0 || entry->CreationTime.QuadPart > newestTime.QuadPart) {
      newestTime = entry->CreationTime;
      names.newest = static_cast<int>(names.entries.Size()) - 1;
    }
  }
  if (error) names.complete = false;
}

void FolderText(const wchar_t* name, UnpackFolderText& folder) {
  CopyText(folder, UnpackRootPath);
  AppendText(folder, name);
  AppendText(folder, L"\\");
}

void Tell(UnpackCleanup& result, FolderReport report, void* context, const wchar_t* folder,
          FolderFate fate, DWORD error) {
  if (fate == FolderFate::Deleted) ++result.deleted; else ++result.left;
  if (report) report(folder, fate, error, context);
}

void Judge(UnpackCleanup& result, const HeldRoot& root, const FolderList* used,
           const FolderEntry& entry, FolderReport report, void* context) {
  UnpackFolderText folder;
  FolderText(entry.name, folder);
  // Without a whole picture of what the registry names, nothing is deleted.
  if (!used || ContainsFolder(*used, folder)) {
    Tell(result, report, context, folder, FolderFate::Referenced, 0);
    return;
  }
  DWORD error = 0;
  FolderFate fate = DeleteHeldFolder(root.handle.get(), root.final, entry.name, entry.length, &error);
  Tell(result, report, context, folder, fate, error);
}

// The digits of an unpack folder's path, or false.
bool FolderEntryOf(const wchar_t* path, FolderEntry& entry) {
  UnpackFolderText folder;
  if (!path || !UnpackFolderOf(path, folder)) return false;
  const wchar_t* name = folder + UnpackRootPathLength;
  entry.length = TextLength(name) - 1;  // without its separator
  wmemcpy(entry.name, name, entry.length);
  entry.name[entry.length] = 0;
  return true;
}

}  // namespace

int ForEachUnpackFolder(void (*found)(const wchar_t* folder, void* context), void* context) {
  UniqueCreateFileHandle root(CreateFileW(
      UnpackRootPath, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!root) return 0;
  FolderNames names;
  ListFolders(root.get(), names);
  int count = static_cast<int>(names.entries.Size());
  for (int i = 0; i < count; ++i) {
    UnpackFolderText folder;
    FolderText(names.entries[i].name, folder);
    found(folder, context);
  }
  return count;
}

UnpackCleanup RemoveUnusedUnpackFolders(const wchar_t* keepFolder, FolderReport report,
                                        void* context) {
  UnpackCleanup result;
  HeldRoot root;
  if (!HoldRoot(root, result)) return result;
  FolderEntry keep = {};
  if (!FolderEntryOf(keepFolder, keep)) keep.length = 0;
  FolderNames names;
  ListFolders(root.handle.get(), names);
  FolderList used;
  bool known = ScanRegisteredFolders(used) && names.complete;
  for (int i = 0; i < static_cast<int>(names.entries.Size()); ++i) {
    const FolderEntry& entry = names.entries[i];
    bool kept = i == names.newest ||
                (keep.length && CompareStringOrdinal(entry.name, -1, keep.name, -1, TRUE) == CSTR_EQUAL);
    if (kept) {
      UnpackFolderText folder;
      FolderText(entry.name, folder);
      Tell(result, report, context, folder, FolderFate::Kept, 0);
    } else {
      Judge(result, root, known ? &used : nullptr, entry, report, context);
    }
  }
  return result;
}

UnpackCleanup RemoveUnpackFoldersIfUnused(const UnpackFolderText* folders, int count,
                                          FolderReport report, void* context) {
  UnpackCleanup result;
  if (count <= 0) return result;
  HeldRoot root;
  if (!HoldRoot(root, result)) return result;
  FolderList used;
  bool known = ScanRegisteredFolders(used);
  for (int i = 0; i < count; ++i) {
    FolderEntry entry;
    // Only what UnpackFolderOf makes: a digit folder directly under the root.
    if (FolderEntryOf(folders[i], entry))
      Judge(result, root, known ? &used : nullptr, entry, report, context);
  }
  return result;
}
