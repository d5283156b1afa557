// Process entry: with no arguments the window, as always; with one path the window handling
// that file as if it had been dropped; with switches an unattended run for deployment tools.
#include <windows.h>
#include <shellapi.h>

#include "unattended/command_line.h"
#include "window/main_window.h"
#include "unattended/unattended.h"
#include "platform/system_path.h"
#include "platform/unique.h"

namespace {
// A single path (a forgotten /install) where no one sees the window, which would then wait
// for ever: an invalid command line, logged, never a window.
CommandLine WithoutDesktop(CommandLine line) {
  line.mode = RunMode::Invalid;
  line.quiet = true;
  line.fault = L"没有用户可见的桌面，不会打开窗口：无人值守安装请用 /install";
  line.faultArgument = line.items[0];
  return line;
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before anything is loaded on demand, in the window and in an unattended run alike: no DLL
  // from the current directory, and where the system allows it none but the system's own.
  RestrictDllSearch();
  int count = 0;
  UniqueLocal<wchar_t**> args(CommandLineToArgvW(GetCommandLineW(), &count));
  CommandLine line = args ? ParseCommandLine(count - 1, args.get() + 1) : CommandLine();
  int exitCode;
  if (line.mode == RunMode::Window)
    exitCode = RunApplication(instance);
  else if (line.mode == RunMode::OpenFile && HasInteractiveDesktop())
    exitCode = RunApplication(instance, line.items[0]);
  else if (line.mode == RunMode::OpenFile)
    exitCode = RunUnattended(WithoutDesktop(line));
  else
    exitCode = RunUnattended(line);
  return exitCode;
}
