// The callbacks that the cabinet decompression interface calls while a cabinet is unpacked.
#pragma once
#include <windows.h>
#include <fdi.h>

// The window that shows the extraction's progress; set when an extraction starts.
extern HWND CabinetStatusWindow;

// Memory and file services on the C runtime's integer handles.
FNALLOC(CabAlloc);
FNFREE(CabFree);
FNOPEN(CabOpen);
FNREAD(CabRead);
FNWRITE(CabWrite);
FNCLOSE(CabClose);
FNSEEK(CabSeek);

// Creates each entry's file in the unpack directory and gives it its time and attributes.
FNFDINOTIFY(CabinetNotify);

// True when an entry name, as the file system will read it, stays inside the unpack
// directory and names no device: no "..", no leading separator, no drive or ':' stream,
// no CON, PRN, AUX, NUL, COM1-9 or LPT1-9 (with or without extension).
bool IsSafeEntryName(const wchar_t* name);
