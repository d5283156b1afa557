#include "core/register/folder_delete.h"

#include "core/register/folder_handle.h"
#include "platform/growing_array.h"
#include "platform/unique.h"

namespace {

// Far more files than a folder of one cabinet holds.
constexpr size_t HeldFilesBound = 1 << 17;

// The files of one folder, held open (no sharing) until the list goes, and so deleted then
// when they were marked.
struct HeldFiles {
  GrowingArray<HANDLE> handles{HeldFilesBound};
  ~HeldFiles() {
    for (size_t i = 0; i < handles.Size(); ++i) UniqueCreateFileHandle closing(handles[i]);
  }
};

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

FolderFate OpenFailure(DWORD code, DWORD* error) {
  *error = code;
  return code == ERROR_SHARING_VIOLATION ? FolderFate::InUse : FolderFate::Failed;
}

// Opens one file of the held folder for deletion with no sharing, through the folder's
// handle, and checks through its own that it is a plain file with one name, in that folder.
FolderFate HoldFile(HANDLE folder, const wchar_t* folderFinal, HANDLE root, const wchar_t* name,
                    size_t length, HeldFiles& files, DWORD* error) {
  FolderOpen opened = OpenInFolder(folder, name, length,
                                   DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0, false);
  if (!opened.handle) return OpenFailure(opened.error, error);
  BY_HANDLE_FILE_INFORMATION info;
  HANDLE file = opened.handle.get();
  bool plain = IsPlainEntryOf(file, root, folderFinal, name, length, info) &&
               !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && info.nNumberOfLinks == 1;
  if (!plain || !files.handles.Append(file))
    return plain ? FolderFate::Failed : FolderFate::NotOurs;
  opened.handle.release();  // held by files from here
  if (!ClearReadOnly(file, info.dwFileAttributes)) {
    *error = GetLastError();
    return FolderFate::Failed;
  }
  return FolderFate::Deleted;
}

// Holds every file that the folder's own listing shows.
FolderFate HoldFiles(HANDLE folder, const wchar_t* folderFinal, HANDLE root, HeldFiles& files,
                     DWORD* error) {
  Listing listing(folder);
  while (const FILE_FULL_DIR_INFO* entry = listing.Next(error)) {
    if (entry->FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
      return FolderFate::NotOurs;
    FolderFate fate = HoldFile(folder, folderFinal, root, entry->FileName,
                               entry->FileNameLength / sizeof(wchar_t), files, error);
    if (fate != FolderFate::Deleted) return fate;
  }
  return *error ? FolderFate::Failed : FolderFate::Deleted;
}

// All or none: a file that cannot be marked unmarks those marked before it.
FolderFate MarkAll(HeldFiles& files, DWORD* error) {
  for (size_t marked = 0; marked < files.handles.Size(); ++marked) {
    if (!MarkForDeletion(files.handles[marked], true)) {
      *error = GetLastError();
      for (size_t i = 0; i < marked; ++i) MarkForDeletion(files.handles[i], false);
      return FolderFate::Failed;
    }
  }
  return FolderFate::Deleted;
}

}  // namespace

FolderFate DeleteHeldFolder(HANDLE rootHandle, const wchar_t* rootFinal, const wchar_t* name,
                            size_t length, DWORD* error) {
  *error = 0;
  FolderOpen opened = OpenInFolder(rootHandle, name, length,
                                   DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, true);
  if (!opened.handle) return OpenFailure(opened.error, error);
  FolderFate fate;
  {
    UniqueCreateFileHandle directory = static_cast<UniqueCreateFileHandle&&>(opened.handle);
    BY_HANDLE_FILE_INFORMATION info;
    wchar_t final[FinalPathCapacity];
    if (!IsPlainEntryOf(directory.get(), rootHandle, rootFinal, name, length, info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !FinalPathOf(directory.get(), final))
      return FolderFate::NotOurs;
    {
      HeldFiles files;
      fate = HoldFiles(directory.get(), final, rootHandle, files, error);
      if (fate == FolderFate::Deleted) fate = MarkAll(files, error);
    }  // the files are closed here, and so deleted
    // A folder is marked only once it is empty: the system refuses to mark one that still
    // holds files, even files whose deletion is pending. The folder's own handle, held all
    // along, is what gets marked.
    if (fate == FolderFate::Deleted && !MarkForDeletion(directory.get(), true)) {
      *error = GetLastError();
      fate = FolderFate::Failed;
    }
  }  // the folder is closed here, and so deleted
  // Gone only when gone: a file created in it meanwhile keeps the directory.
  FolderOpen again = OpenInFolder(rootHandle, name, length, FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true);
  if (fate == FolderFate::Deleted && again.handle) {
    *error = ERROR_DIR_NOT_EMPTY;
    fate = FolderFate::Failed;
  }
  return fate;
}

