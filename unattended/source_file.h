// A file named on the command line (/install, and /uninstall FILE), judged before anything is
// done: its full path (regsvr32 runs in the system directory), there, readable, a control or a
// cabinet by its ending in any case, and for a cabinet expressible in the ANSI code page.
#pragma once
#include "core/register/drop.h"
#include "unattended/run_log.h"

struct SourceFile {
  wchar_t path[DroppedPathCapacity];
  bool cabinet;
};

// 0, or the exit code of the fault, which is logged as a "check" line.
int CheckSourceFile(RunRecord& run, const wchar_t* item, SourceFile& source);
