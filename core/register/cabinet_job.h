// One cabinet at work, from its unpacking to the last registration of its controls: the held
// root and folder, the cabinet interface's error record, the entry being written and the
// progress sink. The job is the copy's user value (pv) for the notification handler, and the
// file callbacks, which the interface calls without it, find it through CurrentCabinetJob for
// the length of the copy.
#pragma once
#include <windows.h>
#include <fdi.h>

#include "core/register/cabinet.h"
#include "core/register/unpack_folder.h"

// The longest destination text of an entry, in characters, and its name in the folder.
constexpr size_t EntryPathCapacity = 1000;

// The entry whose file is open for writing: the interface writes it between fdintCOPY_FILE and
// fdintCLOSE_FILE_INFO. When the copy stops in between (damaged data, a missing next part, a
// full drive), the file is cut short or empty. The interface may then close the file itself,
// or (Wine's does) still send fdintCLOSE_FILE_INFO before it fails: only the count of bytes
// written tells such a file from a whole one.
struct EntryInWriting {
  int handle = -1;      // the runtime's handle; -1: none
  bool closed = false;  // by the interface, when it gave up on the entry
  unsigned long size = 0, written = 0;
  DWORD writeError = 0;  // the system's code of a write or close that failed
  wchar_t path[EntryPathCapacity] = L"";  // as reported
  wchar_t name[EntryPathCapacity] = L"";  // in the folder
};

struct CabinetJob {
  CabinetJob() = default;
  CabinetJob(const CabinetJob&) = delete;
  CabinetJob& operator=(const CabinetJob&) = delete;

  UnpackFolder folder;
  const ProgressSink* sink = nullptr;
  ERF error = {};  // filled in by the interface
  EntryInWriting writing;
  int entries = 0;           // entries the copy reached
  bool stopped = false;      // the sink asked to stop
  DWORD writeError = 0;      // the first entry not written whole: the system's code
};

// Tells the sink; false (and the job stopped) when it asks to stop.
bool Tell(CabinetJob& job, const Progress& progress);

// The job whose copy runs on this thread, or null.
CabinetJob* CurrentCabinetJob();
// Sets it for the length of a copy.
struct CurrentCabinetJobScope {
  explicit CurrentCabinetJobScope(CabinetJob& job);
  ~CurrentCabinetJobScope();
  CurrentCabinetJobScope(const CurrentCabinetJobScope&) = delete;
  CurrentCabinetJobScope& operator=(const CurrentCabinetJobScope&) = delete;
};
