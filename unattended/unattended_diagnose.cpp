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
#include "platform/unique.h"
#include "platform/text.h"
#include "core/diagnose/checks.h"
#include "core/register/file_kind.h"
#include "core/uninstall/inventory.h"
#include "core/uninstall/progid_list.h"

namespace {

constexpr int ExitProblemFound = 1;

// The ProgIDs to diagnose, in order, each once.
void Add(ProgIdList& targets, const wchar_t* progId) {
  if (!ListsProgId(targets, progId)) AppendProgId(targets, progId);
}

// A control file given to /install: a path, or a name ending in .ocx or .dll; a ProgID holds
// neither '\' nor '/'.
bool IsFileItem(const wchar_t* item) {
  return wcschr(item, L'\\') || wcschr(item, L'/') || IsControl(item) || IsCabinet(item);
}

// Resolves one item into targets: 0, or the exit code of its fault (logged).
int Resolve(RunRecord& run, const wchar_t* item, const ProgIdList& installed, ProgIdList& targets,
            InstalledControl& control) {
  if (IsFileItem(item)) {
    if (IsCabinet(item)) {
      LogEvent(run, L"check", item, Outcome::Failed, L"/diagnose takes control files (.ocx, .dll), not cabinets");
      return ExitInvalidCommandLine;
    }
    int found = 0;
    for (size_t i = 0; i < installed.names.Size(); ++i) {
      ReadInstalledControl(installed.names[i].text, false, control);
      if (!control.file[0] || !SameFile(control.file, item)) continue;
      Add(targets, installed.names[i].text);
      ++found;
    }
    if (found) return 0;
    LogEvent(run, L"diagnose", item, Outcome::Failed, L"not installed: no control is registered from this file");
    return ExitNotInstalled;
  }
  for (size_t i = 0; i < installed.names.Size(); ++i) {
    if (CompareStringOrdinal(installed.names[i].text, -1, item, -1, TRUE) != CSTR_EQUAL) continue;
    Add(targets, installed.names[i].text);
    return 0;
  }
  // A name the query never lists is no question for this program, unless nothing of that
  // name is registered at all.
  ReadInstalledControl(item, false, control);
  if (control.state != ControlState::NoProgId) {
    LogEvent(run, L"check", item, Outcome::Failed, L"not a ProgID of the maker's controls");
    return ExitInvalidCommandLine;
  }
  LogEvent(run, L"diagnose", item, Outcome::Failed, L"not installed: there is no ProgID key");
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
bool LogDiagnosis(RunRecord& run, const ControlDiagnosis& diagnosis, Piece& piece) {
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
    LogEvent(run, L"diagnose", diagnosis.control.progId,
             check.verdict == Verdict::Ok ? Outcome::Ok
             : check.verdict == Verdict::Problem ? Outcome::Failed : Outcome::Info,
             piece.text);
  }
  CountItem(run, !problem);
  return problem;
}

// What one control's diagnosis works in: too large for the stack.
struct Work {
  InstalledControl control;
  ControlDiagnosis diagnosis;
  Piece piece;
};

// Diagnoses each target: blocks or a JSON array on standard output, a log line a check. True
// when a check found a problem.
bool DiagnoseTargets(RunRecord& run, const ProgIdList& targets, bool json, Work& work) {
  bool problem = false;
  if (json) WriteToConsole(L"[\r\n");
  for (size_t i = 0; i < targets.names.Size(); ++i) {
    const wchar_t* progId = targets.names[i].text;
    SetCurrentItem(run, progId);
    DiagnoseControl(progId, work.diagnosis);
    if (json) WriteObject(work.diagnosis, i == 0, work.piece); else WriteBlock(work.diagnosis, work.piece);
    problem = LogDiagnosis(run, work.diagnosis, work.piece) || problem;
  }
  if (json) WriteToConsole(targets.names.Size() ? L"\r\n]\r\n" : L"]\r\n");
  return problem;
}

}  // namespace

int DiagnoseControls(RunRecord& run, wchar_t* const* items, int count, bool json) {
  UniqueHeap<Work> block = HeapAllocate<Work>(1, false);
  if (!block) {
    LogEvent(run, L"diagnose", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    return ExitFatalError;
  }
  Work& work = *new (block.get()) Work();
  ProgIdList installed, targets;
  CollectInstalledControls(installed);
  int fault = 0;
  if (count == 0) {
    for (size_t i = 0; i < installed.names.Size(); ++i) Add(targets, installed.names[i].text);
  }
  for (int i = 0; i < count; ++i) {
    int exit = Resolve(run, items[i], installed, targets, work.control);
    if (exit == ExitInvalidCommandLine || (exit && !fault)) fault = exit;
  }
  bool complete = installed.complete && targets.complete;
  bool problem = false;
  if (fault != ExitInvalidCommandLine && complete) problem = DiagnoseTargets(run, targets, json, work);
  if (!complete) {
    LogEvent(run, L"diagnose", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    return ExitFatalError;
  }
  if (fault) return fault;
  return problem ? ExitProblemFound : ExitSuccess;
}
