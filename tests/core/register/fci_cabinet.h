// Cabinets made at run time with the system's cabinet compression interface, which stores any
// entry name, date, time and attribute bits that a test asks for.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct CabEntry {
  std::string name;     // stored exactly, in the ANSI code page
  std::string content;
  USHORT date = 0x5B86;  // 2025-12-06
  USHORT time = 0x6A8F;  // 13:20:30
  USHORT attribs = 0x20;
};

// Writes the cabinet to path (ANSI); false when the interface refused.
bool WriteCabinet(const std::string& path, const std::vector<CabEntry>& entries);

// Writes a split set into directory (ANSI, ending in a backslash): parts of at most partSize
// bytes named prefix1.cab, prefix2.cab, ..., each naming the next. False when refused.
bool WriteSplitCabinet(const std::string& directory, const std::string& prefix,
                       const std::vector<CabEntry>& entries, unsigned long partSize);
