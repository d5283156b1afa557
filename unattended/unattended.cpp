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
#include "platform/unique.h"
#include "core/uninstall/classes_view.h"

namespace {

// Runs are serialised machine-wide; a tool that gets 1618 retries later.
constexpr DWORD RunLockBound = 30000;

// DOMAIN\name of the process's account, and whether its token is elevated.
void AddAccount(LogLine& line) {
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
    AddText(line, L"?");
    return;
  }
  alignas(TOKEN_USER) BYTE user[256];
  DWORD size = 0;
  wchar_t name[256], domain[256];
  DWORD nameLength = 256, domainLength = 256;
  SID_NAME_USE use;
  if (GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size) &&
      LookupAccountSidW(nullptr, reinterpret_cast<TOKEN_USER*>(user)->User.Sid, name, &nameLength,
                        domain, &domainLength, &use)) {
    AddEscaped(line, domain);
    AddText(line, L"\\");
    AddEscaped(line, name);
  } else {
    AddText(line, L"?");
  }
  TOKEN_ELEVATION elevation = {};
  if (GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
    AddText(line, elevation.TokenIsElevated ? L" (elevated)" : L" (not elevated)");
}

const wchar_t* ProcessKind() {
  if (sizeof(void*) == 8) return L"64-bit process";
  return DetectWow64() ? L"32-bit process on 64-bit Windows (WoW64)"
                       : L"32-bit process on 32-bit Windows";
}

// Four lines, each ended whatever its length; they go out with the run's block.
void WriteHeader(const RunRecord& run) {
  LogLine first, command, account, process;
  AddText(first, L"# Ctlwarden " CTLWARDEN_VERSION_TEXT L" unattended run ");
  AddRunId(first);
  AddText(command, L"# Command line: ");
  AddEscaped(command, GetCommandLineW());
  AddText(account, L"# Account: ");
  AddAccount(account);
  AddText(process, L"# Process: ");
  AddText(process, ProcessKind());
  for (LogLine* line : {&first, &command, &account, &process}) WriteRunLine(run, EndLine(*line));
}

// The last line: "summary", then "exit=N" in the outcome column.
int Finish(const RunRecord& run, int exitCode) {
  LogLine line;
  AddNow(line);
  AddText(line, L"\tsummary\t\texit=");
  AddNumber(line, static_cast<unsigned long>(exitCode));
  AddText(line, L"\t");
  AddNumber(line, static_cast<unsigned long>(run.succeeded));
  AddText(line, L" succeeded, ");
  AddNumber(line, static_cast<unsigned long>(run.failedItems));
  AddText(line, L" failed");
  WriteRunLine(run, EndLine(line));
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
int RefuseCommandLine(RunRecord& run, const CommandLine& line) {
  wchar_t fault[LogLineCapacity] = {};
  CopyText(fault, line.fault);
  if (line.faultArgument && (!AppendText(fault, L": ") || !AppendText(fault, line.faultArgument))) {
    CopyText(fault, line.fault);
    AppendText(fault, L": (too long to show)");
  }
  LogEvent(run, L"command-line", L"", Outcome::Failed, fault);
  if (run.consoleGetsEvents) WriteToConsole(UsageText);
  if (MayShowBox(line)) {
    wchar_t text[2 * LogLineCapacity] = L"命令行无效：";
    AppendText(text, fault);
    AppendText(text, L"\r\n\r\n");
    AppendText(text, UsageText);
    MessageBoxW(nullptr, text, L"Ctlwarden", MB_OK);
  }
  return Finish(run, ExitInvalidCommandLine);
}

// The lock is held from the header to the summary, so the run's block is whole in a shared log.
int RunSerialised(RunRecord& run, const CommandLine& line) {
  RunLock lock;
  DWORD error = 0;
  DWORD waited = OpenRunLock(lock, &error) ? WaitForRunLock(lock, 0) : WAIT_FAILED;
  if (waited == WAIT_TIMEOUT) {
    run.eventsAtOnce = true;
    LogEvent(run, L"wait", L"", Outcome::Info, L"another unattended run is in progress; waiting for it");
    run.eventsAtOnce = false;
    waited = WaitForRunLock(lock, RunLockBound);
  }
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    if (waited == WAIT_FAILED && !error) error = GetLastError();
    LogEvent(run, L"wait", L"", Outcome::Failed,
             error ? L"the lock of unattended runs cannot be taken; try again later"
                   : L"another unattended run is still in progress; try again later",
             error);
    return Finish(run, ExitAnotherRunInProgress);
  }
  StartLogBlock();
  int exitCode = Finish(run, line.mode == RunMode::Install
                                 ? InstallFiles(run, line.items, line.itemCount)
                                 : UninstallControls(run, line.items, line.itemCount, line.all));
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

int RunUnattended(const CommandLine& line) {
  // No system error box either, for this process and the commands it starts: a control that
  // does not load, a missing disk, a crash.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  LogOpening logFile, defaultLog;
  OpenRunOutput(line.logPath, &logFile, &defaultLog);
  if (line.mode == RunMode::Usage) return ShowUsage(line);
  RunRecord run;
  run.consoleGetsEvents = line.mode != RunMode::List && line.mode != RunMode::Verify &&
                          line.mode != RunMode::Diagnose;
  WriteHeader(run);
  if (defaultLog.reason)
    LogEvent(run, L"log", defaultLog.path, Outcome::Info, defaultLog.reason, defaultLog.error);
  if (logFile.reason) {
    LogEvent(run, L"log", logFile.path, Outcome::Failed, logFile.reason, logFile.error);
    ReportLogRefusal(logFile);
    return Finish(run, ExitLogUnwritable);
  }
  switch (line.mode) {
    case RunMode::Install:
    case RunMode::Uninstall:
      return RunSerialised(run, line);
    case RunMode::List:
      return Finish(run, ListControls(run, line.listFormat));
    case RunMode::Verify:
      return Finish(run, VerifyControls(run, line.items, line.itemCount));
    case RunMode::Diagnose:
      return Finish(run, DiagnoseControls(run, line.items, line.itemCount,
                                          line.listFormat == ListFormat::Json));
    default:
      return RefuseCommandLine(run, line);
  }
}
