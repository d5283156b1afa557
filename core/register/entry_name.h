// The one rule for the names of cabinet entries, shared by the unpack and the listing of a
// cabinet's contents, so that the listing never opens a name the unpack would refuse.
#pragma once

// True when an entry name, as the file system will read it, stays inside the unpack
// directory and names no device: no "..", no leading separator, no drive or ':' stream,
// no CON, PRN, AUX, NUL, COM1-9 or LPT1-9 (with or without extension).
bool IsSafeEntryName(const wchar_t* name);
