// Unpacking a cabinet into a fresh folder under UnpackRoot, and registering its controls.
#include "core/register/cabinet.h"

#include <fcntl.h>

#include "platform/owned_handle.h"
#include "platform/text.h"
#include "core/register/cabinet_callbacks.h"
#include "core/register/cabinet_library.h"
#include "core/register/file_kind.h"
#include "core/register/register_control.h"
#include "core/register/unpack_folder.h"

char UnpackDirAnsi[UnpackDirCapacity] = "";
wchar_t UnpackDir[UnpackDirCapacity] = L"";

namespace {
ERF FdiError;  // filled in by the interface; the program reports failures its own way

constexpr size_t CandidateCapacity = 400;

CabinetResult Outcome(UnpackStatus status, DWORD error = 0) {
  return {status, false, false, error, 0, 0, 0};
}

// Passes every event on to the caller's sink, counting the entries the copy reached.
struct EntryCount {
  const ProgressSink* outer;
  int entries;
};

void CountEntries(void* context, const Progress& progress) {
  auto* count = static_cast<EntryCount*>(context);
  if (progress.event == ProgressEvent::EntryUnpacked) ++count->entries;
  Report(count->outer, progress);
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

void Report(const ProgressSink* sink, const Progress& progress) {
  if (sink && sink->report) sink->report(sink->context, progress);
}

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
// The root stays open in folder, and so in place, while the cabinet is unpacked into it and
// its controls are registered.
CabinetResult UnpackInto(UnpackFolder& folder, char* ansiPath, const ProgressSink* sink) {
  char cabinetName[CabinetNameCapacity] = {};
  SplitCabinetPath(ansiPath, cabinetName, sizeof cabinetName);

  DWORD error = 0;
  switch (CreateUnpackFolder(folder, &error)) {
    case UnpackFolderStatus::Created:
      break;
    // Nothing is unpacked into a folder that others may have prepared.
    case UnpackFolderStatus::RootUnsafe:
      return Outcome(UnpackStatus::RootUnsafe);
    case UnpackFolderStatus::FolderTaken:
      return Outcome(UnpackStatus::FolderTaken);
    case UnpackFolderStatus::Failed:
      return Outcome(UnpackStatus::FolderFailed, error);
  }
  CopyText(UnpackDirAnsi, folder.ansi);
  CopyText(UnpackDir, folder.wide);
  Report(sink, {ProgressEvent::FolderMade, UnpackDir, EntryStatus::Written, 0, nullptr});

  // A cabinet library that cannot be loaded is handled as an interface that cannot start.
  const CabinetFunctions* cabinet = CabinetLibrary();
  HFDI context = !cabinet ? nullptr
                          : cabinet->create(CabAlloc, CabFree, CabOpen, CabRead, CabWrite,
                                            CabClose, CabSeek, cpu80386, &FdiError);
  if (!context) return Outcome(UnpackStatus::NoInterface);
  EntryCount count = {sink, 0};
  ProgressSink counting = {CountEntries, &count};
  FdiError = ERF();
  BOOL copied = cabinet->copy(context, cabinetName, ansiPath, 0, CabinetNotify, nullptr, &counting);
  // A copy that stopped part way leaves no cut file under an entry's name.
  DiscardUnfinishedEntry(&counting);
  BOOL destroyed = cabinet->destroy(context);
  Report(sink, {ProgressEvent::UnpackEnded, UnpackDir, EntryStatus::Written, 0, nullptr});
  CabinetResult result = Outcome(copied || destroyed ? UnpackStatus::Unpacked : UnpackStatus::Failed);
  result.copiedWhole = copied != FALSE;
  result.unopened = !copied && count.entries == 0 && IsHeaderFault(FdiError.erfOper);
  return result;
}
}  // namespace

CabinetResult UnpackCabinet(char* ansiPath, const ProgressSink* sink) {
  UnpackFolder folder;
  return UnpackInto(folder, ansiPath, sink);
}

void RegisterUnpackedControls(const ProgressSink* sink, CabinetResult& result) {
  wchar_t pattern[UnpackDirCapacity + 3] = {};
  if (!CopyText(pattern, UnpackDir) || !AppendText(pattern, L"*.*")) return;
  WIN32_FIND_DATAW found;
  OwnedFind search(FindFirstFileW(pattern, &found));
  if (!search.Valid()) return;
  do {
    // Equality, not a bit test: this drops "." and "..".
    if (found.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY) continue;
    wchar_t candidate[CandidateCapacity] = {};
    if (!CopyText(candidate, UnpackDir) || !AppendText(candidate, found.cFileName)) continue;
    if (!IsControl(candidate)) continue;
    Report(sink, {ProgressEvent::ControlStarting, candidate, EntryStatus::Written, 0, nullptr});
    RegistrationResult registration = RegisterControl(candidate, ControlSource::InCabinet);
    if (registration.status == RegistrationStatus::Registered) ++result.registered;
    else if (registration.status == RegistrationStatus::HelperLibrary) ++result.helpers;
    else ++result.failed;
    Report(sink, {ProgressEvent::ControlDone, candidate, EntryStatus::Written, 0, &registration});
  } while (FindNextFileW(search.handle, &found));
}

CabinetResult RegisterCabinet(char* ansiPath, const ProgressSink* sink) {
  UnpackFolder folder;
  CabinetResult result = UnpackInto(folder, ansiPath, sink);
  if (result.unpack == UnpackStatus::Unpacked) RegisterUnpackedControls(sink, result);
  return result;
}
