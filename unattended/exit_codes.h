// The exit codes of an unattended run: Windows Installer's, which Intune and Configuration
// Manager interpret without configuration (1618 is retried by both).
#pragma once

constexpr int ExitSuccess = 0;               // also: already registered, nothing to remove
constexpr int ExitFatalError = 1603;         // a file not registered, a removal that failed
constexpr int ExitNotInstalled = 1605;       // /verify: a control not registered, or its file gone
constexpr int ExitAnotherRunInProgress = 1618;
// A file that is missing or cannot be read, or a cabinet's path too long to open.
constexpr int ExitSourceUnreadable = 1619;
// Not a .ocx, .dll or .cab file, or a cabinet that cannot be opened.
constexpr int ExitPackageInvalid = 1620;
constexpr int ExitLogUnwritable = 1622;      // the /log file cannot be opened
constexpr int ExitInvalidCommandLine = 1639;
