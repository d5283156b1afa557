// /uninstall: the maker's ProgIDs as the query of the uninstall view finds them, or those
// registered from a file given to /install, removed by the same code as a double-click or
// 卸载全部; then the unpack folders of the removed controls, when nothing else uses them.
#include <windows.h>


#include "unattended/exit_codes.h"
#include "unattended/unattended_steps.h"
#include "unattended/run_log.h"
#include "unattended/source_file.h"
#include "platform/text.h"
#include "core/register/cabinet.h"
#include "core/register/cabinet_contents.h"
#include "core/register/drop.h"
#include "core/register/file_kind.h"
#include "core/register/unpack_cleanup.h"
#include "core/uninstall/inventory.h"
#include "core/uninstall/query.h"
#include "core/uninstall/cabinet_origin.h"
#include "core/uninstall/classes_view.h"
#include "core/uninstall/remove.h"

namespace {

// A registry key name has at most 255 characters.
constexpr size_t NameCapacity = 256;
using Name = wchar_t[NameCapacity];

// The ProgIDs the query finds, in its order, as 卸载全部 takes them from the list.
struct NameList {
  Name* names = nullptr;
  int count = 0;
  int capacity = 0;
  bool complete = true;  // false when memory ran out
};

void Collect(const wchar_t* progId, void* context) {
  auto* list = static_cast<NameList*>(context);
  if (list->count == list->capacity) {
    int grown = list->capacity ? list->capacity * 2 : 64;
    SIZE_T bytes = sizeof(Name) * static_cast<SIZE_T>(grown);
    void* more = list->names ? HeapReAlloc(GetProcessHeap(), 0, list->names, bytes)
                             : HeapAlloc(GetProcessHeap(), 0, bytes);
    if (!more) {
      list->complete = false;
      return;
    }
    list->names = static_cast<Name*>(more);
    list->capacity = grown;
  }
  if (CopyText(list->names[list->count], progId)) ++list->count;
}

void Release(NameList& list) {
  if (list.names) HeapFree(GetProcessHeap(), 0, list.names);
  list = NameList();
}

// Whether a key of this name exists in the machine's classes, in either view: what the removal
// can act on. The user's own classes, which HKEY_CLASSES_ROOT merges in for an elevated
// process, decide nothing here either.
bool KeyExists(const wchar_t* path) {
  ClassesView own(RegistryView::Own);
  if (KeyExistsIn(own, path)) return true;
  ClassesView other(sizeof(void*) == 8 ? RegistryView::Bits32 : RegistryView::Bits64);
  return KeyExistsIn(other, path);
}

// The listed name a ProgID given on the command line stands for (registry names ignore letter
// case), or an empty text for one that is not installed. False for a name that the uninstall
// view could never remove: no key name, or a key of another maker.
bool Resolve(const wchar_t* item, const NameList& installed, Name& target) {
  target[0] = 0;
  if (!IsKeyName(item)) return false;
  for (int i = 0; i < installed.count; ++i) {
    if (CompareStringOrdinal(installed.names[i], -1, item, -1, TRUE) == CSTR_EQUAL) {
      CopyText(target, installed.names[i]);
      return true;
    }
  }
  return !KeyExists(item);
}

// The unpack folders of the controls removed by this run, to delete once nothing uses them.
struct RemovedFolders {
  wchar_t (*folders)[UnpackFolderPathCapacity] = nullptr;
  int count = 0;
  int capacity = 0;
};

void NoteFolder(RemovedFolders& removed, const wchar_t* folder) {
  for (int i = 0; i < removed.count; ++i)
    if (CompareStringOrdinal(removed.folders[i], -1, folder, -1, TRUE) == CSTR_EQUAL) return;
  if (removed.count == removed.capacity) {
    int grown = removed.capacity ? removed.capacity * 2 : 8;
    SIZE_T bytes = sizeof(removed.folders[0]) * static_cast<SIZE_T>(grown);
    void* more = removed.folders ? HeapReAlloc(GetProcessHeap(), 0, removed.folders, bytes)
                                 : HeapAlloc(GetProcessHeap(), 0, bytes);
    if (!more) return;  // that folder stays; a later clean-up takes it
    removed.folders = static_cast<wchar_t (*)[UnpackFolderPathCapacity]>(more);
    removed.capacity = grown;
  }
  CopyText(removed.folders[removed.count++], folder);
}

// Reads where the control's file lies before its registration goes.
void NoteFolderOf(RemovedFolders& removed, const wchar_t* progId) {
  InstalledControl control;
  ReadInstalledControl(progId, false, control);
  wchar_t folder[UnpackFolderPathCapacity];
  if (control.file[0] && UnpackFolderOf(control.file, folder)) NoteFolder(removed, folder);
}

void CleanUp(RemovedFolders& removed) {
  CleanUpRemovedFolders(removed.folders, removed.count);
  if (removed.folders) HeapFree(GetProcessHeap(), 0, removed.folders);
  removed = RemovedFolders();
}

bool Remove(const wchar_t* progId) {
  SetCurrentItem(progId);
  RemovalResult result = RemoveControl(progId);
  const wchar_t* detail = nullptr;
  if (!result.progIdGone) {
    detail = L"the ProgID key is still there";
  } else if (!result.removed) {
    detail = L"keys of the control are still there";
  }
  LogEvent(L"remove", progId, result.removed ? Outcome::Ok : Outcome::Failed, detail,
           result.removed ? 0 : static_cast<DWORD>(result.error));
  CountItem(result.removed);
  return result.removed;
}

int RemoveAll(const NameList& installed, RemovedFolders& removed) {
  if (installed.count == 0)
    LogEvent(L"remove", L"/all", Outcome::Ok, L"no control is installed; nothing to remove");
  bool allRemoved = true;
  for (int i = 0; i < installed.count; ++i) {
    NoteFolderOf(removed, installed.names[i]);
    allRemoved = Remove(installed.names[i]) && allRemoved;
  }
  return allRemoved ? ExitSuccess : ExitFatalError;
}

// A file given to /install: what ends in .ocx, .dll or .cab in any letter case, or names a
// folder (a ProgID holds no '\' or '/'); anything else is a ProgID.
bool IsFileItem(const wchar_t* item) {
  return wcschr(item, L'\\') || wcschr(item, L'/') || IsControl(item) || IsCabinet(item);
}

// Logs the unpack folders found to hold the cabinet.
void LogFolders(const wchar_t* cabinet, const FolderList& matched) {
  for (int i = 0; i < matched.count; ++i) {
    wchar_t detail[16 + UnpackFolderPathCapacity] = L"unpacked into ";
    AppendText(detail, matched.folders[i]);
    LogEvent(L"uninstall", cabinet, Outcome::Info, detail);
  }
}

// The closing line of a file's removal: what was found, and why nothing was when nothing was.
void LogOutcome(const SourceFile& file, bool allRemoved, int found, int elsewhere) {
  const wchar_t* detail = nullptr;
  if (!found && elsewhere)
    detail = L"controls of this cabinet are registered, but from no folder that holds this "
             L"cabinet's files; nothing was removed";
  else if (!found)
    detail = L"no control is registered from this file; nothing to remove";
  SetCurrentItem(file.path);
  Outcome outcome = !allRemoved ? Outcome::Failed : found || !elsewhere ? Outcome::Ok : Outcome::Info;
  LogEvent(L"uninstall", file.path, outcome, detail);
}

// The controls registered from the file: for a control, those whose InprocServer32 is that
// file; for a cabinet, those whose file lies in a folder holding that cabinet's files.
bool RemoveRegisteredFrom(const SourceFile& file, const NameList& installed, RemovedFolders& removed) {
  SetCurrentItem(file.path);
  CabinetContents contents;
  FolderList matched;
  if (file.cabinet) {
    char ansi[AnsiPathCapacity] = {};
    ConvertToAnsiPath(file.path, ansi, sizeof ansi);  // checked with the items
    if (!ReadCabinetContents(ansi, contents)) {
      LogEvent(L"uninstall", file.path, Outcome::Failed,
               L"the cabinet cannot be read whole, so its unpack folders cannot be told");
      CountItem(false);
      return false;
    }
    FindCabinetFolders(contents, matched);
    LogFolders(file.path, matched);
  }
  bool allRemoved = true;
  int found = 0, elsewhere = 0;
  InstalledControl control;
  for (int i = 0; i < installed.count; ++i) {
    ReadInstalledControl(installed.names[i], false, control);
    CabinetOrigin origin = file.cabinet ? OriginOf(control.file, contents, matched)
                                        : control.file[0] && SameFile(control.file, file.path)
                                              ? CabinetOrigin::FromCabinet
                                              : CabinetOrigin::Unrelated;
    if (origin == CabinetOrigin::OtherFolder) ++elsewhere;
    if (origin != CabinetOrigin::FromCabinet) continue;
    ++found;
    NoteFolderOf(removed, installed.names[i]);
    allRemoved = Remove(installed.names[i]) && allRemoved;
  }
  for (int i = 0; i < matched.count; ++i) NoteFolder(removed, matched.folders[i]);
  ReleaseFolders(matched);
  ReleaseCabinetContents(contents);
  LogOutcome(file, allRemoved, found, elsewhere);
  if (!found) CountItem(true);
  return allRemoved;
}

// Every item is checked before anything is removed.
int RemoveEach(wchar_t* const* items, int count, const NameList& installed,
               RemovedFolders& removed) {
  auto* files = static_cast<SourceFile*>(
      HeapAlloc(GetProcessHeap(), 0, sizeof(SourceFile) * static_cast<SIZE_T>(count)));
  if (!files) {
    LogEvent(L"remove", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    return ExitFatalError;
  }
  int fault = 0;
  for (int i = 0; i < count; ++i) {
    if (IsFileItem(items[i])) {
      int checked = CheckSourceFile(items[i], files[i]);
      // A missing or unreadable file outranks one of the wrong kind, as for /install.
      if (checked && (fault == 0 || checked == ExitSourceUnreadable)) fault = checked;
      continue;
    }
    Name target;
    if (!Resolve(items[i], installed, target)) {
      LogEvent(L"check", items[i], Outcome::Failed,
               L"not a ProgID of the maker's controls; nothing was removed");
      if (fault == 0) fault = ExitInvalidCommandLine;
    }
  }
  if (fault) {
    HeapFree(GetProcessHeap(), 0, files);
    return fault;
  }
  bool allRemoved = true;
  for (int i = 0; i < count; ++i) {
    if (IsFileItem(items[i])) {
      allRemoved = RemoveRegisteredFrom(files[i], installed, removed) && allRemoved;
      continue;
    }
    Name target;
    Resolve(items[i], installed, target);
    if (target[0]) {
      NoteFolderOf(removed, target);
      allRemoved = Remove(target) && allRemoved;
    } else {
      LogEvent(L"remove", items[i], Outcome::Ok, L"not installed; nothing to remove");
      CountItem(true);
    }
  }
  HeapFree(GetProcessHeap(), 0, files);
  return allRemoved ? ExitSuccess : ExitFatalError;
}

}  // namespace

int UninstallControls(wchar_t* const* items, int count, bool all) {
  NameList installed;
  ForEachInstalledControl(Collect, &installed);
  RemovedFolders removed;
  int exitCode;
  if (!installed.complete) {
    LogEvent(L"remove", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    exitCode = ExitFatalError;
  } else {
    exitCode = all ? RemoveAll(installed, removed) : RemoveEach(items, count, installed, removed);
  }
  Release(installed);
  SetCurrentItem(nullptr);
  CleanUp(removed);
  return exitCode;
}
