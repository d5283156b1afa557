// /install: every file is checked before anything is done, then each control is registered
// and each cabinet unpacked and its controls registered, by the same code as a drop. The
// registrations are waited for by the registration core, whose results become the log lines
// and the exit code.
#include <windows.h>


#include "unattended/exit_codes.h"
#include "unattended/unattended_steps.h"
#include "unattended/run_log.h"
#include "platform/text.h"
#include "core/register/cabinet.h"
#include "core/register/drop.h"
#include "core/register/register_control.h"
#include "unattended/source_file.h"

namespace {

// A control's result as its log line: registered, a helper library skipped, or the failure.
void LogRegistration(const wchar_t* path, const RegistrationResult& result) {
  wchar_t detail[64];
  switch (result.status) {
    case RegistrationStatus::Registered:
      LogEvent(L"register", path, Outcome::Ok, L"regsvr32 exit code 0");
      return;
    case RegistrationStatus::HelperLibrary:
      LogEvent(L"skip", path, Outcome::Info,
               L"a library without DllRegisterServer, which the controls use; not registered");
      return;
    case RegistrationStatus::RefusedPath:
      LogEvent(L"error", path, Outcome::Failed,
               L"控件路径含有两个以上的%，命令解释器会改写此路径，未注册！");
      return;
    case RegistrationStatus::DidNotLoad:
      LogEvent(L"error", path, Outcome::Failed, L"装载ActiveX控件失败！", result.error);
      return;
    case RegistrationStatus::NoEntryPoint:
      LogEvent(L"register", path, Outcome::Failed,
               L"no registration entry point (DllRegisterServer); not started");
      return;
    case RegistrationStatus::ExitCode:
      // regsvr32's codes are its own (3: the control did not load, 4: no DllRegisterServer,
      // 5: DllRegisterServer failed); they are reported, not passed on.
      wsprintfW(detail, L"regsvr32 exit code %lu", result.exitCode);
      LogEvent(L"register", path, Outcome::Failed, detail);
      return;
    case RegistrationStatus::TimeLimit:
      LogEvent(L"register", path, Outcome::Failed, L"regsvr32 did not finish within 120 seconds");
      return;
    case RegistrationStatus::NotStarted:
      LogEvent(L"register", path, Outcome::Failed, L"regsvr32 could not be started", result.error);
      return;
  }
}

// The log lines of a cabinet's unpacking and registrations, as they happen.
struct CabinetLog {
  const wchar_t* cabinet;
};

void LogCabinetProgress(void* context, const Progress& progress) {
  const wchar_t* cabinet = static_cast<CabinetLog*>(context)->cabinet;
  switch (progress.event) {
    case ProgressEvent::FolderMade: {
      wchar_t folder[8 + UnpackDirCapacity] = L"folder ";
      AppendText(folder, progress.path);
      LogEvent(L"unpack", cabinet, Outcome::Info, folder);
      break;
    }
    case ProgressEvent::EntryUnpacked:
      if (progress.entry == EntryStatus::Written)
        LogEvent(L"unpack", progress.path, Outcome::Ok, nullptr);
      else if (progress.entry == EntryStatus::Refused)
        LogEvent(L"unpack", progress.path, Outcome::Failed,
                 L"refused: the name leaves the unpack folder or names a device");
      else
        LogEvent(L"unpack", progress.path, Outcome::Failed, nullptr, progress.error);
      break;
    case ProgressEvent::ControlDone:
      LogRegistration(progress.path, *progress.result);
      break;
    case ProgressEvent::UnpackEnded:
    case ProgressEvent::ControlStarting:
      break;
  }
}

bool InstallCabinet(const wchar_t* path) {
  char ansi[AnsiPathCapacity] = {};
  ConvertToAnsiPath(path, ansi, sizeof ansi);  // checked with the sources
  CabinetLog log = {path};
  ProgressSink sink = {LogCabinetProgress, &log};
  CabinetResult result = RegisterCabinet(ansi, &sink);
  switch (result.unpack) {
    case UnpackStatus::Unpacked:
      break;
    case UnpackStatus::RootUnsafe:
      LogEvent(L"error", path, Outcome::Failed, UnpackRootRefusal);
      return false;
    case UnpackStatus::FolderTaken:
    case UnpackStatus::FolderFailed:
      LogEvent(L"error", path, Outcome::Failed, UnpackDirectoryRefusal, result.error);
      return false;
    case UnpackStatus::NoInterface:
      LogEvent(L"error", path, Outcome::Failed, L"the cabinet interface could not be started");
      return false;
    case UnpackStatus::Failed:
      LogEvent(L"error", path, Outcome::Failed, L"the cabinet interface failed");
      return false;
  }
  if (!result.copiedWhole)
    LogEvent(L"unpack", path, Outcome::Failed, L"the cabinet could not be unpacked whole");
  if (result.registered == 0)
    LogEvent(L"register", path, Outcome::Failed, L"no control of the cabinet was registered");
  return result.registered > 0 && result.failed == 0 && result.copiedWhole;
}

}  // namespace

int InstallFiles(wchar_t* const* files, int count) {
  auto* sources = static_cast<SourceFile*>(
      HeapAlloc(GetProcessHeap(), 0, sizeof(SourceFile) * static_cast<SIZE_T>(count)));
  if (!sources) {
    LogEvent(L"install", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    return ExitFatalError;
  }
  int fault = 0;
  for (int i = 0; i < count; ++i) {
    int checked = CheckSourceFile(files[i], sources[i]);
    // A missing or unreadable file outranks one of the wrong kind.
    if (checked && (fault == 0 || checked == ExitSourceUnreadable)) fault = checked;
  }
  if (fault) {  // nothing was done
    HeapFree(GetProcessHeap(), 0, sources);
    return fault;
  }

  bool allInstalled = true;
  for (int i = 0; i < count; ++i) {
    const SourceFile& source = sources[i];
    SetCurrentItem(source.path);
    bool installed;
    if (source.cabinet) {
      installed = InstallCabinet(source.path);
    } else {
      RegistrationResult result = RegisterControl(source.path, ControlSource::Single);
      LogRegistration(source.path, result);
      installed = result.status == RegistrationStatus::Registered;
    }
    LogEvent(L"install", source.path, installed ? Outcome::Ok : Outcome::Failed, nullptr);
    CountItem(installed);
    allInstalled = allInstalled && installed;
  }
  SetCurrentItem(nullptr);
  HeapFree(GetProcessHeap(), 0, sources);
  if (allInstalled) CleanUpUnpackFolders(UnpackDir);
  return allInstalled ? ExitSuccess : ExitFatalError;
}
