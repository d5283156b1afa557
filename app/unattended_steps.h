// The steps of an unattended run, and the state the log keeps about it.
#pragma once
#include <windows.h>

#include <vector>

// The file or ProgID the run works on: the subject of events that name none.
void SetCurrentItem(const wchar_t* item);
// Events written with Outcome::Failed so far.
int FailureCount();
// Counts an item (a file or ProgID) in the summary.
void CountItem(bool succeeded);

// Each returns the run's exit code.
int InstallFiles(const std::vector<const wchar_t*>& files);
int UninstallControls(const std::vector<const wchar_t*>& progIds, bool all);
int ListControls();
