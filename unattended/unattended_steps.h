// The steps of an unattended run, and the state the log keeps about it.
#pragma once
#include <windows.h>

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
int UninstallControls(wchar_t* const* progIds, int count, bool all);
int ListControls();
