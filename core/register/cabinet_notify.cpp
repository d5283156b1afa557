// The notification handler of the cabinet interface: every entry of the cabinet is written
// into the unpack directory under the name that the cabinet stores, listed in the report,
// and then given the cabinet's date, time and attributes. Each entry is told to the copy's
// ProgressSink once: when its file is whole, refused, or failed.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "platform/text.h"
#include "core/register/cabinet.h"
#include "core/register/cabinet_callbacks.h"

namespace {
constexpr size_t PathCapacity = 1000;
// The longest destination path that is written, in bytes of ANSI text.
constexpr size_t LongestDestination = 511;

struct Destination {
  char ansi[PathCapacity];
  wchar_t wide[PathCapacity];
  bool usable;  // fits, decodes, and stays inside the unpack directory
};

// The entry whose file is open for writing: the interface writes it between fdintCOPY_FILE
// and fdintCLOSE_FILE_INFO. When the copy stops in between (damaged data, a missing next
// part), the file is cut short or empty. The interface may then close the file itself, or
// (Wine's does) still send fdintCLOSE_FILE_INFO before it fails: only the count of bytes
// written tells such a file from a whole one.
struct {
  int handle;  // -1: none
  bool closed;  // by the interface, when it gave up on the entry
  unsigned long size, written;
  wchar_t path[PathCapacity];
} Writing = {-1, false, 0, 0, {}};

bool IsWriting(int handle) { return handle != -1 && handle == Writing.handle; }

void TellEntry(const void* sink, const wchar_t* path, EntryStatus status, DWORD error = 0) {
  Report(static_cast<const ProgressSink*>(sink),
         {ProgressEvent::EntryUnpacked, path, status, error, nullptr});
}

void DeleteCutFile(const void* sink) {
  if (!Writing.closed) _close(Writing.handle);
  Writing.handle = -1;
  DeleteFileW(Writing.path);
  TellEntry(sink, Writing.path, EntryStatus::Failed, ERROR_HANDLE_EOF);
}

// The destination is the unpack directory followed directly by the entry's name, without a
// separator or conversion of its own. An unusable one is still named in the report.
void BuildDestination(const char* name, Destination& out) {
  out.ansi[0] = 0;
  out.wide[0] = 0;
  bool joined = CopyText(out.ansi, UnpackDirAnsi) && AppendText(out.ansi, name);
  if (!joined) CopyText(out.ansi, UnpackDirAnsi);  // the report names the directory only
  MultiByteToWideChar(CP_ACP, 0, out.ansi, -1, out.wide, static_cast<int>(PathCapacity));

  // Judge the name as the file system will read it, in wide text. Bytes that the code page
  // cannot decode would become a stand-in character, and two different names one file.
  wchar_t wideName[PathCapacity] = {};
  bool converted = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, wideName,
                                       static_cast<int>(PathCapacity)) != 0;
  out.usable = joined && TextLength(out.ansi) <= LongestDestination && converted &&
               IsSafeEntryName(wideName);
}

// A read-only file already in the directory (left by a cabinet unpacked earlier within the
// same second) is kept as it is. Windows refuses to open such a file for writing for every
// account, but Wine running as root does not, so the program does not leave this to the open.
bool IsReadOnlyFile(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// Remembers the entry whose file the interface is about to write, and its size.
INT_PTR BeginEntry(int handle, const wchar_t* path, long size) {
  CopyText(Writing.path, path);  // both hold PathCapacity characters
  Writing.handle = handle;
  Writing.closed = false;
  Writing.size = static_cast<unsigned long>(size);
  Writing.written = 0;
  return handle;
}

INT_PTR CreateEntryFile(PFDINOTIFICATION info) {
  Destination destination;
  BuildDestination(info->psz1, destination);
  // Both abort the copy, as an entry that cannot be opened does.
  if (!destination.usable) {
    TellEntry(info->pv, destination.wide, EntryStatus::Refused);
    return -1;
  }
  // A new file, the usual case, is created in one step: asking first whether a file of that
  // name exists costs Wine a scan of the whole directory for every entry.
  int created = _open(destination.ansi,
                      _O_BINARY | _O_CREAT | _O_EXCL | _O_WRONLY | _O_SEQUENTIAL,
                      _S_IREAD | _S_IWRITE);
  if (created != -1) return BeginEntry(created, destination.wide, info->cb);
  if (IsReadOnlyFile(destination.wide)) {
    TellEntry(info->pv, destination.wide, EntryStatus::Failed, ERROR_ACCESS_DENIED);
    return -1;
  }
  // An existing file is opened as it is and then cut to nothing, so no tail of an older,
  // longer file survives. _O_TRUNC would make the runtime ask for CREATE_ALWAYS, which Windows
  // refuses for a file that is hidden or system, as an entry unpacked earlier may be.
  int existing = _open(destination.ansi, _O_BINARY | _O_CREAT | _O_WRONLY | _O_SEQUENTIAL,
                       _S_IREAD | _S_IWRITE);
  if (existing == -1) {
    TellEntry(info->pv, destination.wide, EntryStatus::Failed, GetLastError());
    return -1;
  }
  if (_chsize(existing, 0) != 0) {
    DWORD error = GetLastError();
    _close(existing);
    TellEntry(info->pv, destination.wide, EntryStatus::Failed, error);
    return -1;
  }
  return BeginEntry(existing, destination.wide, info->cb);
}

// The cabinet's date and time are local; the file system keeps UTC.
void SetEntryTime(HANDLE file, USHORT date, USHORT time) {
  FILETIME local, utc;
  if (DosDateTimeToFileTime(date, time, &local) && LocalFileTimeToFileTime(&local, &utc))
    SetFileTime(file, &utc, nullptr, &utc);
}

bool HasAttributesAlready(HANDLE file, DWORD attributes) {
  FILE_BASIC_INFO basic;
  return GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) &&
         basic.FileAttributes == attributes;
}

INT_PTR FinishEntryFile(PFDINOTIFICATION info) {
  int written = static_cast<int>(info->hf);
  if (IsWriting(written)) {
    // A file that did not get all of its entry's bytes is not left under the entry's name;
    // the copy stops, as it does for an entry that cannot be written.
    if (Writing.written != Writing.size) {
      DeleteCutFile(info->pv);
      return -1;
    }
    Writing.handle = -1;
  }
  Destination destination;
  BuildDestination(info->psz1, destination);
  if (!destination.usable) {  // never opened under this name; nothing to touch
    _close(written);
    return 1;
  }
  // The time goes through the handle the entry was written with: nothing is written through
  // it afterwards, so the file keeps the same times as when it is opened again by name, and
  // the second lookup of every entry is saved.
  auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(written));
  SetEntryTime(handle, info->date, info->time);
  // Only read-only, hidden, system and archive are taken over; the cabinet's own flags (0x40,
  // 0x80) are not. Most entries ask for the archive attribute alone, which a newly written
  // file has already: such a file is not opened again by name to be given what it has.
  DWORD attributes = info->attribs & 0x27;
  bool alreadySet =
      (attributes & FILE_ATTRIBUTE_ARCHIVE) && HasAttributesAlready(handle, attributes);
  _close(written);
  // After the time, so that a read-only entry still gets its time.
  if (!alreadySet) SetFileAttributesW(destination.wide, attributes);
  TellEntry(info->pv, destination.wide, EntryStatus::Written);
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

void NoteFileWritten(int handle, UINT bytes) {
  if (IsWriting(handle) && bytes != static_cast<UINT>(-1)) Writing.written += bytes;
}

void NoteFileClosed(int handle) {
  if (IsWriting(handle)) Writing.closed = true;
}

void DiscardUnfinishedEntry(const ProgressSink* sink) {
  if (Writing.handle != -1) DeleteCutFile(sink);
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
