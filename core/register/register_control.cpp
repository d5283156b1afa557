#include "core/register/register_control.h"

#include "core/register/image_machine.h"
#include "platform/unique.h"
#include "platform/system_path.h"
#include "platform/text.h"

bool BuildRegisterCommandLine(const wchar_t* regsvr32, const wchar_t* path, wchar_t* out,
                              size_t cap) {
  if (cap == 0) return false;
  out[0] = 0;
  if (CopyText(out, cap, L"\"") && AppendText(out, cap, regsvr32) &&
      AppendText(out, cap, L"\" /s \"") && AppendText(out, cap, path) &&
      AppendText(out, cap, L"\""))
    return true;
  out[0] = 0;
  return false;
}

namespace {

// The longest control path taken: what a drop passes (999 characters) and the terminator.
constexpr size_t ControlPathCapacity = 1000;

// The path with every '/' turned into '\\'. The loader takes a control's folder for its
// dependencies only from a path with backslashes (regsvr32's LOAD_WITH_ALTERED_SEARCH_PATH
// does not find a helper library beside a control named C:/VornActiveX/<n>/a.ocx), so both
// the probe and regsvr32 get this form; the report keeps the path as it was built. False
// when the path does not fit.
bool WithBackslashes(const wchar_t* path, wchar_t (&out)[ControlPathCapacity]) {
  if (!CopyText(out, path)) return false;
  for (wchar_t* p = out; *p; ++p)
    if (*p == L'/') *p = L'\\';
  return true;
}

RegistrationResult Result(RegistrationStatus status, DWORD error = 0, DWORD exitCode = 0) {
  return {status, error, exitCode, 0};
}

}  // namespace

ProbeStatus ProbeControl(const wchar_t* given, DWORD* error) {
  if (error) *error = 0;
  wchar_t path[ControlPathCapacity];
  if (!WithBackslashes(given, path)) {
    if (error) *error = ERROR_FILENAME_EXCED_RANGE;
    return ProbeStatus::DidNotLoad;
  }
  // The control's dependencies are searched in its own folder and then the system directory.
  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32 names both explicitly, so
  // neither the program's folder (the user's Downloads folder), the current directory nor
  // the PATH (whose user entries the user can write) is searched, whatever the process
  // defaults are. regsvr32 loads with LOAD_WITH_ALTERED_SEARCH_PATH, which also looks in the
  // Windows folder and the PATH: a control that needs a DLL found only there is refused here,
  // the safe side. Without the flags (Windows 7 lacking KB2533623) LOAD_WITH_ALTERED_SEARCH_PATH
  // is regsvr32's own search: the control's folder takes the program folder's place, and the
  // current directory is out of it since start-up called SetDllDirectoryW(L"").
  DWORD flags = HasDllSearchFlags() ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                                    : LOAD_WITH_ALTERED_SEARCH_PATH;
  UniqueLibrary probe(LoadLibraryExW(path, nullptr, flags));
  if (!probe) {
    if (error) *error = GetLastError();
    return ProbeStatus::DidNotLoad;
  }
  // What regsvr32 calls; without it regsvr32 ends with 4 and nothing is registered.
  return GetProcAddress(probe.get(), "DllRegisterServer") ? ProbeStatus::Control
                                                           : ProbeStatus::NoEntryPoint;
}

bool LaunchRegistration(const wchar_t* given, UniqueKernelHandle& process) {
  process.reset();
  wchar_t path[ControlPathCapacity];
  if (!WithBackslashes(given, path)) return false;
  // regsvr32 by its full path in the system directory, and the system directory as the current
  // directory rather than the program's (usually the Downloads folder it was started from).
  wchar_t system[MAX_PATH], regsvr32[MAX_PATH];
  if (!SystemPath(L"", system) || !SystemPath(L"regsvr32.exe", regsvr32)) return false;
  // CreateProcessW may write into the command line; never start regsvr32 on a cut path.
  wchar_t commandLine[RegisterCommandLineCapacity] = {};
  if (!BuildRegisterCommandLine(regsvr32, path, commandLine, RegisterCommandLineCapacity))
    return false;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(regsvr32, commandLine, nullptr, nullptr, FALSE, 0, nullptr, system,
                      &startup, &started))
    return false;
  UniqueKernelHandle thread(started.hThread);
  process.reset(started.hProcess);
  return true;
}

RegistrationResult RegisterControl(const wchar_t* path, ControlSource source) {
  if (TextLength(path) >= ControlPathCapacity)
    return Result(RegistrationStatus::RefusedPath);
  DWORD error = 0;
  switch (ProbeControl(path, &error)) {
    case ProbeStatus::DidNotLoad: {
      RegistrationResult result = Result(RegistrationStatus::DidNotLoad, error);
      if (error == ERROR_BAD_EXE_FORMAT) result.machine = ImageMachine(path);
      return result;
    }
    case ProbeStatus::NoEntryPoint:
      return Result(source == ControlSource::InCabinet ? RegistrationStatus::HelperLibrary
                                                       : RegistrationStatus::NoEntryPoint);
    case ProbeStatus::Control:
      break;
  }
  UniqueKernelHandle process;
  if (!LaunchRegistration(path, process))
    return Result(RegistrationStatus::NotStarted, GetLastError());
  if (WaitForSingleObject(process.get(), RegistrationBound) != WAIT_OBJECT_0)
    // regsvr32 goes on by itself; whatever it does later, it has not been seen to succeed.
    return Result(RegistrationStatus::TimeLimit);
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.get(), &exitCode))
    return Result(RegistrationStatus::NotStarted, GetLastError());
  // regsvr32's codes are its own (3: the control did not load, 4: no DllRegisterServer,
  // 5: DllRegisterServer failed).
  return exitCode == 0 ? Result(RegistrationStatus::Registered)
                       : Result(RegistrationStatus::ExitCode, 0, exitCode);
}
