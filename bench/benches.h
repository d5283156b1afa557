// The benchmarks of the driver; each prints its RESULT and NOTE lines and returns 0 when
// the program's functions did what they should on the generated data.
#pragma once
#include <windows.h>
#include <shellapi.h>

// QueryInstalledControls over HKEY_CLASSES_ROOT filled to `keys` direct subkeys (200 of them
// the maker's), against a bare RegEnumKeyExW loop and against "reg query HKCR".
int RunQueryBench(DWORD keys, int runs, int toolRuns);

// HandleDroppedFile on a cabinet, against FDI extraction with empty callbacks and against
// Wine's expand.exe and extrac32.exe. analyse: one more drop of each kind that shows where
// the time goes (messages of StatusBox, the box hidden, no box, file times).
int RunDropBench(const wchar_t* cabinet, const char* section, int runs, int toolRuns,
                 unsigned expectedFiles, bool analyse);

// HandleDroppedFile on a cabinet of controls, each registered and waited for, against
// the system's regsvr32 /s run on the same files one after another.
int RunRegisterBench(const wchar_t* cabinet, int runs, unsigned expectedControls);

// RemoveControl for 50 listed controls over Interface (20,000 subkeys) and TypeLib (3,000),
// against the enumerations and value reads that every removal must make.
int RunRemoveBench(int runs);

// Process start to the first paint of the main window, against a minimal window program;
// the time until the program first waits for input and the peak working set beside it.
int RunStartupBench(const wchar_t* product, const wchar_t* minimal, int runs);

// The cost of appending one line to a multi-line EDIT control, for several of its styles.
int RunEditProbe(int lines);

// Extracts every file of the cabinet into directory (ending in a backslash) through FDI with
// callbacks that do nothing but write the files; returns the number of files, -1 on failure.
// For the analysis, each file can also be given the cabinet's time and attributes: after
// opening it again by name (as the program does), or through the handle it was written with.
enum class FloorTimes { None, Reopened, WrittenHandle };
int FloorExtract(const wchar_t* cabinet, const wchar_t* directory,
                 FloorTimes giveTimes = FloorTimes::None);

// A drop handle as the shell makes it for the one path.
HDROP MakeDrop(const wchar_t* path);

// Deletes a directory with everything in it (read-only files too); a missing one is fine.
void RemoveDirectoryTree(const wchar_t* directory);
// Number of plain files directly in the directory (path ending in a slash or backslash).
unsigned CountFiles(const wchar_t* directory);
// The files of the unpack folders under C:\VornActiveX.
unsigned CountUnpackedFiles();
// The last-write time of the first file the directory lists (0 when there is none).
ULONGLONG FirstFileWriteTime(const wchar_t* directory);
