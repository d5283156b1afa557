#include "core/register/registration_wait.h"

#include "unattended/run_log.h"
#include "core/register/register_control.h"

bool RegisterAndWait(const wchar_t* path) {
  HANDLE process = nullptr;
  if (!LaunchRegistration(path, &process)) {
    LogEvent(L"register", path, Outcome::Failed, L"regsvr32 could not be started", GetLastError());
    return false;
  }
  DWORD waited = WaitForSingleObject(process, RegistrationBound);
  DWORD exitCode = 0;
  bool ended = waited == WAIT_OBJECT_0 && GetExitCodeProcess(process, &exitCode);
  CloseHandle(process);
  if (!ended) {
    // regsvr32 goes on by itself; whatever it does later, this run has not seen it succeed.
    LogEvent(L"register", path, Outcome::Failed, L"regsvr32 did not finish within 120 seconds");
    return false;
  }
  // regsvr32's codes are its own (3: the control did not load, 4: no DllRegisterServer,
  // 5: DllRegisterServer failed); they are reported, not passed on.
  wchar_t detail[64];
  wsprintfW(detail, L"regsvr32 exit code %lu", exitCode);
  LogEvent(L"register", path, exitCode == 0 ? Outcome::Ok : Outcome::Failed, detail);
  return exitCode == 0;
}
