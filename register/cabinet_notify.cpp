// The notification handler of the cabinet interface: every entry of the cabinet is written
// into the unpack directory under the name that the cabinet stores, listed in the report,
// and then given the cabinet's date, time and attributes.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "common/status_text.h"
#include "common/text.h"
#include "register/cabinet.h"
#include "register/cabinet_callbacks.h"

namespace {
constexpr size_t PathCapacity = 1000;
// The longest destination path that is written, in bytes of ANSI text.
constexpr size_t LongestDestination = 511;

struct Destination {
  char ansi[PathCapacity];
  wchar_t wide[PathCapacity];
  bool usable;  // fits, and stays inside the unpack directory
};

// The destination is the unpack directory followed directly by the entry's name, without a
// separator or conversion of its own. An unusable one is still named in the report.
void BuildDestination(const char* name, Destination& out) {
  out.ansi[0] = 0;
  out.wide[0] = 0;
  bool joined = CopyText(out.ansi, UnpackDirAnsi) && AppendText(out.ansi, name);
  if (!joined) CopyText(out.ansi, UnpackDirAnsi);  // the report names the directory only
  MultiByteToWideChar(CP_ACP, 0, out.ansi, -1, out.wide, static_cast<int>(PathCapacity));

  // Judge the name as the file system will read it, in wide text.
  wchar_t wideName[PathCapacity] = {};
  bool converted =
      MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, static_cast<int>(PathCapacity)) != 0;
  out.usable = joined && TextLength(out.ansi) <= LongestDestination && converted &&
               IsSafeEntryName(wideName);
}

// Each entry's line goes to the report alone: the status window is hidden while the cabinet
// is unpacked and gets the whole list once, before it is seen again.
void ListEntry(const wchar_t* widePath) {
  StatusTextAppend(widePath);
  StatusTextAppend(L"\r\n");
}

// A read-only file already in the directory (left by a cabinet unpacked earlier within the
// same second) is kept as it is. The system refuses to open such a file for writing, but not
// for every account everywhere, so the program does not leave this to the open.
bool IsReadOnlyFile(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

INT_PTR CreateEntryFile(PFDINOTIFICATION info) {
  Destination destination;
  BuildDestination(info->psz1, destination);
  // The entry is listed before its file is opened, also when the open then fails.
  ListEntry(destination.wide);
  // Both abort the copy, as an entry that cannot be opened does.
  if (!destination.usable) return -1;
  // A new file, the usual case, is created in one step: asking first whether a file of that
  // name exists costs Wine a scan of the whole directory for every entry.
  int created = _open(destination.ansi,
                      _O_BINARY | _O_CREAT | _O_EXCL | _O_WRONLY | _O_SEQUENTIAL,
                      _S_IREAD | _S_IWRITE);
  if (created != -1) return created;
  if (IsReadOnlyFile(destination.wide)) return -1;
  // An existing file is opened as it is and then cut to nothing, so no tail of an older,
  // longer file survives. _O_TRUNC would make the runtime ask for CREATE_ALWAYS, which Windows
  // refuses for a file that is hidden or system, as an entry unpacked earlier may be.
  int existing = _open(destination.ansi, _O_BINARY | _O_CREAT | _O_WRONLY | _O_SEQUENTIAL,
                       _S_IREAD | _S_IWRITE);
  if (existing != -1 && _chsize(existing, 0) != 0) {
    _close(existing);
    return -1;
  }
  return existing;
}

// The cabinet's date and time are local; the file system keeps UTC.
void SetEntryTime(HANDLE file, USHORT date, USHORT time) {
  FILETIME local, utc;
  if (DosDateTimeToFileTime(date, time, &local) && LocalFileTimeToFileTime(&local, &utc))
    SetFileTime(file, &utc, nullptr, &utc);
}

INT_PTR FinishEntryFile(PFDINOTIFICATION info) {
  Destination destination;
  BuildDestination(info->psz1, destination);
  int written = static_cast<int>(info->hf);
  if (!destination.usable) {  // never opened under this name; nothing to touch
    _close(written);
    return 1;
  }
  // The time goes through the handle the entry was written with: nothing is written through
  // it afterwards, so the file keeps the same times as when it is opened again by name, and
  // the second lookup of every entry is saved.
  SetEntryTime(reinterpret_cast<HANDLE>(_get_osfhandle(written)), info->date, info->time);
  _close(written);
  // After the time, so that a read-only entry still gets its time. Only read-only, hidden,
  // system and archive are taken over; the cabinet's own flags (0x40, 0x80) are not.
  SetFileAttributesW(destination.wide, info->attribs & 0x27);
  return 1;
}
}  // namespace

HWND CabinetStatusWindow = nullptr;

FNFDINOTIFY(CabinetNotify) {
  switch (fdint) {
    case fdintCOPY_FILE:
      return CreateEntryFile(pfdin);
    case fdintCLOSE_FILE_INFO:
      return FinishEntryFile(pfdin);
    default:  // cabinet info, partial file, next cabinet, enumerate
      return 0;
  }
}
