// The callbacks that the cabinet decompression interface calls while a cabinet is unpacked.
#pragma once
#include <windows.h>
#include <fdi.h>

#include "core/register/entry_name.h"

// Memory and file services on the C runtime's integer handles.
FNALLOC(CabAlloc);
FNFREE(CabFree);
FNOPEN(CabOpen);
FNREAD(CabRead);
FNWRITE(CabWrite);
FNCLOSE(CabClose);
FNSEEK(CabSeek);

// Creates each entry's file in the job's unpack folder and gives it its time and attributes.
// The copy's user pointer (pv) is the CabinetJob.
FNFDINOTIFY(CabinetNotify);
struct CabinetJob;

// Called by CabWrite and CabClose for the job of this thread: what the interface writes into
// an entry's file, and the close of the file of an entry it stops writing.
void NoteFileWritten(CabinetJob& job, int handle, UINT asked, UINT bytes);
void NoteFileClosed(CabinetJob& job, int handle);
// After FDICopy: removes the file of an entry that the copy stopped in the middle of (its
// content is cut short or empty); files unpacked whole stay.
void DiscardUnfinishedEntry(CabinetJob& job);
