// The notification handler of the cabinet interface: every entry of the cabinet is written
// into the job's unpack folder under the name that the cabinet stores, listed in the report,
// and then given the cabinet's date, time and attributes. Each entry is told to the job's
// ProgressSink once: when its file is whole, refused, or failed. Entries are created relative
// to the held folder's handle, never by a path built from names.
#include <fcntl.h>
#include <io.h>
#include <winternl.h>

#include "platform/relative_open.h"
#include "platform/text.h"
#include "core/register/cabinet.h"
#include "core/register/cabinet_callbacks.h"
#include "core/register/cabinet_job.h"

namespace {
constexpr size_t PathCapacity = EntryPathCapacity;
// The longest destination path that is written, in bytes of ANSI text.
constexpr size_t LongestDestination = 511;

struct Destination {
  char ansi[PathCapacity];
  wchar_t wide[PathCapacity];
  wchar_t name[PathCapacity];  // the entry's name, wide
  bool usable;  // fits, decodes, and stays inside the unpack directory
};

bool IsWriting(const CabinetJob& job, int handle) {
  return handle != -1 && handle == job.writing.handle;
}

bool TellEntry(CabinetJob& job, const wchar_t* path, EntryStatus status, DWORD error = 0) {
  ++job.entries;
  return Tell(job, {ProgressEvent::EntryUnpacked, path, status, error, nullptr, nullptr});
}

bool MarkForDeletion(HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

// The cut file goes through the handle it was written with; one that the interface closed
// already was marked then (NoteFileClosed).
void DeleteCutFile(CabinetJob& job) {
  EntryInWriting& entry = job.writing;
  if (!entry.closed) {
    MarkForDeletion(reinterpret_cast<HANDLE>(_get_osfhandle(entry.handle)));
    _close(entry.handle);
  }
  entry.handle = -1;
  if (entry.writeError) {
    if (!job.writeError) job.writeError = entry.writeError;
    TellEntry(job, entry.path, EntryStatus::WriteFailed, entry.writeError);
  } else {
    TellEntry(job, entry.path, EntryStatus::Failed, ERROR_HANDLE_EOF);
  }
}

// The destination is the unpack directory followed directly by the entry's name, without a
// separator or conversion of its own. An unusable one is still named in the report.
void BuildDestination(const CabinetJob& job, const char* name, Destination& out) {
  out.ansi[0] = 0;
  out.wide[0] = 0;
  out.name[0] = 0;
  bool joined = CopyText(out.ansi, job.folder.ansi) && AppendText(out.ansi, name);
  if (!joined) CopyText(out.ansi, job.folder.ansi);  // the report names the directory only
  MultiByteToWideChar(CP_ACP, 0, out.ansi, -1, out.wide, static_cast<int>(PathCapacity));

  // Judge the name as the file system will read it, in wide text. Bytes that the code page
  // cannot decode would become a stand-in character, and two different names one file.
  bool converted = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, out.name,
                                       static_cast<int>(PathCapacity)) != 0;
  out.usable = joined && TextLength(out.ansi) <= LongestDestination && converted &&
               IsSafeEntryName(out.name);
}

// The name as the Win32 file functions would read it below the folder: '/' is a separator,
// a leading ".\" means the folder itself, and dots and blanks at the end are dropped. False
// when what is left names a subfolder (the program makes none, so it never exists) or nothing.
bool FolderRelativeName(wchar_t* name, DWORD* error) {
  for (wchar_t* p = name; *p; ++p)
    if (*p == L'/') *p = L'\\';
  wchar_t* start = name;
  while (start[0] == L'.' && start[1] == L'\\') start += 2;
  size_t length = TextLength(start);
  while (length && (start[length - 1] == L'.' || start[length - 1] == L' ')) --length;
  start[length] = 0;
  if (start != name) CopyText(name, PathCapacity, start);
  if (length == 0) {
    *error = ERROR_INVALID_NAME;
    return false;
  }
  for (const wchar_t* p = name; *p; ++p)
    if (*p == L'\\') {
      *error = ERROR_PATH_NOT_FOUND;
      return false;
    }
  return true;
}

constexpr ACCESS_MASK EntryAccess =
    GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
constexpr ULONG EntryOptions = FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY;

// An entry of the same name as one written before (a cabinet may hold two) is opened as it is
// and cut to nothing, so no tail of the longer one survives. Overwriting on creation would be
// refused by Windows for a file that is hidden or system, as the first may be. A read-only
// one is kept: Windows refuses to open it for writing for every account, but Wine running as
// root does not, so the program does not leave this to the open.
UniqueCreateFileHandle OpenExistingEntry(const CabinetJob& job, const wchar_t* name, DWORD* error) {
  UniqueCreateFileHandle file =
      CreateRelative(job.folder.folder.get(), name, TextLength(name), EntryAccess, FILE_SHARE_READ,
                     FILE_OPEN, EntryOptions, nullptr, error);
  if (!file) return file;
  FILE_BASIC_INFO basic;
  FILE_END_OF_FILE_INFO end = {};
  if (!GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic) ||
      (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
    *error = ERROR_ACCESS_DENIED;
  } else if (!SetFileInformationByHandle(file.get(), FileEndOfFileInfo, &end, sizeof end)) {
    *error = GetLastError();
  } else {
    return file;
  }
  return UniqueCreateFileHandle();
}

// The entry's file as a handle of the runtime, which the interface writes through; -1 with
// *error set when it cannot be had.
int OpenEntryFile(const CabinetJob& job, wchar_t* name, DWORD* error) {
  if (!FolderRelativeName(name, error)) return -1;
  // A new file, the usual case, is created in one step.
  UniqueCreateFileHandle file =
      CreateRelative(job.folder.folder.get(), name, TextLength(name), EntryAccess, FILE_SHARE_READ,
                     FILE_CREATE, EntryOptions, nullptr, error);
  if (!file && (*error == ERROR_ALREADY_EXISTS || *error == ERROR_FILE_EXISTS))
    file = OpenExistingEntry(job, name, error);
  if (!file) return -1;
  // The runtime's handle owns the file from here: closed by the interface's close callback.
  int handle = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_BINARY | _O_WRONLY);
  if (handle == -1) {
    *error = ERROR_TOO_MANY_OPEN_FILES;
    return -1;
  }
  file.release();
  return handle;
}

INT_PTR CreateEntryFile(PFDINOTIFICATION info) {
  if (!info->pv) return -1;
  CabinetJob& job = *static_cast<CabinetJob*>(info->pv);
  if (job.stopped) return -1;  // ends the copy before this entry
  Destination destination;
  BuildDestination(job, info->psz1, destination);
  // Both abort the copy, as an entry that cannot be opened does.
  if (!destination.usable) {
    TellEntry(job, destination.wide, EntryStatus::Refused);
    return -1;
  }
  DWORD error = 0;
  int handle = OpenEntryFile(job, destination.name, &error);
  if (handle == -1) {
    TellEntry(job, destination.wide, EntryStatus::Failed, error);
    return -1;
  }
  EntryInWriting& entry = job.writing;
  CopyText(entry.path, destination.wide);  // both hold PathCapacity characters
  CopyText(entry.name, destination.name);
  entry.handle = handle;
  entry.closed = false;
  entry.size = static_cast<unsigned long>(info->cb);
  entry.written = 0;
  entry.writeError = 0;
  return handle;
}

// The cabinet's date and time are local; the file system keeps UTC. Time and attributes go
// through the handle the entry was written with, in one call: nothing is written through it
// afterwards, so the file keeps them. Only read-only, hidden, system and archive are taken
// over; the cabinet's own flags (0x40, 0x80) are not.
void SetEntryTimeAndAttributes(HANDLE file, USHORT date, USHORT time, USHORT attribs) {
  FILE_BASIC_INFO basic = {};  // zero times: left as they are
  FILETIME local, utc;
  if (DosDateTimeToFileTime(date, time, &local) && LocalFileTimeToFileTime(&local, &utc)) {
    basic.CreationTime.LowPart = utc.dwLowDateTime;
    basic.CreationTime.HighPart = static_cast<LONG>(utc.dwHighDateTime);
    basic.LastWriteTime = basic.CreationTime;
  }
  DWORD attributes = attribs & 0x27;
  basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
}

// A close that fails may have lost what was written: the file is removed by its name in the
// held folder.
void DeleteUnclosedEntry(CabinetJob& job, const wchar_t* name) {
  DWORD ignored = 0;
  UniqueCreateFileHandle file =
      CreateRelative(job.folder.folder.get(), name, TextLength(name), DELETE | FILE_WRITE_ATTRIBUTES,
                     0, FILE_OPEN, FILE_NON_DIRECTORY_FILE, nullptr, &ignored);
  if (!file) return;
  FILE_BASIC_INFO basic = {};
  basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;  // a read-only file cannot be deleted
  SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic);
  MarkForDeletion(file.get());
}

INT_PTR FinishEntryFile(PFDINOTIFICATION info) {
  int written = static_cast<int>(info->hf);
  auto* job = static_cast<CabinetJob*>(info->pv);
  if (!job || !IsWriting(*job, written)) {  // never opened by this job; nothing to touch
    _close(written);
    return 1;
  }
  EntryInWriting& entry = job->writing;
  // A file that did not get all of its entry's bytes is not left under the entry's name; the
  // copy stops, as it does for an entry that cannot be written.
  if (entry.written != entry.size || entry.writeError) {
    DeleteCutFile(*job);
    return -1;
  }
  entry.handle = -1;
  SetEntryTimeAndAttributes(reinterpret_cast<HANDLE>(_get_osfhandle(written)), info->date,
                            info->time, info->attribs);
  if (_close(written) != 0) {
    DWORD error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    DeleteUnclosedEntry(*job, entry.name);
    if (!job->writeError) job->writeError = error;
    TellEntry(*job, entry.path, EntryStatus::WriteFailed, error);
    return -1;
  }
  TellEntry(*job, entry.path, EntryStatus::Written);
  return 1;
}

// A file that runs on into the next part of a split set. The interface asks first with fdie
// FDIERROR_NONE, and 0 lets it open that part under the name the cabinet gives (psz1) in this
// cabinet's folder (psz3). When the part cannot be opened or is the wrong one, it asks again
// with fdie set, for as long as it gets 0: -1 gives up, and the copy fails as for a damaged
// cabinet. A next part is taken from the same folder only: a name with a separator, a drive or
// stream, or a device is refused, as it is for an entry.
INT_PTR OpenNextCabinet(PFDINOTIFICATION info) {
  if (info->fdie != FDIERROR_NONE) return -1;
  wchar_t name[PathCapacity] = {};
  if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, info->psz1, -1, name,
                           static_cast<int>(PathCapacity)))
    return -1;
  for (const wchar_t* p = name; *p; ++p)
    if (*p == L'\\' || *p == L'/') return -1;
  return IsSafeEntryName(name) ? 0 : -1;
}
}  // namespace

void NoteFileWritten(CabinetJob& job, int handle, UINT asked, UINT bytes) {
  if (!IsWriting(job, handle)) return;
  if (bytes != static_cast<UINT>(-1)) job.writing.written += bytes;
  // A write that did not take every byte: the drive is full, over a quota, or failing.
  if ((bytes == static_cast<UINT>(-1) || bytes < asked) && !job.writing.writeError) {
    DWORD error = GetLastError();
    job.writing.writeError = error ? error : ERROR_DISK_FULL;
  }
}

void NoteFileClosed(CabinetJob& job, int handle) {
  if (!IsWriting(job, handle)) return;
  // The interface gave up on the entry: what it wrote is cut short, and goes with the close.
  MarkForDeletion(reinterpret_cast<HANDLE>(_get_osfhandle(handle)));
  job.writing.closed = true;
}

void DiscardUnfinishedEntry(CabinetJob& job) {
  if (job.writing.handle != -1) DeleteCutFile(job);
}

FNFDINOTIFY(CabinetNotify) {
  switch (fdint) {
    case fdintCOPY_FILE:
      return CreateEntryFile(pfdin);
    case fdintCLOSE_FILE_INFO:
      return FinishEntryFile(pfdin);
    case fdintNEXT_CABINET:
      return OpenNextCabinet(pfdin);
    default:  // cabinet info, partial file, enumerate
      return 0;
  }
}
