// The steps of an unattended run. Each logs its events into the run's record, counts its items
// there, and returns the run's exit code; none calls back into the frame.
#pragma once
#include <windows.h>

#include "core/register/unpack_cleanup.h"
#include "unattended/command_line.h"
#include "unattended/run_log.h"

// /install: the files, each checked before anything is done.
int InstallFiles(RunRecord& run, wchar_t* const* files, int count);
// /uninstall: items are ProgIDs, or the .ocx, .dll and .cab files given to /install; all:
// every control of the maker.
int UninstallControls(RunRecord& run, wchar_t* const* items, int count, bool all);
// /list: the maker's controls on standard output in the given format.
int ListControls(RunRecord& run, ListFormat format);
// /verify: whether each ProgID is installed whole.
int VerifyControls(RunRecord& run, wchar_t* const* progIds, int count);
// items: ProgIDs or control files; none: every control of the maker. json: an array on
// standard output instead of blocks of lines.
int DiagnoseControls(RunRecord& run, wchar_t* const* items, int count, bool json);

// After a successful install (keepFolder: the folder it unpacked into, or null) and after an
// uninstall: deletes the unpack folders that no registration points into any more, and logs
// each folder deleted or kept. Neither changes the run's exit code.
void CleanUpUnpackFolders(RunRecord& run, const wchar_t* keepFolder);
// After an uninstall: the folders ("C:\\VornActiveX\\<digits>\\") of the controls it removed, each
// when nothing points into it any more.
void CleanUpRemovedFolders(RunRecord& run, const wchar_t (*folders)[UnpackFolderPathCapacity],
                           int count);
