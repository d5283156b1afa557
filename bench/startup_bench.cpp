// Start-up: from CreateProcessW to the first paint of the main window, seen from outside the
// process: the window of the expected class and title is visible and a pixel of its client
// area, where nothing but the body is drawn, shows BodyColour on the screen.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "bench/benches.h"
#include "bench/processes.h"
#include "bench/timing.h"
#include "window/globals.h"
#include "platform/unique.h"

namespace {

constexpr char Section[] = "startup";
constexpr double Deadline = 30000;

bool BodyPainted(HWND window) {
  RECT client;
  if (!GetClientRect(window, &client) || client.bottom < 20) return false;
  // Bottom-left corner of the client area: body in both programs, far from every child.
  POINT probe = {10, client.bottom - 10};
  ClientToScreen(window, &probe);
  WindowDc screen(nullptr);
  return GetPixel(screen.get(), probe.x, probe.y) == BodyColour;
}

struct StartSample {
  double paint = -1;     // ms to the first paint of the body
  double idle = -1;      // ms until the program first waits for input
  double peakKb = -1;    // peak working set when idle
};

StartSample StartOnce(const wchar_t* exe, const wchar_t* cls, const wchar_t* title) {
  StartSample sample;
  wchar_t line[2 * MAX_PATH];
  swprintf(line, 2 * MAX_PATH, L"\"%ls\"", exe);
  PROCESS_INFORMATION info = {};
  double t0 = NowMs();
  if (!StartProcess(line, &info)) return sample;
  UniqueKernelHandle thread(info.hThread), process(info.hProcess);
  HWND window = nullptr;
  while (NowMs() - t0 < Deadline) {
    window = FindWindowW(cls, title);
    if (window && IsWindowVisible(window) && BodyPainted(window)) {
      sample.paint = NowMs() - t0;
      break;
    }
    if (WaitForSingleObject(info.hProcess, 1) == WAIT_OBJECT_0) break;
  }
  if (WaitForInputIdle(info.hProcess, 10000) == 0) sample.idle = NowMs() - t0;
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  if (GetProcessMemoryInfo(info.hProcess, &memory, sizeof memory))
    sample.peakKb = static_cast<double>(memory.PeakWorkingSetSize) / 1024.0;
  if (window) PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0) {
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, 10000);
  }
  Sleep(200);  // let the X server forget the window before the next start
  return sample;
}

}  // namespace

int RunStartupBench(const wchar_t* product, const wchar_t* minimal, int runs) {
  struct Side {
    const wchar_t* exe;
    const wchar_t* cls;
    const wchar_t* title;
    std::vector<double> paint, idle, peak;
  } sides[2] = {{minimal, L"BenchMinimal", L"BenchMinimal", {}, {}, {}},
                {product, L"window", L"Ctlwarden", {}, {}, {}}};
  int status = 0;
  for (int run = 0; run < runs; ++run) {
    for (int s = 0; s < 2; ++s) {
      Side& side = sides[run % 2 ? 1 - s : s];
      StartSample sample = StartOnce(side.exe, side.cls, side.title);
      if (sample.paint < 0) {
        Note(Section, "%ls: no painted window \"%ls\" of class \"%ls\"", side.exe, side.title,
             side.cls);
        status = 1;
        continue;
      }
      side.paint.push_back(sample.paint);
      if (sample.idle >= 0) side.idle.push_back(sample.idle);
      if (sample.peakKb >= 0) side.peak.push_back(sample.peakKb);
    }
  }
  Report(Section, "floor_paint", "minimal window: start to first paint (floor)", "ms",
         sides[0].paint);
  Report(Section, "product_paint", "ctlwarden.exe: start to first paint", "ms", sides[1].paint);
  Report(Section, "floor_idle", "minimal window: start to input idle", "ms", sides[0].idle);
  Report(Section, "product_idle", "ctlwarden.exe: start to input idle", "ms", sides[1].idle);
  Report(Section, "floor_peak", "minimal window: peak working set", "KB", sides[0].peak);
  Report(Section, "product_peak", "ctlwarden.exe: peak working set", "KB", sides[1].peak);

  // What any Wine process costs, for reading the tool times of the other sections.
  std::vector<double> empty;
  wchar_t line[2 * MAX_PATH];
  swprintf(line, 2 * MAX_PATH, L"\"%ls\" exit", minimal);
  for (int run = 0; run < runs; ++run) {
    double t = TimeProcess(line);
    if (t >= 0) empty.push_back(t);
  }
  Report(Section, "empty_process", "empty process: start to exit", "ms", empty);
  return status;
}
