// What a cabinet holds, read without unpacking it: each entry's name, size and a hash of its
// bytes, so that a folder unpacked from it can be recognised later (/uninstall of a cabinet).
#pragma once
#include <windows.h>

#include <cstddef>

constexpr size_t CabinetEntryNameCapacity = 260;

struct CabinetEntry {
  wchar_t name[CabinetEntryNameCapacity];  // as the extraction names the file (ANSI code page)
  unsigned long size;
  unsigned long long hash;  // FNV-1a over the entry's bytes
};

struct CabinetContents {
  CabinetEntry* entries = nullptr;  // on the process heap
  int count = 0;
  int capacity = 0;
  bool complete = false;  // every entry read; false: no folder is taken for this cabinet's
  // Every entry name is a plain file name. The extraction puts each entry directly into its
  // folder; a name with a separator, a drive or "..", would make a folder's files be looked
  // for elsewhere, so such a cabinet is taken as unpacked nowhere.
  bool flat = true;
};

// Reads the cabinet at ansiPath (its full path in the ANSI code page) through the system's
// cabinet.dll. False when it cannot be read whole.
bool ReadCabinetContents(const char* ansiPath, CabinetContents& contents);
void ReleaseCabinetContents(CabinetContents& contents);

// True when folder ("...\\", with its separator) holds exactly the cabinet's files: one file for
// each entry with its name, size and bytes, and no other file. False for a cabinet that was not
// read whole or has an entry name that is not flat.
bool FolderHoldsCabinet(const wchar_t* folder, const CabinetContents& contents);
