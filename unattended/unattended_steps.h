// The steps of an unattended run, and the state the log keeps about it.
#pragma once
#include <windows.h>

#include "unattended/command_line.h"
#include "core/register/unpack_cleanup.h"

// The file or ProgID the run works on: the subject of events that name none.
void SetCurrentItem(const wchar_t* item);
// Events written with Outcome::Failed so far.
int FailureCount();
// Counts an item (a file or ProgID) in the summary.
void CountItem(bool succeeded);

// A log line's room: a path of up to 999 characters, a message and the system's error text.
constexpr size_t LogLineCapacity = 4096;

// Each returns the run's exit code.
int InstallFiles(wchar_t* const* files, int count);
// items: ProgIDs, or the .ocx, .dll and .cab files given to /install.
int UninstallControls(wchar_t* const* items, int count, bool all);
int ListControls(ListFormat format);
int VerifyControls(wchar_t* const* progIds, int count);
// items: ProgIDs or control files; none: every control of the maker. json: an array on
// standard output instead of blocks of lines.
int DiagnoseControls(wchar_t* const* items, int count, bool json);

// After a successful install (keepFolder: the folder it unpacked into, or null) and after an
// uninstall: deletes the unpack folders that no registration points into any more, and logs
// each folder deleted or kept.
void CleanUpUnpackFolders(const wchar_t* keepFolder);
// After an uninstall: the folders ("C:\\VornActiveX\\<digits>\\") of the controls it removed, each
// when nothing points into it any more.
void CleanUpRemovedFolders(const wchar_t (*folders)[UnpackFolderPathCapacity], int count);
