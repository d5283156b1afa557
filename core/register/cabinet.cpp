// Unpacking a cabinet into a fresh folder under UnpackRoot, and registering its controls.
#include "core/register/cabinet.h"

#include <fcntl.h>

#include "platform/unique.h"
#include "platform/text.h"
#include "core/register/cabinet_callbacks.h"
#include "core/register/cabinet_job.h"
#include "core/register/cabinet_library.h"
#include "core/register/file_kind.h"
#include "core/register/register_control.h"
#include "core/register/unpack_folder.h"

namespace {
constexpr size_t CandidateCapacity = 400;

thread_local CabinetJob* RunningJob = nullptr;

CabinetResult Outcome(UnpackStatus status, DWORD error = 0) {
  CabinetResult result = {};
  result.unpack = status;
  result.error = error;
  return result;
}

bool IsHeaderFault(int operation) {
  return operation == FDIERROR_NOT_A_CABINET || operation == FDIERROR_UNKNOWN_CABINET_VERSION ||
         operation == FDIERROR_CORRUPT_CABINET;
}
}  // namespace

CabinetCheck CheckCabinet(const char* ansiPath) {
  if (TextLength(ansiPath) > CabinetPathLimit) return CabinetCheck::TooLong;
  const CabinetFunctions* cabinet = CabinetLibrary();
  ERF error = {};
  HFDI context = !cabinet ? nullptr
                          : cabinet->create(CabAlloc, CabFree, CabOpen, CabRead, CabWrite,
                                            CabClose, CabSeek, cpuUNKNOWN, &error);
  if (!context) return CabinetCheck::NoInterface;
  CabinetCheck check = CabinetCheck::Unreadable;
  INT_PTR file = CabOpen(const_cast<char*>(ansiPath), _O_RDONLY | _O_BINARY, 0);
  if (file != -1) {
    FDICABINETINFO info = {};
    check = cabinet->isCabinet(context, file, &info) ? CabinetCheck::Cabinet
                                                     : CabinetCheck::NotACabinet;
    CabClose(file);
  }
  cabinet->destroy(context);
  return check;
}

bool Report(const ProgressSink* sink, const Progress& progress) {
  return !sink || !sink->report || sink->report(sink->context, progress);
}

bool Tell(CabinetJob& job, const Progress& progress) {
  if (!Report(job.sink, progress)) job.stopped = true;
  return !job.stopped;
}

CabinetJob* CurrentCabinetJob() { return RunningJob; }

CurrentCabinetJobScope::CurrentCabinetJobScope(CabinetJob& job) { RunningJob = &job; }

CurrentCabinetJobScope::~CurrentCabinetJobScope() { RunningJob = nullptr; }

void SplitCabinetPath(char* path, char* name, size_t nameCap) {
  if (nameCap) name[0] = 0;
  char* lastBackslash = nullptr;
  for (char* p = path; *p; ++p) {
    if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
      ++p;  // a trail byte may have the value of a backslash
      continue;
    }
    if (*p == '\\') lastBackslash = p;
  }
  // The interface opens the path followed by the name, so the same file is opened whether or
  // not a name could be split off.
  if (!lastBackslash || !CopyText(name, nameCap, lastBackslash + 1)) return;
  lastBackslash[1] = 0;
}

namespace {
UnpackStatus FolderOutcome(UnpackFolderStatus status) {
  switch (status) {
    case UnpackFolderStatus::Created: return UnpackStatus::Unpacked;
    case UnpackFolderStatus::RootUnsafe: return UnpackStatus::RootUnsafe;
    case UnpackFolderStatus::RootFailed: return UnpackStatus::RootFailed;
    case UnpackFolderStatus::NamesTaken: return UnpackStatus::NamesTaken;
    case UnpackFolderStatus::Failed: break;
  }
  return UnpackStatus::FolderFailed;
}

// Makes the job's folder and unpacks the cabinet into it. Nothing is unpacked into a folder
// that others may have prepared.
CabinetResult Unpack(CabinetJob& job, char* ansiPath) {
  char cabinetName[CabinetNameCapacity] = {};
  SplitCabinetPath(ansiPath, cabinetName, sizeof cabinetName);

  DWORD error = 0;
  UnpackStatus made = FolderOutcome(CreateUnpackFolder(job.folder, &error));
  if (made != UnpackStatus::Unpacked) return Outcome(made, error);
  CabinetResult result = Outcome(UnpackStatus::Unpacked);
  CopyText(result.folder, job.folder.wide);
  if (!Tell(job, {ProgressEvent::FolderMade, job.folder.wide, EntryStatus::Written, 0, nullptr, nullptr})) {
    result.stopped = true;
    return result;
  }

  // A cabinet library that cannot be loaded is handled as an interface that cannot start.
  const CabinetFunctions* cabinet = CabinetLibrary();
  HFDI context = !cabinet ? nullptr
                          : cabinet->create(CabAlloc, CabFree, CabOpen, CabRead, CabWrite,
                                            CabClose, CabSeek, cpu80386, &job.error);
  if (!context) {
    result.unpack = UnpackStatus::NoInterface;
    return result;
  }
  BOOL copied;
  {
    CurrentCabinetJobScope current(job);
    copied = cabinet->copy(context, cabinetName, ansiPath, 0, CabinetNotify, nullptr, &job);
    // A copy that stopped part way leaves no cut file under an entry's name.
    DiscardUnfinishedEntry(job);
  }
  BOOL destroyed = cabinet->destroy(context);
  result.unpack = copied || destroyed ? UnpackStatus::Unpacked : UnpackStatus::Failed;
  result.copiedWhole = copied != FALSE;
  result.unopened = !copied && job.entries == 0 && IsHeaderFault(job.error.erfOper);
  result.writeFailed = job.writeError != 0;
  result.writeError = job.writeError;
  if (!Tell(job, {ProgressEvent::UnpackEnded, job.folder.wide, EntryStatus::Written, 0, nullptr,
                  &result}))
    result.stopped = true;
  if (job.stopped) result.stopped = true;
  return result;
}

// Registers one control found in the folder; false when the sink asks to stop.
bool RegisterFound(CabinetJob& job, const wchar_t* name, size_t length, CabinetResult& result) {
  wchar_t candidate[CandidateCapacity] = {};
  if (!CopyText(candidate, job.folder.wide) ||
      TextLength(candidate) + length >= CandidateCapacity)
    return true;
  wmemcpy(candidate + TextLength(candidate), name, length);
  if (!IsControl(candidate)) return true;
  if (!Tell(job, {ProgressEvent::ControlStarting, candidate, EntryStatus::Written, 0, nullptr, nullptr}))
    return false;
  RegistrationResult registration = RegisterControl(candidate, ControlSource::InCabinet);
  if (registration.status == RegistrationStatus::Registered) ++result.registered;
  else if (registration.status == RegistrationStatus::HelperLibrary) ++result.helpers;
  else ++result.failed;
  return Tell(job, {ProgressEvent::ControlDone, candidate, EntryStatus::Written, 0, &registration, nullptr});
}

// Every control lying directly in the held folder, listed through its handle.
void RegisterControlsIn(CabinetJob& job, CabinetResult& result) {
  alignas(8) BYTE buffer[8192];
  FILE_INFO_BY_HANDLE_CLASS kind = FileFullDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(job.folder.folder.get(), kind, buffer, sizeof buffer)) {
    kind = FileFullDirectoryInfo;
    for (auto* entry = reinterpret_cast<FILE_FULL_DIR_INFO*>(buffer);;
         entry = reinterpret_cast<FILE_FULL_DIR_INFO*>(reinterpret_cast<BYTE*>(entry) +
                                                        entry->NextEntryOffset)) {
      // The folder holds files only; this drops "." and "..".
      if (!(entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !RegisterFound(job, entry->FileName, entry->FileNameLength / sizeof(wchar_t), result)) {
        result.stopped = true;
        return;
      }
      if (!entry->NextEntryOffset) break;
    }
  }
}
}  // namespace

CabinetResult RegisterCabinet(char* ansiPath, const ProgressSink* sink) {
  CabinetJob job;
  job.sink = sink;
  CabinetResult result = Unpack(job, ansiPath);
  if (result.unpack == UnpackStatus::Unpacked && !result.stopped) RegisterControlsIn(job, result);
  return result;  // the job, and with it the hold on the folder, ends here
}
