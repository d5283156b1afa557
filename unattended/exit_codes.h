// The exit codes of an unattended run: Windows Installer's, which Intune and Configuration
// Manager interpret without configuration (1618 is retried by both).
#pragma once

constexpr int ExitSuccess = 0;               // also: already registered, nothing to remove
constexpr int ExitFatalError = 1603;         // a file not registered, a removal that failed
constexpr int ExitNotInstalled = 1605;       // /verify: a control not registered, or its file gone
constexpr int ExitAnotherRunInProgress = 1618;
constexpr int ExitSourceUnreadable = 1619;   // a file that is missing or cannot be read
constexpr int ExitNotAControl = 1620;        // not a .ocx, .dll or .cab file
constexpr int ExitLogUnwritable = 1622;      // the /log file cannot be opened
constexpr int ExitInvalidCommandLine = 1639;
