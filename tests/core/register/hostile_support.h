// What the hostile-input tests share: a watchdog that ends the process when one case hangs,
// a listing of drive C: to see what a drop wrote, a full export of HKEY_CLASSES_ROOT, and a
// cabinet writer that stores any bytes a test asks for.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

// Every case runs under a watchdog armed for CaseBound seconds; a loop of many drops re-arms
// it for each one, naming it, so that a hang is reported with the input that caused it.
constexpr unsigned CaseBound = 90;
void ArmWatchdog(const std::string& what, unsigned seconds);

// The work directory of these tests (cabinets and dropped files are made there).
extern const wchar_t HostileWork[];  // L"C:\\hostile\\"

// Files and directories of drive C:, each with its size, last-write time and attributes.
// Left out: HostileWork (this suite's own files), the temporary directories (the cabinet
// writer's scratch files), the user-shell folders that Wine links to the Unix home directory
// (outside the prefix), the entry of the unpack root itself (made by the first drop; its
// content is listed), and the numbered unpack directories created at or after 'since'.
using DriveListing = std::map<std::wstring, std::wstring>;
DriveListing ListDrive(long long since);
// Lines describing every entry added, removed or changed between two listings.
std::vector<std::wstring> DriveChanges(const DriveListing& before, const DriveListing& after);

// Every key below HKEY_CLASSES_ROOT with its default value, one line each, sorted.
std::vector<std::wstring> ExportClassesRoot();
// Lines added or removed between two exports, leaving out the keys that testctl.dll writes
// (Vorn.Test.*, its class, interface and type-library keys).
std::vector<std::wstring> ClassesRootChanges(const std::vector<std::wstring>& before,
                                             const std::vector<std::wstring>& after);

// One file of a cabinet written byte by byte: one uncompressed folder, data blocks of at
// most 32 KB without checksums.
struct RawEntry {
  std::string name;  // stored exactly, in any length and bytes
  std::string content;
  USHORT attribs = 0x20;
  USHORT date = 0x5B86;
  USHORT time = 0x6A8F;
};
std::string BuildRawCabinet(const std::vector<RawEntry>& entries);

// The offsets at which the header, folder, file and data records of a cabinet (without
// reserved areas) begin and end, and the fields inside them, found by reading it.
struct CabinetLayout {
  size_t cFolders = 0, cFiles = 0, coffFiles = 0, coffCabStart = 0, cCFData = 0;
  std::vector<size_t> fileRecords;  // start of each CFFILE record
  std::vector<size_t> dataBlocks;   // start of each CFDATA block
  std::vector<size_t> boundaries;   // every field and record boundary, sorted, unique
};
CabinetLayout ReadLayout(const std::string& cabinet);

// Deletes every file directly in a directory (read-only ones too).
void EmptyDirectory(const std::wstring& directory);
// Creates every missing directory on the way to path (a directory path, '\' separated).
bool CreateDirectories(const std::wstring& path);
// Seconds since 1970 as the program numbers its unpack directories.
long long NowSeconds();
