#include "bench/processes.h"

#include <cwchar>
#include <vector>

#include "bench/timing.h"
#include "platform/unique.h"

namespace {

HANDLE NulHandle() {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inherit, OPEN_EXISTING, 0, nullptr);
}

bool Launch(const wchar_t* commandLine, PROCESS_INFORMATION* info, HANDLE stdHandle) {
  std::vector<wchar_t> line(commandLine, commandLine + wcslen(commandLine) + 1);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  BOOL inherit = FALSE;
  if (stdHandle != INVALID_HANDLE_VALUE) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = stdHandle;
    inherit = TRUE;
  }
  return CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit, 0, nullptr, nullptr,
                        &startup, info) != FALSE;
}

}  // namespace

double TimeProcess(const wchar_t* commandLine, DWORD* exitCode, DWORD timeoutMs) {
  UniqueCreateFileHandle nul(NulHandle());
  PROCESS_INFORMATION info = {};
  double start = NowMs();
  bool started = Launch(commandLine, &info, nul.get());
  nul.reset();
  if (!started) return -1;
  UniqueKernelHandle thread(info.hThread), process(info.hProcess);
  DWORD waited = WaitForSingleObject(info.hProcess, timeoutMs);
  double elapsed = NowMs() - start;
  if (waited != WAIT_OBJECT_0) {
    TerminateProcess(info.hProcess, 1);
    elapsed = -1;
  }
  if (exitCode) GetExitCodeProcess(info.hProcess, exitCode);
  return elapsed;
}

bool StartProcess(const wchar_t* commandLine, PROCESS_INFORMATION* info) {
  return Launch(commandLine, info, INVALID_HANDLE_VALUE);
}

const wchar_t* DriverDirectory() {
  static wchar_t directory[MAX_PATH] = L"";
  if (!directory[0]) {
    DWORD n = GetModuleFileNameW(nullptr, directory, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
      directory[0] = 0;
      return directory;
    }
    wchar_t* slash = wcsrchr(directory, L'\\');
    if (slash) slash[1] = 0;
  }
  return directory;
}
