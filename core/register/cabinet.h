#pragma once
#include <windows.h>

#include <cstddef>

#include "core/register/unpack_folder.h"
#include "core/register/unpack_root_path.h"

// The dropped path in the ANSI code page. A dropped path has up to 999 characters; in a
// double-byte code page such as 936 each takes at most two bytes, and under the UTF-8 code
// page (65001) at most three (a character outside the BMP is two wide characters and four
// bytes). 3000 bytes hold any of them, where 1000 would cut a long Chinese path.
constexpr size_t AnsiPathCapacity = 3000;
static_assert(AnsiPathCapacity >= 3 * 999 + 1, "a dropped path in UTF-8, terminated");
// The cabinet's file name is whatever follows the last backslash of that path, so its buffer
// holds the whole path rather than 50 bytes: the file is opened by its full name, never by a
// cut one that would name another file.
constexpr size_t CabinetNameCapacity = AnsiPathCapacity;

// Why no unpack folder could be had, as the window and the log tell it.
extern const wchar_t UnpackRootRefusal[];      // the root is not to be trusted
extern const wchar_t UnpackRootFailure[];      // the root could not be made or opened
extern const wchar_t UnpackNamesTaken[];       // every folder name tried is taken
extern const wchar_t UnpackFolderFailure[];    // the folder could not be made

// The unpack directory for a time in seconds since 1970: UnpackRoot, the low 32 bits of the
// seconds as a signed decimal number, and "/". False (out emptied) when cap is too small.
bool FormatUnpackDirectory(long long seconds, char* out, size_t cap);

// Splits a cabinet's ANSI path at its last backslash: the name behind it goes to name
// (capacity nameCap), and path keeps everything up to and including that backslash.
// Without a backslash the name is empty and the path stays whole. Trail bytes of
// double-byte characters are never taken for a backslash.
void SplitCabinetPath(char* path, char* name, size_t nameCap);

// The events of registering a cabinet, in order: the folder made, each entry once (written
// whole, refused by the name check, failed, or not written whole for want of room or through
// an error of the drive), the end of the unpacking, then for each control found a start and
// its result.
enum class EntryStatus { Written, Refused, Failed, WriteFailed };
enum class ProgressEvent { FolderMade, EntryUnpacked, UnpackEnded, ControlStarting, ControlDone };
struct RegistrationResult;
struct CabinetResult;
struct Progress {
  ProgressEvent event;
  const wchar_t* path;  // the folder, the entry's destination or the control
  EntryStatus entry;    // EntryUnpacked
  DWORD error;          // EntryUnpacked: the system's code of a failed entry
  const RegistrationResult* result;  // ControlDone
  const CabinetResult* unpacked;     // UnpackEnded: what the unpacking came to
};
// Called on the thread that does the work. report returns whether to go on: false ends the
// cabinet before its next entry, or before its next control.
struct ProgressSink {
  bool (*report)(void* context, const Progress& progress);
  void* context;
};
// True (go on) without a sink.
bool Report(const ProgressSink* sink, const Progress& progress);

enum class UnpackStatus {
  Unpacked,     // the cabinet was read (copiedWhole tells whether to its end)
  RootUnsafe,   // the unpack root is not to be trusted; nothing done
  RootFailed,   // the unpack root could not be made or opened (error)
  NamesTaken,   // every folder name tried exists already; nothing done
  FolderFailed, // no folder could be made (error)
  NoInterface,  // the cabinet interface could not be had or started
  Failed,       // the interface failed, and could not even be closed
};

struct CabinetResult {
  UnpackStatus unpack;
  bool copiedWhole;
  // The copy failed on the cabinet's own headers before it reached any entry: the file is not
  // a cabinet, of a version the interface does not know, or damaged from the start.
  bool unopened;
  DWORD error;
  int registered, helpers, failed;  // controls, by what became of them
  // An entry could not be written whole (disk full, a quota, an error of the drive): the
  // cabinet failed, whatever was registered. writeError is the system's code.
  bool writeFailed;
  DWORD writeError;
  bool stopped;  // the sink asked to stop: what was not reached was not done
  wchar_t folder[UnpackDirCapacity];  // the unpack folder, "C:/VornActiveX/<n>/", or empty
};

// The interface takes a cabinet's folder and its file name each below 256 bytes
// (CB_MAX_CAB_PATH, CB_MAX_CABINET_NAME), and Wine's joins the two below MAX_PATH; a longer
// path fails as a file that is not found. A full path of at most 255 bytes in the ANSI code
// page meets both.
constexpr size_t CabinetPathLimit = 255;

// A file offered as a cabinet, judged by its header alone before anything is unpacked.
enum class CabinetCheck { Cabinet, TooLong, NotACabinet, Unreadable, NoInterface };
CabinetCheck CheckCabinet(const char* ansiPath);

// Unpacks the cabinet at ansiPath (its path in the ANSI code page, in a writable buffer of
// AnsiPathCapacity bytes, which is cut to its directory part) into a new folder, then registers
// every control in it, one at a time, each waited for. The root and the folder stay held from
// before the first entry until the last registration has ended. A copy that stopped part way
// registers what was unpacked whole before it.
CabinetResult RegisterCabinet(char* ansiPath, const ProgressSink* sink);
