// /diagnose: for each control, every step of the chain a browser follows to load it, as blocks
// of lines or a JSON array on standard output, and one log line a check. Reads only.
#include <windows.h>

#include <cwchar>
#include <new>

#include "unattended/exit_codes.h"
#include "unattended/json_text.h"
#include "unattended/run_log.h"
#include "unattended/run_output.h"
#include "unattended/unattended_steps.h"
#include "platform/owned_handle.h"
#include "platform/text.h"
#include "core/diagnose/checks.h"
#include "core/register/file_kind.h"
#include "core/uninstall/inventory.h"
#include "core/uninstall/query.h"

namespace {

constexpr int ExitProblemFound = 1;
using Name = wchar_t[InventoryNameCapacity];

// The ProgIDs to diagnose, in order, each once.
struct Targets {
  Name* names = nullptr;
  int count = 0;
  int capacity = 0;
  bool complete = true;  // false when memory ran out
};

void Add(Targets& targets, const wchar_t* progId) {
  for (int i = 0; i < targets.count; ++i)
    if (lstrcmpiW(targets.names[i], progId) == 0) return;
  if (targets.count == targets.capacity) {
    int grown = targets.capacity ? targets.capacity * 2 : 16;
    SIZE_T bytes = sizeof(Name) * static_cast<SIZE_T>(grown);
    void* more = targets.names ? HeapReAlloc(GetProcessHeap(), 0, targets.names, bytes)
                               : HeapAlloc(GetProcessHeap(), 0, bytes);
    if (!more) {
      targets.complete = false;
      return;
    }
    targets.names = static_cast<Name*>(more);
    targets.capacity = grown;
  }
  if (CopyText(targets.names[targets.count], progId)) ++targets.count;
}

void AddListed(const wchar_t* progId, void* context) { Add(*static_cast<Targets*>(context), progId); }

// A control file given to /install: a path, or a name ending in .ocx or .dll; a ProgID holds
// neither '\' nor '/'.
bool IsFileItem(const wchar_t* item) {
  return wcschr(item, L'\\') || wcschr(item, L'/') || IsControl(item) || IsCabinet(item);
}

// Resolves one item into targets: 0, or the exit code of its fault (logged).
int Resolve(const wchar_t* item, const Targets& installed, Targets& targets, InstalledControl& control) {
  if (IsFileItem(item)) {
    if (IsCabinet(item)) {
      LogEvent(L"check", item, Outcome::Failed, L"/diagnose takes control files (.ocx, .dll), not cabinets");
      return ExitInvalidCommandLine;
    }
    int found = 0;
    for (int i = 0; i < installed.count; ++i) {
      ReadInstalledControl(installed.names[i], false, control);
      if (!control.file[0] || !SameFile(control.file, item)) continue;
      Add(targets, installed.names[i]);
      ++found;
    }
    if (found) return 0;
    LogEvent(L"diagnose", item, Outcome::Failed, L"not installed: no control is registered from this file");
    return ExitNotInstalled;
  }
  for (int i = 0; i < installed.count; ++i) {
    if (CompareStringOrdinal(installed.names[i], -1, item, -1, TRUE) != CSTR_EQUAL) continue;
    Add(targets, installed.names[i]);
    return 0;
  }
  // A name the query never lists is no question for this program, unless nothing of that
  // name is registered at all.
  ReadInstalledControl(item, false, control);
  if (control.state != ControlState::NoProgId) {
    LogEvent(L"check", item, Outcome::Failed, L"not a ProgID of the maker's controls");
    return ExitInvalidCommandLine;
  }
  LogEvent(L"diagnose", item, Outcome::Failed, L"not installed: there is no ProgID key");
  return ExitNotInstalled;
}

constexpr size_t PieceCapacity = 6 * (CheckDetailCapacity + InventoryFileCapacity) + 256;
struct Piece {
  wchar_t text[PieceCapacity];
  size_t used;
};

void Start(Piece& piece) {
  piece.used = 0;
  piece.text[0] = 0;
}

void Put(Piece& piece, const wchar_t* text) {
  for (size_t i = 0; text[i] && piece.used + 1 < PieceCapacity; ++i) piece.text[piece.used++] = text[i];
  piece.text[piece.used] = 0;
}

void Json(Piece& piece, const wchar_t* text) { PutJsonString(piece.text, PieceCapacity, piece.used, text); }

void WriteBlock(const ControlDiagnosis& diagnosis, Piece& piece) {
  const InstalledControl& control = diagnosis.control;
  Start(piece);
  Put(piece, control.progId);
  Put(piece, L"  ");
  Put(piece, control.clsid[0] ? control.clsid : L"(no CLSID)");
  Put(piece, L"  ");
  Put(piece, control.file[0] ? control.file : L"(no file)");
  Put(piece, L"\r\n");
  WriteToConsole(piece.text);
  for (int i = 0; i < CheckCount; ++i) {
    Start(piece);
    Put(piece, L"  ");
    Put(piece, CheckName(static_cast<Check>(i)));
    Put(piece, L": ");
    Put(piece, VerdictWord(diagnosis.checks[i].verdict));
    Put(piece, L": ");
    Put(piece, diagnosis.checks[i].detail);
    Put(piece, L"\r\n");
    WriteToConsole(piece.text);
  }
  WriteToConsole(L"\r\n");
}

void WriteObject(const ControlDiagnosis& diagnosis, bool first, Piece& piece) {
  const InstalledControl& control = diagnosis.control;
  Start(piece);
  Put(piece, first ? L"  {\"progId\": " : L",\r\n  {\"progId\": ");
  Json(piece, control.progId);
  Put(piece, L", \"clsid\": ");
  Json(piece, control.clsid);
  Put(piece, L", \"file\": ");
  Json(piece, control.file);
  Put(piece, L", \"checks\": [");
  WriteToConsole(piece.text);
  for (int i = 0; i < CheckCount; ++i) {
    Start(piece);
    Put(piece, i ? L",\r\n    {\"check\": " : L"\r\n    {\"check\": ");
    Json(piece, CheckName(static_cast<Check>(i)));
    Put(piece, L", \"verdict\": ");
    Json(piece, VerdictWord(diagnosis.checks[i].verdict));
    Put(piece, L", \"detail\": ");
    Json(piece, diagnosis.checks[i].detail);
    Put(piece, L"}");
    WriteToConsole(piece.text);
  }
  WriteToConsole(L"]}");
}

// One log line a check: "kill bit: problem: ...".
bool LogDiagnosis(const ControlDiagnosis& diagnosis, Piece& piece) {
  bool problem = false;
  for (int i = 0; i < CheckCount; ++i) {
    const CheckResult& check = diagnosis.checks[i];
    Start(piece);
    Put(piece, CheckName(static_cast<Check>(i)));
    Put(piece, L": ");
    Put(piece, VerdictWord(check.verdict));
    Put(piece, L": ");
    Put(piece, check.detail);
    problem = problem || check.verdict == Verdict::Problem;
    LogEvent(L"diagnose", diagnosis.control.progId,
             check.verdict == Verdict::Ok ? Outcome::Ok
             : check.verdict == Verdict::Problem ? Outcome::Failed : Outcome::Info,
             piece.text);
  }
  CountItem(!problem);
  return problem;
}

struct Work {
  Targets installed, targets;
  InstalledControl control;
  ControlDiagnosis diagnosis;
  Piece piece;
};

void Release(Targets& targets) {
  if (targets.names) HeapFree(GetProcessHeap(), 0, targets.names);
  targets = Targets();
}

}  // namespace

int DiagnoseControls(wchar_t* const* items, int count, bool json) {
  OwnedHeapBlock block(sizeof(Work));
  if (!block.data) {
    LogEvent(L"diagnose", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    return ExitFatalError;
  }
  Work& work = *new (block.data) Work();
  ForEachInstalledControl(AddListed, &work.installed);
  int fault = 0;
  if (count == 0) {
    for (int i = 0; i < work.installed.count; ++i) Add(work.targets, work.installed.names[i]);
  }
  for (int i = 0; i < count; ++i) {
    int exit = Resolve(items[i], work.installed, work.targets, work.control);
    if (exit == ExitInvalidCommandLine || (exit && !fault)) fault = exit;
  }
  bool complete = work.installed.complete && work.targets.complete;
  bool problem = false;
  if (fault != ExitInvalidCommandLine && complete) {
    if (json) WriteToConsole(L"[\r\n");
    for (int i = 0; i < work.targets.count; ++i) {
      SetCurrentItem(work.targets.names[i]);
      DiagnoseControl(work.targets.names[i], work.diagnosis);
      if (json) WriteObject(work.diagnosis, i == 0, work.piece); else WriteBlock(work.diagnosis, work.piece);
      problem = LogDiagnosis(work.diagnosis, work.piece) || problem;
    }
    if (json) WriteToConsole(work.targets.count ? L"\r\n]\r\n" : L"]\r\n");
  }
  Release(work.installed);
  Release(work.targets);
  if (!complete) {
    LogEvent(L"diagnose", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    return ExitFatalError;
  }
  if (fault) return fault;
  return problem ? ExitProblemFound : ExitSuccess;
}
