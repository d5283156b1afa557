// What is installed of the maker's controls: for each ProgID the query finds, its class, the
// registry view that holds the class's InprocServer32, the file it names, whether that file is
// there and its version. Read from the machine's classes (HKEY_LOCAL_MACHINE\Software\Classes),
// which only administrators may write.
#pragma once
#include <windows.h>

#include <cstddef>

constexpr size_t InventoryNameCapacity = 256;   // a key name: at most 255 characters
constexpr size_t InventoryFileCapacity = 1000;  // a path of up to 999 characters
constexpr size_t InventoryVersionCapacity = 24; // "65535.65535.65535.65535"

// How far the registration goes; each state names the first part that is missing.
enum class ControlState {
  Complete,      // ProgID, CLSID, class with InprocServer32, and the file is there
  NoProgId,      // no ProgID key
  NoClsid,       // no CLSID value under the ProgID (or none that names one key)
  NoServer,      // no class key with an InprocServer32 path in the view(s) looked at
  FileTooLong,   // the InprocServer32 path (expanded) does not fit; never acted on cut
  FileMissing,   // the file that InprocServer32 names is not there
};

struct InstalledControl {
  wchar_t progId[InventoryNameCapacity];
  wchar_t clsid[InventoryNameCapacity];  // as stored, or empty
  int view;                              // 32 or 64: the view whose class key names the file; 0: none
  wchar_t file[InventoryFileCapacity];   // InprocServer32's default value, expanded, or empty
  bool present;                          // the file is there
  wchar_t version[InventoryVersionCapacity];  // "1.2.3.4" from its version resource, or empty
  ControlState state;
};

// The view this process reads and writes by default: 32 for a 32-bit process (on either
// Windows), 64 for a 64-bit one.
int OwnRegistryView();

// Reads one control. anyView: also look in the other view of 64-bit Windows when the own view
// has no class key with InprocServer32 (the inventory); false: the own view only (what this
// program registers and removes).
void ReadInstalledControl(const wchar_t* progId, bool anyView, InstalledControl& control);

// Calls found once for each of the maker's ProgIDs that the query finds, in its order, with
// what ReadInstalledControl (any view) read for it; returns their number.
int ForEachInventoryEntry(void (*found)(const InstalledControl& control, void* context),
                          void* context);

// The file version from the version resource of the file at path, "a.b.c.d"; false (version
// emptied) when it has none or version.dll cannot be had from the system directory.
bool ReadFileVersion(const wchar_t* path, wchar_t (&version)[InventoryVersionCapacity]);

// True when the two paths name the same file: the same full path (letter case and '/' or '\'
// aside), or, when both are there, the same file on the same volume.
bool SameFile(const wchar_t* a, const wchar_t* b);
