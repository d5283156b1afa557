// Memory and file services for the cabinet interface: plain C runtime calls on its integer
// file handles, used both to read the cabinet and to write the unpacked files.
#include <fcntl.h>
#include <io.h>
#include <cstdlib>

#include "core/register/cabinet_callbacks.h"
#include "core/register/cabinet_job.h"

FNALLOC(CabAlloc) { return malloc(cb); }

FNFREE(CabFree) { free(pv); }

FNOPEN(CabOpen) { return _open(pszFile, oflag, pmode); }

FNREAD(CabRead) { return static_cast<UINT>(_read(static_cast<int>(hf), pv, cb)); }

FNWRITE(CabWrite) {
  SetLastError(0);
  auto written = static_cast<UINT>(_write(static_cast<int>(hf), pv, cb));
  if (CabinetJob* job = CurrentCabinetJob())
    NoteFileWritten(*job, static_cast<int>(hf), cb, written);
  return written;
}

FNCLOSE(CabClose) {
  if (CabinetJob* job = CurrentCabinetJob()) NoteFileClosed(*job, static_cast<int>(hf));
  return _close(static_cast<int>(hf));
}

FNSEEK(CabSeek) { return _lseek(static_cast<int>(hf), dist, seektype); }
