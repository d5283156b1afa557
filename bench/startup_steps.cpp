// The start-up of the program taken apart: the steps of RunApplication, each timed inside
// the process (the program's own code and resources, linked as in ctlwarden.exe), and the
// time from the creation of the process to the first of them.
#include <windows.h>

#include <cstdio>

#include "window/main_window.h"
#include "window/title_bar.h"
#include "bench/host_window.h"
#include "bench/timing.h"

namespace {

double SinceProcessCreation() {
  FILETIME created, exited, kernel, user, now;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  GetSystemTimePreciseAsFileTime(&now);
  auto ticks = [](const FILETIME& t) {
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
}

}  // namespace

int main() {
  double toMain = SinceProcessCreation();
  HINSTANCE instance = GetModuleHandleW(nullptr);
  double t0 = NowMs();
  RegisterMainWindowClass(instance);
  double t2 = NowMs();
  RegisterTitleBarClass();
  double t3 = NowMs();
  HWND window = CreateMainWindow(instance);
  double t4 = NowMs();
  AllowDropsFromLowerIntegrity(window);
  double t1 = NowMs();
  PumpPending();
  double t5 = NowMs();
  const char* section = "startup_steps";
  Report(section, "step_main", "steps: process creation to main()", "ms", {toMain});
  Report(section, "step_filter", "steps: AllowDropsFromLowerIntegrity", "ms", {t1 - t4});
  Report(section, "step_class", "steps: RegisterMainWindowClass", "ms", {t2 - t0});
  Report(section, "step_titlebar", "steps: RegisterTitleBarClass", "ms", {t3 - t2});
  Report(section, "step_create", "steps: CreateMainWindow (create, show, first paint)", "ms",
         {t4 - t3});
  Report(section, "step_pump", "steps: queued messages until idle (children)", "ms", {t5 - t1});
  DestroyWindow(window);
  return 0;
}
