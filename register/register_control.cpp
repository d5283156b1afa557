// Registering one control: a load probe in this process, then regsvr32 run silently through
// the command interpreter. The command is not waited for.
#include "register/register_control.h"

#include <shellapi.h>

#include "common/text.h"

bool BuildRegisterParameters(const wchar_t* path, wchar_t* out, size_t cap) {
  if (cap == 0) return false;
  out[0] = 0;
  if (CopyText(out, cap, L"/c regsvr32 /s \"") && AppendText(out, cap, path) &&
      AppendText(out, cap, L"\""))
    return true;
  out[0] = 0;
  return false;
}

bool CmdWouldRewrite(const wchar_t* path) {
  int percents = 0;
  for (const wchar_t* p = path; *p; ++p)
    if (*p == L'%') ++percents;
  return percents >= 2;
}

bool RegisterControlFile(const wchar_t* path, HWND window) {
  // The command interpreter expands %name% even between quotation marks (a variable of the
  // environment, or one of its own such as %cd%), so regsvr32 would be given another path
  // while the launch counts as a success. Such a path is refused before anything runs.
  if (CmdWouldRewrite(path)) {
    MessageBoxW(window, L"控件路径含有两个以上的%，命令解释器会改写此路径，未注册！", L"ERROR", MB_OK);
    return false;
  }
  HMODULE probe = LoadLibraryW(path);
  if (!probe) {
    MessageBoxW(window, L"装载ActiveX控件失败！", L"ERROR", MB_OK);
    return false;
  }
  FreeLibrary(probe);

  wchar_t parameters[RegisterParametersCapacity] = {};
  // Never start regsvr32 on a cut path.
  if (!BuildRegisterParameters(path, parameters, RegisterParametersCapacity)) return false;
  HINSTANCE started = ShellExecuteW(window, L"open", L"cmd.exe", parameters, nullptr, SW_HIDE);
  return reinterpret_cast<UINT_PTR>(started) > 32;
}
