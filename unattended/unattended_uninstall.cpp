// /uninstall: the maker's ProgIDs as the query of the uninstall view finds them, or those
// registered from a file given to /install, removed by the same code as a double-click or
// 卸载全部; then the unpack folders of the removed controls, when nothing else uses them.
#include <windows.h>

#include "unattended/exit_codes.h"
#include "unattended/unattended_steps.h"
#include "unattended/run_log.h"
#include "unattended/source_file.h"
#include "platform/text.h"
#include "platform/unique.h"
#include "core/register/file_kind.h"
#include "core/register/registered_folders.h"
#include "core/uninstall/cabinet_origin.h"
#include "core/uninstall/inventory.h"
#include "core/uninstall/progid_list.h"
#include "core/uninstall/remove.h"

namespace {

using Name = wchar_t[InventoryNameCapacity];

// Reads where the control's file lies before its registration goes: the unpack folders of the
// controls removed by this run are deleted afterwards, once nothing uses them.
void NoteFolderOf(FolderList& removed, const wchar_t* progId) {
  InstalledControl control;
  ReadInstalledControl(progId, false, control);
  UnpackFolderText folder;
  if (control.file[0] && UnpackFolderOf(control.file, folder)) AddFolder(removed, folder);
}

bool Remove(RunRecord& run, const wchar_t* progId) {
  SetCurrentItem(run, progId);
  RemovalResult result = RemoveControl(progId);
  const wchar_t* detail = nullptr;
  if (!result.progIdGone) {
    detail = L"the ProgID key is still there";
  } else if (!result.removed) {
    detail = L"keys of the control are still there";
  }
  LogEvent(run, L"remove", progId, result.removed ? Outcome::Ok : Outcome::Failed, detail,
           result.removed ? 0 : static_cast<DWORD>(result.error));
  CountItem(run, result.removed);
  return result.removed;
}

int RemoveAll(RunRecord& run, const ProgIdList& installed, FolderList& removed) {
  if (installed.names.Size() == 0)
    LogEvent(run, L"remove", L"/all", Outcome::Ok, L"no control is installed; nothing to remove");
  bool allRemoved = true;
  for (size_t i = 0; i < installed.names.Size(); ++i) {
    NoteFolderOf(removed, installed.names[i].text);
    allRemoved = Remove(run, installed.names[i].text) && allRemoved;
  }
  return allRemoved ? ExitSuccess : ExitFatalError;
}

// A file given to /install: what ends in .ocx, .dll or .cab in any letter case, or names a
// folder (a ProgID holds no '\' or '/'); anything else is a ProgID.
bool IsFileItem(const wchar_t* item) {
  return wcschr(item, L'\\') || wcschr(item, L'/') || IsControl(item) || IsCabinet(item);
}

// Logs the unpack folders found to hold the cabinet.
void LogFolders(RunRecord& run, const wchar_t* cabinet, const FolderList& matched) {
  for (size_t i = 0; i < matched.folders.Size(); ++i) {
    wchar_t detail[16 + UnpackFolderPathCapacity] = L"unpacked into ";
    AppendText(detail, matched.folders[i]);
    LogEvent(run, L"uninstall", cabinet, Outcome::Info, detail);
  }
}

// The closing line of a file's removal: what was found, and why nothing was when nothing was.
void LogOutcome(RunRecord& run, const SourceFile& file, bool allRemoved, int found, int elsewhere) {
  const wchar_t* detail = nullptr;
  if (!found && elsewhere)
    detail = L"controls of this cabinet are registered, but from no folder that holds this "
             L"cabinet's files; nothing was removed";
  else if (!found)
    detail = L"no control is registered from this file; nothing to remove";
  SetCurrentItem(run, file.path);
  Outcome outcome = !allRemoved ? Outcome::Failed : found || !elsewhere ? Outcome::Ok : Outcome::Info;
  LogEvent(run, L"uninstall", file.path, outcome, detail);
}

// Removes the controls registered from the file (OriginOfControl tells which).
bool RemoveRegisteredFrom(RunRecord& run, const SourceFile& file, const ProgIdList& installed,
                          FolderList& removed) {
  SetCurrentItem(run, file.path);
  FileOrigin origin;
  if (!OpenFileOrigin(origin, file.path, file.cabinet)) {
    LogEvent(run, L"uninstall", file.path, Outcome::Failed,
             L"the cabinet cannot be read whole, so its unpack folders cannot be told");
    CountItem(run, false);
    return false;
  }
  if (file.cabinet) LogFolders(run, file.path, origin.matched);
  bool allRemoved = true;
  int found = 0, elsewhere = 0;
  InstalledControl control;
  for (size_t i = 0; i < installed.names.Size(); ++i) {
    ReadInstalledControl(installed.names[i].text, false, control);
    CabinetOrigin from = OriginOfControl(origin, control.file);
    if (from == CabinetOrigin::OtherFolder) ++elsewhere;
    if (from != CabinetOrigin::FromCabinet) continue;
    ++found;
    NoteFolderOf(removed, installed.names[i].text);
    allRemoved = Remove(run, installed.names[i].text) && allRemoved;
  }
  for (size_t i = 0; i < origin.matched.folders.Size(); ++i)
    AddFolder(removed, origin.matched.folders[i]);
  LogOutcome(run, file, allRemoved, found, elsewhere);
  if (!found) CountItem(run, true);
  return allRemoved;
}

// Every item is checked before anything is removed: 0, or the exit code of the first fault.
int CheckItems(RunRecord& run, wchar_t* const* items, int count, const ProgIdList& installed,
               SourceFile* files) {
  int fault = 0;
  for (int i = 0; i < count; ++i) {
    if (IsFileItem(items[i])) {
      int checked = CheckSourceFile(run, items[i], files[i]);
      // A missing or unreadable file outranks one of the wrong kind, as for /install.
      if (checked && (fault == 0 || checked == ExitSourceUnreadable)) fault = checked;
      continue;
    }
    Name target;
    if (!ResolveProgId(items[i], installed, target)) {
      LogEvent(run, L"check", items[i], Outcome::Failed,
               L"not a ProgID of the maker's controls; nothing was removed");
      if (fault == 0) fault = ExitInvalidCommandLine;
    }
  }
  return fault;
}

int RemoveEach(RunRecord& run, wchar_t* const* items, int count, const ProgIdList& installed,
               FolderList& removed) {
  UniqueHeap<SourceFile> files = HeapAllocate<SourceFile>(static_cast<SIZE_T>(count), false);
  if (!files) {
    LogEvent(run, L"remove", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    return ExitFatalError;
  }
  if (int fault = CheckItems(run, items, count, installed, files.get())) return fault;
  bool allRemoved = true;
  for (int i = 0; i < count; ++i) {
    if (IsFileItem(items[i])) {
      allRemoved = RemoveRegisteredFrom(run, files.get()[i], installed, removed) && allRemoved;
      continue;
    }
    Name target;
    ResolveProgId(items[i], installed, target);
    if (target[0]) {
      NoteFolderOf(removed, target);
      allRemoved = Remove(run, target) && allRemoved;
    } else {
      LogEvent(run, L"remove", items[i], Outcome::Ok, L"not installed; nothing to remove");
      CountItem(run, true);
    }
  }
  return allRemoved ? ExitSuccess : ExitFatalError;
}

}  // namespace

int UninstallControls(RunRecord& run, wchar_t* const* items, int count, bool all) {
  ProgIdList installed;
  FolderList removed;
  int exitCode;
  if (!CollectInstalledControls(installed)) {
    LogEvent(run, L"remove", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    exitCode = ExitFatalError;
  } else {
    exitCode = all ? RemoveAll(run, installed, removed)
                   : RemoveEach(run, items, count, installed, removed);
  }
  SetCurrentItem(run, nullptr);
  CleanUpRemovedFolders(run, removed.folders.Data(), static_cast<int>(removed.folders.Size()));
  return exitCode;
}
