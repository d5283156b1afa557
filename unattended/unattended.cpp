// The frame of an unattended run: error mode, output, header, serialisation with other runs,
// the step itself, and the summary line that a script parses.
#include "unattended/unattended.h"

#include <windows.h>

#include <initializer_list>

#include "unattended/exit_codes.h"
#include "unattended/log_line.h"
#include "unattended/run_lock.h"
#include "unattended/run_output.h"
#include "unattended/unattended_steps.h"
#include "app/version.h"
#include "unattended/run_log.h"
#include "platform/text.h"
#include "core/register/drop.h"
#include "core/uninstall/remove.h"

namespace {

// Runs are serialised machine-wide; a tool that gets 1618 retries later.
constexpr DWORD RunLockBound = 30000;

wchar_t CurrentItem[DroppedPathCapacity] = L"";
int Failures = 0;
int Succeeded = 0;
int FailedItems = 0;
bool ConsoleGetsEvents = true;  // /list gives the console its names alone
bool EventsAtOnce = false;      // the line that says the run waits: written before its block

const wchar_t* OutcomeWord(Outcome outcome) {
  switch (outcome) {
    case Outcome::Ok: return L"ok";
    case Outcome::Failed: return L"failed";
    default: return L"info";
  }
}

// The run's mark on each of its lines: the process id, which the header names too.
void AddRunId(LogLine& line) {
  AddText(line, L"[pid ");
  AddNumber(line, GetCurrentProcessId());
  AddText(line, L"]");
}

// The time in UTC and the run: "2026-12-07T23:59:59Z [pid 1234]".
void AddNow(LogLine& line) {
  SYSTEMTIME t;
  GetSystemTime(&t);
  wchar_t text[32];
  wsprintfW(text, L"%04u-%02u-%02uT%02u:%02u:%02uZ ", t.wYear, t.wMonth, t.wDay, t.wHour,
            t.wMinute, t.wSecond);
  AddText(line, text);
  AddRunId(line);
}

// "error 2: The system cannot find the file specified." The message's first insert (%1, as in
// "%1 is not a valid Win32 application.") names the line's subject; any other stays as it is.
void AddErrorText(LogLine& line, DWORD error, const wchar_t* subject) {
  wchar_t text[512] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, error, 0, text, 512, nullptr);
  while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' '))
    text[--length] = 0;
  AddText(line, L"error ");
  AddNumber(line, error);
  if (!length) return;
  AddText(line, L": ");
  wchar_t* rest = text;
  for (wchar_t* p = text; *p; ++p) {
    if (p[0] != L'%' || p[1] != L'1' || (p[2] >= L'0' && p[2] <= L'9')) continue;
    *p = 0;
    AddEscaped(line, rest);
    AddEscaped(line, subject);
    rest = p + 2;
    p = rest - 1;
  }
  AddEscaped(line, rest);
}

void WriteLine(const wchar_t* line, bool toConsole) {
  if (EventsAtOnce) {
    WriteToLogNow(line);
  } else {
    WriteToLog(line);
  }
  if (toConsole) WriteToConsole(line);
}

// time and run, action, subject, outcome, detail and the system's error, separated by tabs;
// a tab or line break inside a field is escaped, so it cannot make a field or a line.
void WriteEvent(const wchar_t* action, const wchar_t* subject, Outcome outcome,
                const wchar_t* detail, DWORD error) {
  if (outcome == Outcome::Failed) ++Failures;
  LogLine line;
  AddNow(line);
  if (!subject) subject = CurrentItem;
  for (const wchar_t* field : {action, subject, OutcomeWord(outcome),
                               detail ? detail : L""}) {
    AddText(line, L"\t");
    AddEscaped(line, field);
  }
  if (error) {
    AddText(line, L"\t");
    AddErrorText(line, error, subject);
  }
  WriteLine(EndLine(line), ConsoleGetsEvents);
}

// DOMAIN\name of the process's account, and whether its token is elevated.
void AddAccount(LogLine& line) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    AddText(line, L"?");
    return;
  }
  alignas(TOKEN_USER) BYTE user[256];
  DWORD size = 0;
  wchar_t name[256], domain[256];
  DWORD nameLength = 256, domainLength = 256;
  SID_NAME_USE use;
  if (GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
      LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(user)->User.Sid, name, &nameLength,
                        domain, &domainLength, &use)) {
    AddEscaped(line, domain);
    AddText(line, L"\\");
    AddEscaped(line, name);
  } else {
    AddText(line, L"?");
  }
  TOKEN_ELEVATION elevation = {};
  if (GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size))
    AddText(line, elevation.TokenIsElevated ? L" (elevated)" : L" (not elevated)");
  CloseHandle(token);
}

const wchar_t* ProcessKind() {
  if (sizeof(void*) == 8) return L"64-bit process";
  return DetectWow64() ? L"32-bit process on 64-bit Windows (WoW64)"
                       : L"32-bit process on 32-bit Windows";
}

// Four lines, each ended whatever its length; they go out with the run's block.
void WriteHeader() {
  LogLine first, command, account, process;
  AddText(first, L"# Ctlwarden " CTLWARDEN_VERSION_TEXT L" unattended run ");
  AddRunId(first);
  AddText(command, L"# Command line: ");
  AddEscaped(command, GetCommandLineW());
  AddText(account, L"# Account: ");
  AddAccount(account);
  AddText(process, L"# Process: ");
  AddText(process, ProcessKind());
  for (LogLine* line : {&first, &command, &account, &process}) WriteLine(EndLine(*line), ConsoleGetsEvents);
}

// The last line: "summary", then "exit=N" in the outcome column.
int Finish(int exitCode) {
  LogLine line;
  AddNow(line);
  AddText(line, L"\tsummary\t\texit=");
  AddNumber(line, static_cast<unsigned long>(exitCode));
  AddText(line, L"\t");
  AddNumber(line, static_cast<unsigned long>(Succeeded));
  AddText(line, L" succeeded, ");
  AddNumber(line, static_cast<unsigned long>(FailedItems));
  AddText(line, L" failed");
  WriteLine(EndLine(line), ConsoleGetsEvents);
  CloseRunOutput();
  return exitCode;
}

bool MayShowBox(const CommandLine& line) {
  return !line.quiet && !HasConsoleOutput() && HasInteractiveDesktop();
}

int ShowUsage(const CommandLine& line) {
  if (HasConsoleOutput()) {
    WriteToConsole(UsageText);
  } else if (MayShowBox(line)) {
    MessageBoxW(nullptr, UsageText, L"Ctlwarden", MB_OK);
  }
  CloseRunOutput();
  return ExitSuccess;
}

// One line with the fault in the log; the usage goes to the console or the box only.
int RefuseCommandLine(const CommandLine& line) {
  wchar_t fault[LogLineCapacity] = {};
  CopyText(fault, line.fault);
  if (line.faultArgument && (!AppendText(fault, L": ") || !AppendText(fault, line.faultArgument))) {
    CopyText(fault, line.fault);
    AppendText(fault, L": (too long to show)");
  }
  LogEvent(L"command-line", L"", Outcome::Failed, fault);
  if (ConsoleGetsEvents) WriteToConsole(UsageText);
  if (MayShowBox(line)) {
    wchar_t text[2 * LogLineCapacity] = L"命令行无效：";
    AppendText(text, fault);
    AppendText(text, L"\r\n\r\n");
    AppendText(text, UsageText);
    MessageBoxW(nullptr, text, L"Ctlwarden", MB_OK);
  }
  return Finish(ExitInvalidCommandLine);
}

// The lock is held from the header to the summary, so the run's block is whole in a shared log.
int RunSerialised(const CommandLine& line) {
  RunLock lock;
  DWORD error = 0;
  DWORD waited = OpenRunLock(lock, &error) ? WaitForRunLock(lock, 0) : WAIT_FAILED;
  if (waited == WAIT_TIMEOUT) {
    EventsAtOnce = true;
    LogEvent(L"wait", L"", Outcome::Info, L"another unattended run is in progress; waiting for it");
    EventsAtOnce = false;
    waited = WaitForRunLock(lock, RunLockBound);
  }
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    if (waited == WAIT_FAILED && !error) error = GetLastError();
    LogEvent(L"wait", L"", Outcome::Failed,
             error ? L"the lock of unattended runs cannot be taken; try again later"
                   : L"another unattended run is still in progress; try again later",
             error);
    return Finish(ExitAnotherRunInProgress);
  }
  StartLogBlock();
  int exitCode = Finish(line.mode == RunMode::Install
                            ? InstallFiles(line.items, line.itemCount)
                            : UninstallControls(line.items, line.itemCount, line.all));
  ReleaseRunLock(lock);
  return exitCode;
}

// The reason a /log is refused, on standard error as well: a tool that shows only that
// stream still says why nothing was logged.
void ReportLogRefusal(const LogOpening& opening) {
  LogLine line;
  AddText(line, L"Ctlwarden: ");
  AddEscaped(line, opening.path);
  AddText(line, L": ");
  AddText(line, opening.reason);
  if (opening.error) {
    AddText(line, L" (");
    AddErrorText(line, opening.error, opening.path);
    AddText(line, L")");
  }
  WriteToError(EndLine(line));
}

}  // namespace

// Interactive: a desktop someone may see. Deployment tools run as SYSTEM in session 0, whose
// window stations are invisible (WSF_VISIBLE is not set but for WinSta0); and WinSta0 of
// session 0 is no one's desktop since Windows Vista either.
bool HasInteractiveDesktop() {
  DWORD session = 0;
  if (ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0) return false;
  USEROBJECTFLAGS flags = {};
  HWINSTA station = GetProcessWindowStation();
  return station &&
         GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE);
}

void SetCurrentItem(const wchar_t* item) {
  if (!item || !CopyText(CurrentItem, item)) CurrentItem[0] = 0;
}
int FailureCount() { return Failures; }
void CountItem(bool succeeded) { ++(succeeded ? Succeeded : FailedItems); }

int RunUnattended(const CommandLine& line) {
  // No system error box either, for this process and the commands it starts: a control that
  // does not load, a missing disk, a crash.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  LogOpening logFile, defaultLog;
  OpenRunOutput(line.logPath, &logFile, &defaultLog);
  if (line.mode == RunMode::Usage) return ShowUsage(line);
  ConsoleGetsEvents = line.mode != RunMode::List && line.mode != RunMode::Verify &&
                      line.mode != RunMode::Diagnose;
  SetEventWriter(WriteEvent);
  WriteHeader();
  if (defaultLog.reason)
    LogEvent(L"log", defaultLog.path, Outcome::Info, defaultLog.reason, defaultLog.error);
  if (logFile.reason) {
    LogEvent(L"log", logFile.path, Outcome::Failed, logFile.reason, logFile.error);
    ReportLogRefusal(logFile);
    return Finish(ExitLogUnwritable);
  }
  switch (line.mode) {
    case RunMode::Install:
    case RunMode::Uninstall:
      return RunSerialised(line);
    case RunMode::List:
      return Finish(ListControls(line.listFormat));
    case RunMode::Verify:
      return Finish(VerifyControls(line.items, line.itemCount));
    case RunMode::Diagnose:
      return Finish(DiagnoseControls(line.items, line.itemCount, line.listFormat == ListFormat::Json));
    default:
      return RefuseCommandLine(line);
  }
}
