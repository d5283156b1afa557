// The frame of an unattended run: error mode, output, header, serialisation with other runs,
// the step itself, and the summary line that a script parses.
#include "unattended/unattended.h"

#include <windows.h>
#include <sddl.h>

#include <initializer_list>

#include "unattended/exit_codes.h"
#include "unattended/run_output.h"
#include "unattended/unattended_steps.h"
#include "app/version.h"
#include "unattended/run_log.h"
#include "platform/text.h"
#include "core/register/drop.h"
#include "core/uninstall/remove.h"

namespace {

// Runs are serialised machine-wide; a tool that gets 1618 retries later.
const wchar_t RunMutexName[] = L"Global\\Ctlwarden.Unattended";
constexpr DWORD RunMutexBound = 30000;

wchar_t CurrentItem[DroppedPathCapacity] = L"";
int Failures = 0;
int Succeeded = 0;
int FailedItems = 0;
bool ConsoleGetsEvents = true;  // /list gives the console its names alone

using Line = wchar_t[LogLineCapacity];

// Appends as much of text as fits: a log line that would not fit is kept, shortened at its end,
// rather than lost.
void Add(Line& line, const wchar_t* text) {
  size_t used = TextLength(line);
  for (size_t i = 0; text[i] && used + 1 < LogLineCapacity; ++i) line[used++] = text[i];
  line[used] = 0;
}

void AddNumber(Line& line, unsigned long number) {
  wchar_t digits[16];
  wsprintfW(digits, L"%lu", number);
  Add(line, digits);
}

const wchar_t* OutcomeWord(Outcome outcome) {
  switch (outcome) {
    case Outcome::Ok: return L"ok";
    case Outcome::Failed: return L"failed";
    default: return L"info";
  }
}

// The time in UTC: 2026-12-07T23:59:59Z.
void AddNow(Line& line) {
  SYSTEMTIME t;
  GetSystemTime(&t);
  wchar_t text[32];
  wsprintfW(text, L"%04u-%02u-%02uT%02u:%02u:%02uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
            t.wMinute, t.wSecond);
  Add(line, text);
}

// "error 2: The system cannot find the file specified."
void AddErrorText(Line& line, DWORD error) {
  wchar_t text[512] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, error, 0, text, 512, nullptr);
  while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' '))
    text[--length] = 0;
  Add(line, L"error ");
  AddNumber(line, error);
  if (length) {
    Add(line, L": ");
    Add(line, text);
  }
}

void WriteLine(const wchar_t* line, bool toConsole) {
  WriteToLog(line);
  if (toConsole) WriteToConsole(line);
}

// time, action, subject, outcome, detail and the system's error, separated by tabs (no path
// holds a tab).
void WriteEvent(const wchar_t* action, const wchar_t* subject, Outcome outcome,
                const wchar_t* detail, DWORD error) {
  if (outcome == Outcome::Failed) ++Failures;
  Line line = {};
  AddNow(line);
  for (const wchar_t* field : {action, subject ? subject : CurrentItem, OutcomeWord(outcome),
                               detail ? detail : L""}) {
    Add(line, L"\t");
    Add(line, field);
  }
  if (error) {
    Add(line, L"\t");
    AddErrorText(line, error);
  }
  Add(line, L"\r\n");
  WriteLine(line, ConsoleGetsEvents);
}

// DOMAIN\name of the process's account, and whether its token is elevated.
void AddAccount(Line& line) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    Add(line, L"?");
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
    Add(line, domain);
    Add(line, L"\\");
    Add(line, name);
  } else {
    Add(line, L"?");
  }
  TOKEN_ELEVATION elevation = {};
  if (GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size))
    Add(line, elevation.TokenIsElevated ? L" (elevated)" : L" (not elevated)");
  CloseHandle(token);
}

const wchar_t* ProcessKind() {
  if (sizeof(void*) == 8) return L"64-bit process";
  return DetectWow64() ? L"32-bit process on 64-bit Windows (WoW64)"
                       : L"32-bit process on 32-bit Windows";
}

void WriteHeader() {
  Line line = {};
  Add(line, L"# Ctlwarden " CTLWARDEN_VERSION_TEXT L" unattended run\r\n# Command line: ");
  Add(line, GetCommandLineW());
  Add(line, L"\r\n# Account: ");
  AddAccount(line);
  Add(line, L"\r\n# Process: ");
  Add(line, ProcessKind());
  Add(line, L"\r\n");
  WriteLine(line, ConsoleGetsEvents);
}

// The last line: "summary", then "exit=N" in the outcome column.
int Finish(int exitCode) {
  Line line = {};
  AddNow(line);
  Add(line, L"\tsummary\t\texit=");
  AddNumber(line, static_cast<unsigned long>(exitCode));
  Add(line, L"\t");
  AddNumber(line, static_cast<unsigned long>(Succeeded));
  Add(line, L" succeeded, ");
  AddNumber(line, static_cast<unsigned long>(FailedItems));
  Add(line, L" failed\r\n");
  WriteLine(line, ConsoleGetsEvents);
  CloseRunOutput();
  return exitCode;
}

// Interactive: a desktop someone may see. Deployment tools run as SYSTEM in session 0, whose
// window station is invisible, so they never get a box.
bool OnVisibleDesktop() {
  USEROBJECTFLAGS flags = {};
  HWINSTA station = GetProcessWindowStation();
  return station &&
         GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE);
}

bool MayShowBox(const CommandLine& line) {
  return !line.quiet && !HasConsoleOutput() && OnVisibleDesktop();
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

int RefuseCommandLine(const CommandLine& line) {
  Line fault = {};
  Add(fault, line.fault);
  if (line.faultArgument) {
    Add(fault, L": ");
    Add(fault, line.faultArgument);
  }
  LogEvent(L"command-line", L"", Outcome::Failed, fault);
  WriteLine(UsageText, ConsoleGetsEvents);
  if (MayShowBox(line)) {
    Line text = {};
    Add(text, L"命令行无效：");
    Add(text, fault);
    Add(text, L"\r\n\r\n");
    Add(text, UsageText);
    MessageBoxW(nullptr, text, L"Ctlwarden", MB_OK);
  }
  return Finish(ExitInvalidCommandLine);
}

// Only administrators and the system may open the mutex; it lives as long as a run holds it.
HANDLE AcquireRunMutex(DWORD* waitResult) {
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)",
                                                           SDDL_REVISION_1, &descriptor, nullptr))
    attributes.lpSecurityDescriptor = descriptor;
  HANDLE mutex = CreateMutexW(&attributes, FALSE, RunMutexName);
  if (descriptor) LocalFree(descriptor);
  if (!mutex) {
    *waitResult = WAIT_FAILED;
    return nullptr;
  }
  *waitResult = WaitForSingleObject(mutex, 0);
  if (*waitResult == WAIT_TIMEOUT) {
    LogEvent(L"wait", L"", Outcome::Info, L"another unattended run is in progress; waiting for it");
    *waitResult = WaitForSingleObject(mutex, RunMutexBound);
  }
  return mutex;
}

int RunSerialised(const CommandLine& line) {
  DWORD waited = WAIT_FAILED;
  HANDLE mutex = AcquireRunMutex(&waited);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    LogEvent(L"wait", L"", Outcome::Failed,
             L"another unattended run is still in progress; try again later",
             waited == WAIT_FAILED ? GetLastError() : 0);
    if (mutex) CloseHandle(mutex);
    return ExitAnotherRunInProgress;
  }
  int exitCode = line.mode == RunMode::Install
                     ? InstallFiles(line.items, line.itemCount)
                     : UninstallControls(line.items, line.itemCount, line.all);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  return exitCode;
}

}  // namespace

void SetCurrentItem(const wchar_t* item) {
  if (!item || !CopyText(CurrentItem, item)) CurrentItem[0] = 0;
}
int FailureCount() { return Failures; }
void CountItem(bool succeeded) { ++(succeeded ? Succeeded : FailedItems); }

int RunUnattended(const CommandLine& line) {
  // No system error box either, for this process and the commands it starts: a control that
  // does not load, a missing disk, a crash.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  DWORD error = 0;
  bool opened = OpenRunOutput(line.logPath, &error);
  if (line.mode == RunMode::Usage) return ShowUsage(line);
  ConsoleGetsEvents = line.mode != RunMode::List && line.mode != RunMode::Verify;
  SetEventWriter(WriteEvent);
  WriteHeader();
  if (!opened) {
    LogEvent(L"log", line.logPath, Outcome::Failed, L"the log file cannot be opened", error);
    return Finish(ExitLogUnwritable);
  }
  switch (line.mode) {
    case RunMode::Install:
    case RunMode::Uninstall:
      return Finish(RunSerialised(line));
    case RunMode::List:
      return Finish(ListControls(line.listFormat));
    case RunMode::Verify:
      return Finish(VerifyControls(line.items, line.itemCount));
    default:
      return RefuseCommandLine(line);
  }
}
