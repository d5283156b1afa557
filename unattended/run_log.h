// The events of an unattended run. The program's code reports what it did here; a deployment
// run writes each event as a line of its log, and in the window's runs nothing is written: the
// window reports as it always has.
#pragma once
#include <windows.h>

enum class Outcome { Ok, Failed, Info };

// One event: what was done (a short word), to which file or ProgID (null: the item the run is
// working on), how it came out, a detail text (or null) and the system's error code (0: none).
using EventWriter = void (*)(const wchar_t* action, const wchar_t* subject, Outcome outcome,
                             const wchar_t* detail, DWORD error);

// Set once by an unattended run before it does anything; null in the window's runs.
void SetEventWriter(EventWriter writer);
void LogEvent(const wchar_t* action, const wchar_t* subject, Outcome outcome,
              const wchar_t* detail, DWORD error = 0);
