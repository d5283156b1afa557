// Cabinet drop: the whole of HandleDroppedFile with its report in a real StatusBox, against
// FDI alone and against the cabinet tools of the system.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <iterator>
#include <cwchar>
#include <vector>

#include "bench/benches.h"
#include "bench/host_window.h"
#include "bench/message_counter.h"
#include "bench/processes.h"
#include "bench/timing.h"
#include "window/globals.h"
#include "core/register/cabinet.h"
#include "window/drop.h"
#include "platform/unique.h"

void AnalyseDrop(const wchar_t* cabinet, const char* section, unsigned expected);

// A drop handle as the shell makes it: DROPFILES and the wide path list ending in two zeros.
HDROP MakeDrop(const wchar_t* path) {
  size_t length = wcslen(path);
  size_t bytes = sizeof(DROPFILES) + (length + 2) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GHND, bytes);
  if (!memory) return nullptr;
  auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
  files->pFiles = sizeof(DROPFILES);
  files->fWide = TRUE;
  memcpy(reinterpret_cast<char*>(files) + sizeof(DROPFILES), path, (length + 1) * sizeof(wchar_t));
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

namespace {

constexpr wchar_t ProductRoot[] = L"C:\\VornActiveX";
constexpr wchar_t FloorDir[] = L"C:\\benchout\\floor\\";
constexpr wchar_t ExpandDir[] = L"C:\\benchout\\expand\\";
constexpr wchar_t Extrac32Dir[] = L"C:\\benchout\\extrac32\\";

void FreshDirectory(const wchar_t* directory) {
  RemoveDirectoryTree(directory);
  CreateDirectoryW(L"C:\\benchout", nullptr);
  CreateDirectoryW(directory, nullptr);
}

struct ProductTime {
  double handle;  // HandleDroppedFile
  double paint;   // the queued messages after it: the report reaching the screen
};

ProductTime TimeProductParts(const wchar_t* cabinet, const char* section, unsigned expected,
                             int* status) {
  RemoveDirectoryTree(ProductRoot);
  HDROP drop = MakeDrop(cabinet);
  Settle();
  double t0 = NowMs();
  HandleDroppedFile(MainWindow, drop);
  PumpUntilDropEnds();  // the drop's work, on its worker, with its report on this thread
  double t1 = NowMs();
  PumpPending();
  double t2 = NowMs();
  // The handle is left alone: HandleDroppedFile may have released it already.
  unsigned files = CountUnpackedFiles();
  if (files != expected) {
    Note(section, "HandleDroppedFile unpacked %u files into %ls, expected %u", files, ProductRoot,
         expected);
    *status = 1;
  }
  static bool noted = false;
  if (!noted && StatusBox) {
    Note(section, "StatusBox shows %d characters after the drop", GetWindowTextLengthW(StatusBox));
    noted = true;
  }
  return {t1 - t0, t2 - t1};
}

double TimeProduct(const wchar_t* cabinet, const char* section, unsigned expected, int* status) {
  ProductTime t = TimeProductParts(cabinet, section, expected, status);
  return t.handle + t.paint;
}

double TimeFloor(const wchar_t* cabinet, const char* section, unsigned expected, int* status) {
  FreshDirectory(FloorDir);
  Settle();
  double t0 = NowMs();
  int files = FloorExtract(cabinet, FloorDir);
  double t1 = NowMs();
  if (files != static_cast<int>(expected)) {
    Note(section, "floor extraction gave %d files, expected %u", files, expected);
    *status = 1;
  }
  return t1 - t0;
}

// Times one tool; a tool that fails or writes the wrong number of files is left out.
bool TimeTool(const wchar_t* commandLine, const wchar_t* directory, const char* section,
              unsigned expected, std::vector<double>* samples) {
  FreshDirectory(directory);
  Settle();
  DWORD code = 0;
  double t = TimeProcess(commandLine, &code);
  unsigned files = CountFiles(directory);
  if (t < 0 || files != expected) {
    Note(section, "%ls: exit code %lu, %u files, expected %u", commandLine,
         static_cast<unsigned long>(code), files, expected);
    return false;
  }
  samples->push_back(t);
  return true;
}

}  // namespace

int RunDropBench(const wchar_t* cabinet, const char* section, int runs, int toolRuns,
                 unsigned expectedFiles, bool analyse) {
  CreateHostWindow(true);
  int status = 0;
  std::vector<double> floor, product;
  for (int run = 0; run < runs; ++run) {
    // Alternate the order so that neither side always finds the caches warmed by the other.
    if (run % 2 == 0) {
      floor.push_back(TimeFloor(cabinet, section, expectedFiles, &status));
      product.push_back(TimeProduct(cabinet, section, expectedFiles, &status));
    } else {
      product.push_back(TimeProduct(cabinet, section, expectedFiles, &status));
      floor.push_back(TimeFloor(cabinet, section, expectedFiles, &status));
    }
  }
  Report(section, "floor", "FDI, empty callbacks (floor)", "ms", floor);
  Report(section, "product", "HandleDroppedFile + report", "ms", product);

  // Wine's expand.exe writes every entry of a cabinet to its one output name, so it can
  // stand beside the program only for a cabinet of one file.
  wchar_t expand[2 * MAX_PATH], extrac32[2 * MAX_PATH];
  swprintf(expand, 2 * MAX_PATH, L"expand.exe %ls %lsexpanded.dat", cabinet, ExpandDir);
  swprintf(extrac32, 2 * MAX_PATH, L"extrac32.exe /Y /E /L %ls %ls", Extrac32Dir, cabinet);
  std::vector<double> expandTimes, extrac32Times;
  for (int run = 0; run < toolRuns && expectedFiles == 1; ++run) {
    if (!TimeTool(expand, ExpandDir, section, expectedFiles, &expandTimes)) break;
  }
  if (expectedFiles != 1)
    Note(section, "expand.exe left out: Wine's expand writes all entries to one output file");
  for (int run = 0; run < toolRuns; ++run) {
    if (!TimeTool(extrac32, Extrac32Dir, section, expectedFiles, &extrac32Times)) break;
  }
  if (analyse) AnalyseDrop(cabinet, section, expectedFiles);
  if (!expandTimes.empty()) Report(section, "tool_expand", "expand.exe (Wine)", "ms", expandTimes);
  if (!extrac32Times.empty())
    Report(section, "tool_extrac32", "extrac32.exe (Wine)", "ms", extrac32Times);
  RemoveDirectoryTree(L"C:\\benchout");
  RemoveDirectoryTree(ProductRoot);
  return status;
}

// Where the time of a drop goes: the messages StatusBox handles (counted and timed from a
// subclass), the same drop with the box hidden and with no box at all, and the floor with
// the file times and attributes that the program must set.
namespace {

const CountedMessage EditMessages[] = {
    {EM_REPLACESEL, "EM_REPLACESEL"},       {WM_SETTEXT, "WM_SETTEXT"},
    {EM_SETSEL, "EM_SETSEL"},               {WM_GETTEXTLENGTH, "WM_GETTEXTLENGTH"},
    {EM_GETLIMITTEXT, "EM_GETLIMITTEXT"},   {EM_SETLIMITTEXT, "EM_SETLIMITTEXT"},
    {WM_VSCROLL, "WM_VSCROLL"},             {WM_PAINT, "WM_PAINT"},
    {WM_NCPAINT, "WM_NCPAINT"},             {WM_ERASEBKGND, "WM_ERASEBKGND"}};

}  // namespace

namespace {

constexpr int QuickRuns = 3;

// The floor with the file times and attributes the program sets, set on a reopened file and
// on the written handle.
void AnalyseFloorTimes(const wchar_t* cabinet, const char* section, unsigned expected) {
  struct {
    FloorTimes mode;
    const char* key;
    const char* label;
  } timed[] = {{FloorTimes::Reopened, "diag_floor_times",
                "analysis: floor + file times and attributes"},
               {FloorTimes::WrittenHandle, "diag_floor_handle",
                "analysis: the same, time set on the written handle"}};
  ULONGLONG writeTimes[2] = {};
  int variantIndex = 0;
  for (const auto& variant : timed) {
    std::vector<double> samples;
    for (int run = 0; run < QuickRuns; ++run) {
      FreshDirectory(FloorDir);
      Settle();
      double t0 = NowMs();
      int files = FloorExtract(cabinet, FloorDir, variant.mode);
      samples.push_back(NowMs() - t0);
      if (files != static_cast<int>(expected))
        Note(section, "%s: %d files", variant.key, files);
    }
    Report(section, variant.key, variant.label, "ms", samples);
    writeTimes[variantIndex++] = FirstFileWriteTime(FloorDir);
  }
  Note(section, "last-write time of the first file: %s either way",
       writeTimes[0] == writeTimes[1] && writeTimes[0] ? "the same" : "NOT the same");
}

// The drop with StatusBox subclassed: each message it handles counted and timed.
void AnalyseCountedDrop(const wchar_t* cabinet, const char* section, unsigned expected,
                        int* status) {
  StartCounting(StatusBox, EditMessages, std::size(EditMessages));
  ProductTime counted = TimeProductParts(cabinet, section, expected, status);
  Note(section, "drop: %.1f ms in HandleDroppedFile, %.1f ms painting afterwards", counted.handle,
       counted.paint);
  std::vector<double> replaceTimes = StopCounting(StatusBox, section, "StatusBox");
  Report(section, "diag_counted", "analysis: drop, StatusBox subclassed", "ms",
         {counted.handle + counted.paint});
  size_t tenth = replaceTimes.size() / 10;
  if (!tenth) return;
  double first = 0, last = 0;
  for (size_t i = 0; i < tenth; ++i) {
    first += replaceTimes[i];
    last += replaceTimes[replaceTimes.size() - 1 - i];
  }
  Note(section, "EM_REPLACESEL: %.2f ms a call over the first tenth of the entries, %.2f ms "
       "over the last tenth", first / tenth, last / tenth);
}

// The box hidden while the drop runs and shown (and painted) at its end: the same text,
// scrolled to the same line, and nothing else to see, since the window paints nothing
// before HandleDroppedFile returns anyway.
void AnalyseHiddenBox(const wchar_t* cabinet, const char* section, unsigned expected) {
  LRESULT firstLine = SendMessageW(StatusBox, EM_GETFIRSTVISIBLELINE, 0, 0);
  LRESULT lines = SendMessageW(StatusBox, EM_GETLINECOUNT, 0, 0);
  std::vector<double> hidden;
  for (int run = 0; run < QuickRuns; ++run) {
    RemoveDirectoryTree(ProductRoot);
    HDROP drop = MakeDrop(cabinet);
    Settle();
    double t0 = NowMs();
    ShowWindow(StatusBox, SW_HIDE);
    HandleDroppedFile(MainWindow, drop);
    PumpUntilDropEnds();
    ShowWindow(StatusBox, SW_SHOW);
    PumpPending();
    hidden.push_back(NowMs() - t0);
    if (CountUnpackedFiles() != expected) Note(section, "hidden-box drop: wrong number of files");
  }
  Report(section, "diag_hidden", "analysis: drop, StatusBox hidden until the end", "ms", hidden);
  Note(section, "the box shows line %ld of %ld onwards after a drop, line %ld of %ld when it was "
       "hidden during the drop", static_cast<long>(firstLine), static_cast<long>(lines),
       static_cast<long>(SendMessageW(StatusBox, EM_GETFIRSTVISIBLELINE, 0, 0)),
       static_cast<long>(SendMessageW(StatusBox, EM_GETLINECOUNT, 0, 0)));
}

}  // namespace

void AnalyseDrop(const wchar_t* cabinet, const char* section, unsigned expected) {
  int status = 0;
  AnalyseFloorTimes(cabinet, section, expected);
  AnalyseCountedDrop(cabinet, section, expected, &status);
  AnalyseHiddenBox(cabinet, section, expected);

  HWND box = StatusBox;
  StatusBox = nullptr;
  std::vector<double> noBox;
  for (int run = 0; run < QuickRuns; ++run)
    noBox.push_back(TimeProduct(cabinet, section, expected, &status));
  Report(section, "diag_nobox", "analysis: drop, no StatusBox at all", "ms", noBox);
  StatusBox = box;

  // The search of the unpack directory that follows the extraction, alone.
  std::vector<double> walk;
  for (int run = 0; run < QuickRuns; ++run) {
    Settle();
    double t0 = NowMs();
    CountUnpackedFiles();
    walk.push_back(NowMs() - t0);
  }
  Report(section, "diag_walk", "analysis: FindFirstFileW walk of the unpack directory", "ms",
         walk);
}
