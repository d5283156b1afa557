// The libraries a Windows image imports, read from its bytes: the import table and the
// delay-load table. The file is untrusted: every offset and address is checked against the
// file's size and its section table, every count is bounded, and nothing is loaded or run.
#pragma once
#include <windows.h>

#include <cstddef>

constexpr size_t ImportNameCapacity = 256;  // a DLL name as the loader takes it: 255 bytes
constexpr int ImportBound = 128;            // libraries read from one image
constexpr DWORD ImageSizeBound = 64u << 20; // a larger file is not read

enum class ImportRead {
  Ok,          // every table read whole
  Unreadable,  // the file cannot be opened or read, or is larger than ImageSizeBound
  NotImage,    // no PE image (no MZ and PE headers, or an optional header of no known kind)
  Damaged,     // a table points outside the file or its sections, or does not end in bounds
};

struct ImportedLibrary {
  char name[ImportNameCapacity];  // as stored (ANSI), not yet in one letter case
  bool delayed;                   // from the delay-load table
};

struct ImageImports {
  WORD machine;  // IMAGE_FILE_MACHINE_*, 0 when not read
  int count;
  ImportedLibrary libraries[ImportBound];
};

// Reads the tables from an image already in memory (bytes, size); the libraries read before
// a fault stay in out.
ImportRead ParseImageImports(const BYTE* bytes, size_t size, ImageImports& out);

// Reads the file at path (shared for reading, never loaded) and parses it.
ImportRead ReadImageImports(const wchar_t* path, ImageImports& out);
