#include "unattended/run_log.h"

#include <initializer_list>

#include "platform/text.h"
#include "unattended/run_output.h"

namespace {

const wchar_t* OutcomeWord(Outcome outcome) {
  switch (outcome) {
    case Outcome::Ok: return L"ok";
    case Outcome::Failed: return L"failed";
    default: return L"info";
  }
}

}  // namespace

void AddRunId(LogLine& line) {
  AddText(line, L"[pid ");
  AddNumber(line, GetCurrentProcessId());
  AddText(line, L"]");
}

void AddNow(LogLine& line) {
  SYSTEMTIME t;
  GetSystemTime(&t);
  wchar_t text[32];
  wsprintfW(text, L"%04u-%02u-%02uT%02u:%02u:%02uZ ", t.wYear, t.wMonth, t.wDay, t.wHour,
            t.wMinute, t.wSecond);
  AddText(line, text);
  AddRunId(line);
}

// The message's first insert (%1, as in "%1 is not a valid Win32 application.") names the
// line's subject; any other stays as it is.
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

void WriteRunLine(const RunRecord& run, const wchar_t* line) {
  if (run.eventsAtOnce) {
    WriteToLogNow(line);
  } else {
    WriteToLog(line);
  }
  if (run.consoleGetsEvents) WriteToConsole(line);
}

// A tab or line break inside a field is escaped, so it cannot make a field or a line.
void LogEvent(RunRecord& run, const wchar_t* action, const wchar_t* subject, Outcome outcome,
              const wchar_t* detail, DWORD error) {
  if (outcome == Outcome::Failed) ++run.failures;
  LogLine line;
  AddNow(line);
  if (!subject) subject = run.currentItem;
  for (const wchar_t* field : {action, subject, OutcomeWord(outcome), detail ? detail : L""}) {
    AddText(line, L"\t");
    AddEscaped(line, field);
  }
  if (error) {
    AddText(line, L"\t");
    AddErrorText(line, error, subject);
  }
  WriteRunLine(run, EndLine(line));
}

void SetCurrentItem(RunRecord& run, const wchar_t* item) {
  if (!item || !CopyText(run.currentItem, item)) run.currentItem[0] = 0;
}

void CountItem(RunRecord& run, bool succeeded) { ++(succeeded ? run.succeeded : run.failedItems); }
