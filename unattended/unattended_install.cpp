// /install: every file is checked before anything is done, then each control is registered
// and each cabinet unpacked and its controls registered, by the same code as a drop. The
// registrations are waited for by the registration core, whose results become the log lines
// and the exit code.
#include <windows.h>

#include <iterator>

#include "unattended/exit_codes.h"
#include "unattended/unattended_steps.h"
#include "unattended/run_log.h"
#include "platform/text.h"
#include "platform/unique.h"
#include "core/diagnose/dependencies.h"
#include "core/register/cabinet.h"
#include "core/register/drop.h"
#include "core/register/image_machine.h"
#include "core/register/register_control.h"
#include "unattended/source_file.h"

namespace {

// What regsvr32's exit codes mean, by code.
constexpr const wchar_t* Regsvr32Meanings[] = {
    L"",
    L": invalid arguments",
    L": OLE could not be initialised",
    L": the control could not be loaded",
    L": the control has no DllRegisterServer",
    L": the control's DllRegisterServer failed",
};

// The loader's refusal of a control built for another processor, in the program's words.
const wchar_t* OtherMachineText(WORD machine) {
  static_assert(OwnMachine == IMAGE_FILE_MACHINE_I386 || OwnMachine == IMAGE_FILE_MACHINE_AMD64,
                "a program for x86 or x64");
  if (machine == 0 || machine == OwnMachine) return nullptr;
  if (OwnMachine == IMAGE_FILE_MACHINE_I386)
    return machine == IMAGE_FILE_MACHINE_AMD64
               ? L"装载ActiveX控件失败！ The control is built for 64-bit Windows (x64); this "
                 L"32-bit program registers 32-bit controls only"
               : L"装载ActiveX控件失败！ The control is built for another processor; this "
                 L"32-bit program registers 32-bit (x86) controls only";
  return machine == IMAGE_FILE_MACHINE_I386
             ? L"装载ActiveX控件失败！ The control is built for 32-bit Windows (x86); this "
               L"64-bit program registers 64-bit controls only"
             : L"装载ActiveX控件失败！ The control is built for another processor; this "
               L"64-bit program registers 64-bit (x64) controls only";
}

// A control's result as its log line: registered, a helper library skipped, or the failure.
void LogRegistration(RunRecord& run, const wchar_t* path, const RegistrationResult& result) {
  wchar_t detail[96];
  switch (result.status) {
    case RegistrationStatus::Registered:
      LogEvent(run, L"register", path, Outcome::Ok, L"regsvr32 exit code 0");
      return;
    case RegistrationStatus::HelperLibrary:
      LogEvent(run, L"skip", path, Outcome::Info,
               L"a library without DllRegisterServer, which the controls use; not registered");
      return;
    case RegistrationStatus::RefusedPath:
      LogEvent(run, L"error", path, Outcome::Failed, L"控件路径过长，未注册！");
      return;
    case RegistrationStatus::DidNotLoad: {
      const wchar_t* otherMachine = OtherMachineText(result.machine);
      // A library the control imports that is found nowhere: named, as the window names it.
      wchar_t library[ImportNameCapacity], hint[RuntimeHintCapacity];
      wchar_t missing[32 + ImportNameCapacity + RuntimeHintCapacity] = L"装载ActiveX控件失败！ 缺少依赖文件：";
      bool named = !otherMachine && result.error == ERROR_MOD_NOT_FOUND &&
                   FindMissingLibrary(path, library, hint) && AppendText(missing, library) &&
                   AppendText(missing, hint);
      LogEvent(run, L"error", path, Outcome::Failed,
               otherMachine ? otherMachine : named ? missing : L"装载ActiveX控件失败！", result.error);
      return;
    }
    case RegistrationStatus::NoEntryPoint:
      LogEvent(run, L"register", path, Outcome::Failed,
               L"no registration entry point (DllRegisterServer); not started");
      return;
    case RegistrationStatus::ExitCode:
      // regsvr32's codes are its own; they are reported, not passed on.
      wsprintfW(detail, L"regsvr32 exit code %lu%ls", result.exitCode,
                result.exitCode < std::size(Regsvr32Meanings) ? Regsvr32Meanings[result.exitCode]
                                                              : L"");
      LogEvent(run, L"register", path, Outcome::Failed, detail);
      return;
    case RegistrationStatus::TimeLimit:
      LogEvent(run, L"register", path, Outcome::Failed, L"regsvr32 did not finish within 120 seconds");
      return;
    case RegistrationStatus::NotStarted:
      LogEvent(run, L"register", path, Outcome::Failed, L"regsvr32 could not be started", result.error);
      return;
  }
}

// The log lines of a cabinet's unpacking and registrations, as they happen.
struct CabinetLog {
  RunRecord& run;
  const wchar_t* cabinet;
};

bool LogCabinetProgress(void* context, const Progress& progress) {
  RunRecord& run = static_cast<CabinetLog*>(context)->run;
  const wchar_t* cabinet = static_cast<CabinetLog*>(context)->cabinet;
  switch (progress.event) {
    case ProgressEvent::FolderMade: {
      wchar_t folder[8 + UnpackDirCapacity] = L"folder ";
      AppendText(folder, progress.path);
      LogEvent(run, L"unpack", cabinet, Outcome::Info, folder);
      break;
    }
    case ProgressEvent::EntryUnpacked:
      if (progress.entry == EntryStatus::Written)
        LogEvent(run, L"unpack", progress.path, Outcome::Ok, nullptr);
      else if (progress.entry == EntryStatus::Refused)
        LogEvent(run, L"unpack", progress.path, Outcome::Failed,
                 L"refused: the name leaves the unpack folder or names a device");
      else
        LogEvent(run, L"unpack", progress.path, Outcome::Failed, nullptr, progress.error);
      break;
    case ProgressEvent::ControlDone:
      LogRegistration(run, progress.path, *progress.result);
      break;
    case ProgressEvent::UnpackEnded:
    case ProgressEvent::ControlStarting:
      break;
  }
  return true;
}

// 0, ExitPackageInvalid for a cabinet whose headers could not be read, or ExitFatalError.
// keep receives the cabinet's unpack folder, when one was made.
int InstallCabinet(RunRecord& run, const wchar_t* path, wchar_t (&keep)[UnpackDirCapacity]) {
  char ansi[AnsiPathCapacity] = {};
  ConvertToAnsiPath(path, ansi, sizeof ansi);  // checked with the sources
  CabinetLog log = {run, path};
  ProgressSink sink = {LogCabinetProgress, &log};
  CabinetResult result = RegisterCabinet(ansi, &sink);
  if (result.folder[0]) CopyText(keep, result.folder);
  switch (result.unpack) {
    case UnpackStatus::Unpacked:
      break;
    case UnpackStatus::RootUnsafe:
      LogEvent(run, L"error", path, Outcome::Failed, UnpackRootRefusal);
      return ExitFatalError;
    case UnpackStatus::RootFailed:
      LogEvent(run, L"error", path, Outcome::Failed, UnpackRootFailure, result.error);
      return ExitFatalError;
    case UnpackStatus::NamesTaken:
      LogEvent(run, L"error", path, Outcome::Failed, UnpackNamesTaken);
      return ExitFatalError;
    case UnpackStatus::FolderFailed:
      LogEvent(run, L"error", path, Outcome::Failed, UnpackFolderFailure, result.error);
      return ExitFatalError;
    case UnpackStatus::NoInterface:
      LogEvent(run, L"error", path, Outcome::Failed, L"the cabinet interface could not be started");
      return ExitFatalError;
    case UnpackStatus::Failed:
      LogEvent(run, L"error", path, Outcome::Failed, L"the cabinet interface failed");
      return ExitFatalError;
  }
  if (result.unopened) {
    LogEvent(run, L"unpack", path, Outcome::Failed,
             L"the package could not be opened: the cabinet is damaged before its first entry");
    return ExitPackageInvalid;
  }
  // An entry not written whole (a full drive) fails the cabinet even where the interface
  // itself went on to its end.
  bool whole = result.copiedWhole && !result.writeFailed;
  if (!whole) LogEvent(run, L"unpack", path, Outcome::Failed, L"the cabinet could not be unpacked whole");
  if (result.registered == 0)
    LogEvent(run, L"register", path, Outcome::Failed, L"no control of the cabinet was registered");
  return result.registered > 0 && result.failed == 0 && whole && !result.stopped
             ? ExitSuccess
             : ExitFatalError;
}

}  // namespace

int InstallFiles(RunRecord& run, wchar_t* const* files, int count) {
  UniqueHeap<SourceFile> owned = HeapAllocate<SourceFile>(static_cast<SIZE_T>(count), false);
  SourceFile* sources = owned.get();
  if (!sources) {
    LogEvent(run, L"install", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    return ExitFatalError;
  }
  int fault = 0;
  for (int i = 0; i < count; ++i) {
    int checked = CheckSourceFile(run, files[i], sources[i]);
    // A missing or unreadable file outranks one of the wrong kind.
    if (checked && (fault == 0 || checked == ExitSourceUnreadable)) fault = checked;
  }
  if (fault) return fault;  // nothing was done

  // A failed install outranks a package that could not be opened.
  int exitCode = ExitSuccess;
  // The clean-up spares the folder of the last cabinet installed.
  wchar_t keep[UnpackDirCapacity] = L"";
  for (int i = 0; i < count; ++i) {
    const SourceFile& source = sources[i];
    SetCurrentItem(run, source.path);
    int code;
    if (source.cabinet) {
      code = InstallCabinet(run, source.path, keep);
    } else {
      RegistrationResult result = RegisterControl(source.path, ControlSource::Single);
      LogRegistration(run, source.path, result);
      code = result.status == RegistrationStatus::Registered ? ExitSuccess : ExitFatalError;
    }
    LogEvent(run, L"install", source.path, code == ExitSuccess ? Outcome::Ok : Outcome::Failed,
             nullptr);
    CountItem(run, code == ExitSuccess);
    if (code != ExitSuccess && exitCode != ExitFatalError) exitCode = code;
  }
  SetCurrentItem(run, nullptr);
  owned.reset();
  if (exitCode == ExitSuccess) CleanUpUnpackFolders(run, keep);
  return exitCode;
}
