// What a cabinet holds, read without unpacking it: each entry's name, size and a hash of its
// bytes, so that a folder unpacked from it can be recognised later (/uninstall of a cabinet).
#pragma once
#include <windows.h>

#include <cstddef>

#include "platform/growing_array.h"

constexpr size_t CabinetEntryNameCapacity = 260;

struct CabinetEntry {
  wchar_t name[CabinetEntryNameCapacity];  // as the extraction names the file (ANSI code page)
  unsigned long size;
  unsigned long long hash;  // FNV-1a over the entry's bytes
};

// More entries than a cabinet folder may hold (65,535); a listing that passes it is incomplete.
constexpr size_t CabinetEntriesBound = 1 << 17;

struct CabinetContents {
  GrowingArray<CabinetEntry> entries{CabinetEntriesBound};  // in the cabinet's order
  bool complete = false;  // every entry read; false: no folder is taken for this cabinet's
  // Every entry name is a plain file name that the unpack accepts (IsSafeEntryName). A name
  // with a separator, a drive, "..", or a device such as COM1 is never opened below a folder,
  // so such a cabinet is taken as unpacked nowhere.
  bool flat = true;
};

// Reads the cabinet at ansiPath (its full path in the ANSI code page) through the system's
// cabinet.dll, replacing what contents held. False when it cannot be read whole.
bool ReadCabinetContents(const char* ansiPath, CabinetContents& contents);

// True when folder ("...\\", with its separator) holds every entry of the cabinet with the
// same name, size and bytes; of two entries with one name, the one written last counts, and
// files beside them do not matter. False for a cabinet that was not read whole or has an
// entry name that the unpack refuses or that is not a plain file name.
bool FolderHoldsCabinet(const wchar_t* folder, const CabinetContents& contents);
