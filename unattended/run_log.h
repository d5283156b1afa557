// The record of one unattended run: the frame makes it, hands it to the step, and writes its
// summary from it; a step logs its events into it and counts its items in it. Every event is
// a line of the run's log (and of the console, when the run gives the console its events).
#pragma once
#include <windows.h>

#include "core/register/drop.h"
#include "unattended/log_line.h"

enum class Outcome { Ok, Failed, Info };

struct RunRecord {
  wchar_t currentItem[DroppedPathCapacity] = L"";  // subject of events that name none
  int failures = 0;       // events logged with Outcome::Failed
  int succeeded = 0;      // items (files, ProgIDs) that went well
  int failedItems = 0;    // items that did not
  bool consoleGetsEvents = true;  // /list, /verify and /diagnose give the console their output alone
  bool eventsAtOnce = false;      // a line written before the run's block (the wait for the lock)
};

// One event: what was done (a short word), to which file or ProgID (null: run.currentItem),
// how it came out, a detail text (or null) and the system's error code (0: none). Written as
// time and run, action, subject, outcome, detail and error text, separated by tabs.
void LogEvent(RunRecord& run, const wchar_t* action, const wchar_t* subject, Outcome outcome,
              const wchar_t* detail, DWORD error = 0);
// The file or ProgID the run works on; null or a text too long for the record clears it.
void SetCurrentItem(RunRecord& run, const wchar_t* item);
// Counts an item in the summary.
void CountItem(RunRecord& run, bool succeeded);

// Pieces of the frame's own lines (header, summary, refusals).
// The process id that marks each line of the run: "[pid 1234]".
void AddRunId(LogLine& line);
// The time in UTC and the run: "2026-12-07T23:59:59Z [pid 1234]".
void AddNow(LogLine& line);
// "error 2: The system cannot find the file specified."; the message's %1 names subject.
void AddErrorText(LogLine& line, DWORD error, const wchar_t* subject);
// Writes a finished line to the log, and to the console when the run gives it its events.
void WriteRunLine(const RunRecord& run, const wchar_t* line);
