// The floor of a cabinet drop: FDI unpacking every file with callbacks that only forward to
// the C runtime and write the files; no report, no times, no attributes, no window.
#include <fcntl.h>
#include <fdi.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/benches.h"
#include "core/register/cabinet_library.h"
#include "platform/unique.h"

namespace {

char OutputDirectory[MAX_PATH];
int FilesWritten;
FloorTimes GiveTimes;

FNALLOC(FloorAlloc) { return malloc(cb); }
FNFREE(FloorFree) { free(pv); }
FNOPEN(FloorOpen) { return _open(pszFile, oflag, pmode); }
FNREAD(FloorRead) { return static_cast<UINT>(_read(static_cast<int>(hf), pv, cb)); }
FNWRITE(FloorWrite) { return static_cast<UINT>(_write(static_cast<int>(hf), pv, cb)); }
FNCLOSE(FloorClose) { return _close(static_cast<int>(hf)); }
FNSEEK(FloorSeek) { return _lseek(static_cast<int>(hf), dist, seektype); }

void SetEntryTime(HANDLE file, PFDINOTIFICATION entry) {
  FILETIME local, utc;
  if (DosDateTimeToFileTime(entry->date, entry->time, &local) &&
      LocalFileTimeToFileTime(&local, &utc))
    SetFileTime(file, &utc, nullptr, &utc);
}

// What the cabinet records for an entry, given to its file: after closing it, by opening it
// again by name (as the program does), or through the handle it was written with.
void GiveEntryTime(PFDINOTIFICATION entry) {
  char path[2 * MAX_PATH];
  snprintf(path, sizeof path, "%s%s", OutputDirectory, entry->psz1);
  wchar_t wide[2 * MAX_PATH];
  MultiByteToWideChar(CP_ACP, 0, path, -1, wide, 2 * MAX_PATH);
  if (GiveTimes == FloorTimes::WrittenHandle) {
    SetEntryTime(reinterpret_cast<HANDLE>(_get_osfhandle(static_cast<int>(entry->hf))), entry);
    _close(static_cast<int>(entry->hf));
  } else {
    _close(static_cast<int>(entry->hf));
    UniqueCreateFileHandle file(CreateFileW(wide, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) SetEntryTime(file.get(), entry);
  }
  SetFileAttributesW(wide, entry->attribs & 0x27);
}

FNFDINOTIFY(FloorNotify) {
  switch (fdint) {
    case fdintCOPY_FILE: {
      char path[2 * MAX_PATH];
      snprintf(path, sizeof path, "%s%s", OutputDirectory, pfdin->psz1);
      return _open(path, _O_BINARY | _O_CREAT | _O_TRUNC | _O_WRONLY | _O_SEQUENTIAL,
                   _S_IREAD | _S_IWRITE);
    }
    case fdintCLOSE_FILE_INFO:
      ++FilesWritten;
      if (GiveTimes == FloorTimes::None)
        _close(static_cast<int>(pfdin->hf));
      else
        GiveEntryTime(pfdin);
      return TRUE;
    default:
      return 0;
  }
}

}  // namespace

int FloorExtract(const wchar_t* cabinet, const wchar_t* directory, FloorTimes giveTimes) {
  char path[MAX_PATH];
  if (!WideCharToMultiByte(CP_ACP, 0, cabinet, -1, path, MAX_PATH, nullptr, nullptr) ||
      !WideCharToMultiByte(CP_ACP, 0, directory, -1, OutputDirectory, MAX_PATH, nullptr, nullptr))
    return -1;
  char* slash = strrchr(path, '\\');
  if (!slash) return -1;
  char name[MAX_PATH];
  strcpy(name, slash + 1);
  slash[1] = 0;
  FilesWritten = 0;
  GiveTimes = giveTimes;
  ERF error = {};
  const CabinetFunctions* fdi = CabinetLibrary();
  if (!fdi) return -1;
  HFDI context = fdi->create(FloorAlloc, FloorFree, FloorOpen, FloorRead, FloorWrite, FloorClose,
                           FloorSeek, cpu80386, &error);
  if (!context) return -1;
  BOOL copied = fdi->copy(context, name, path, 0, FloorNotify, nullptr, nullptr);
  fdi->destroy(context);
  return copied ? FilesWritten : -1;
}
