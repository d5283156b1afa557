// The clean-up of unpack folders in an unattended run: each folder looked at is a log line.
#include "core/register/unpack_cleanup.h"
#include "unattended/run_log.h"
#include "unattended/unattended_steps.h"

namespace {
const wchar_t* FateText(FolderFate fate) {
  switch (fate) {
    case FolderFate::Deleted: return L"deleted: no registration points into it";
    case FolderFate::Kept: return L"kept: the folder of this install, or the newest one";
    case FolderFate::Referenced: return L"kept: a registration points into it";
    case FolderFate::InUse: return L"kept: a file in it is in use";
    case FolderFate::NotOurs: return L"kept: it holds a link or a folder, which this program never unpacks";
    default: return L"kept: it could not be deleted";
  }
}

// Only what was deleted, and what could not be, is worth a line; folders in use are quietly
// kept. None of it changes the run's exit code: the install or removal itself went well.
void Report(const wchar_t* folder, FolderFate fate, DWORD error, void* context) {
  if (fate == FolderFate::Kept || fate == FolderFate::Referenced) return;
  LogEvent(*static_cast<RunRecord*>(context), L"cleanup", folder, fate == FolderFate::Deleted ? Outcome::Ok : Outcome::Info,
           FateText(fate), error);
}

// A root that the run could not hold is never cleaned; that is worth a line.
void ReportRoot(RunRecord& run, const UnpackCleanup& result) {
  if (result.movedAside[0])
    LogEvent(run, L"cleanup", result.movedAside, Outcome::Info,
             L"the unpack root was not the program's: moved aside here, nothing in it deleted");
  else if (!result.rootUsable && result.error)
    LogEvent(run, L"cleanup", UnpackRootPath, Outcome::Info,
             L"the unpack root could not be held; nothing in it deleted", result.error);
}
}  // namespace

void CleanUpUnpackFolders(RunRecord& run, const wchar_t* keepFolder) {
  ReportRoot(run, RemoveUnusedUnpackFolders(keepFolder, Report, &run));
}

void CleanUpRemovedFolders(RunRecord& run, const wchar_t (*folders)[UnpackFolderPathCapacity],
                           int count) {
  ReportRoot(run, RemoveUnpackFoldersIfUnused(folders, count, Report, &run));
}
