// Query: one pass over the direct subkeys of HKEY_CLASSES_ROOT.
#include <cstdio>
#include <iterator>
#include <cwchar>
#include <vector>

#include "bench/benches.h"
#include "bench/host_window.h"
#include "bench/message_counter.h"
#include "bench/processes.h"
#include "bench/registry_data.h"
#include "bench/timing.h"
#include "window/globals.h"
#include "core/uninstall/query.h"
#include "tests/window/query_list.h"

namespace {

constexpr unsigned MakerKeys = 200;

void MakerName(unsigned index, wchar_t* name, size_t capacity) {
  swprintf(name, capacity, L"%lsBenchCtl%03u", MakerPrefixes[index % 3], index);
}

// A spread of names like those of a real HKEY_CLASSES_ROOT: ProgIDs of many vendors, file
// extensions, and names that nearly look like the maker's and must not be listed.
void FillerName(unsigned index, wchar_t* name, size_t capacity) {
  static const wchar_t* const Words[] = {
      L"Alder", L"Birch", L"Cedar", L"Delta", L"Ember", L"Flint", L"Grove", L"Hazel", L"Iris",
      L"Jade",  L"Kelp",  L"Lumen", L"Maple", L"Nova",  L"Opal",  L"Pine",  L"Quartz", L"Reed",
      L"Sage",  L"Tide",  L"Umber", L"Vale",  L"Wren",  L"Xeno",  L"Yarrow", L"Zinc"};
  static const wchar_t* const NearMisses[] = {L"vorn.%u", L"VORN%u", L"PDF.v%u", L"Vorn_%u",
                                              L"pdf.V%u", L"VOR.%u"};
  const wchar_t* word = Words[(index / 10) % 26];
  switch (index % 10) {
    case 6:
    case 7:
      swprintf(name, capacity, L".b%05x", index);
      break;
    case 8:
      swprintf(name, capacity, L"%ls.Document.%u", word, index);
      break;
    case 9:
      swprintf(name, capacity, NearMisses[(index / 10) % 6], index);
      break;
    default:
      swprintf(name, capacity, L"%ls.Component%u.1", word, index);
  }
}

// The floor: every key name fetched once, nothing else.
DWORD EnumerateClassesRoot() {
  wchar_t name[256];
  DWORD index = 0;
  for (;;) {
    DWORD length = 256;
    if (RegEnumKeyExW(HKEY_CLASSES_ROOT, index, name, &length, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS)
      break;
    ++index;
  }
  return index;
}

// What the query should find, counted independently of the program (not timed).
int CountMakerKeys() {
  wchar_t name[256];
  int found = 0;
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    if (RegEnumKeyExW(HKEY_CLASSES_ROOT, index, name, &length, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS)
      break;
    for (const wchar_t* prefix : MakerPrefixes)
      if (wcsncmp(name, prefix, 5) == 0) ++found;
  }
  return found;
}

// Where the time of a query goes: the messages ControlList handles, and the same query with
// the list hidden and with its redrawing off until the end.
void AnalyseQuery(const char* section, int expected) {
  static const CountedMessage ListMessages[] = {{LB_ADDSTRING, "LB_ADDSTRING"},
                                                {LB_DELETESTRING, "LB_DELETESTRING"},
                                                {LB_GETCOUNT, "LB_GETCOUNT"}};
  Settle();
  StartCounting(ControlList, ListMessages, std::size(ListMessages));
  double t0 = NowMs();
  QueryInstalledControls();
  double t1 = NowMs();
  StopCounting(ControlList, section, "ControlList");
  Report(section, "diag_counted", "analysis: query, ControlList subclassed", "ms", {t1 - t0});

  std::vector<double> hidden, noRedraw;
  for (int run = 0; run < 3; ++run) {
    Settle();
    t0 = NowMs();
    ShowWindow(ControlList, SW_HIDE);
    QueryInstalledControls();
    ShowWindow(ControlList, SW_SHOW);
    PumpPending();
    hidden.push_back(NowMs() - t0);
    // The list drawn once at the end instead of after every change: the same final list.
    Settle();
    t0 = NowMs();
    SendMessageW(ControlList, WM_SETREDRAW, FALSE, 0);
    QueryInstalledControls();
    SendMessageW(ControlList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(ControlList, nullptr, TRUE);
    PumpPending();
    noRedraw.push_back(NowMs() - t0);
  }
  Report(section, "diag_hidden", "analysis: query, ControlList hidden until the end", "ms",
         hidden);
  Report(section, "diag_noredraw", "analysis: query, WM_SETREDRAW off until the end", "ms",
         noRedraw);
  if (SendMessageW(ControlList, LB_GETCOUNT, 0, 0) != expected)
    Note(section, "redraw-off query: the list holds a different number of names");
}

}  // namespace

int RunQueryBench(DWORD keys, int runs, int toolRuns) {
  char section[32];
  snprintf(section, sizeof section, "query%lu", static_cast<unsigned long>(keys));
  double start = NowMs();
  wchar_t name[256];
  for (unsigned i = 0; i < MakerKeys; ++i) {
    MakerName(i, name, 256);
    PutKey(name);
  }
  if (FillSubkeys(L"", keys, FillerName) < 0) {
    Note(section, "could not fill HKEY_CLASSES_ROOT");
    return 1;
  }
  DWORD total = CountSubkeys(L"");
  int expected = CountMakerKeys();
  Note(section, "HKCR has %lu direct subkeys, %d of them the maker's (filled in %.0f ms)",
       static_cast<unsigned long>(total), expected, NowMs() - start);

  CreateHostWindow(false);
  std::vector<double> floor, product;
  int status = 0;
  for (int run = 0; run < runs; ++run) {
    Settle();
    double t0 = NowMs();
    DWORD seen = EnumerateClassesRoot();
    floor.push_back(NowMs() - t0);
    Settle();
    t0 = NowMs();
    int listed = QueryInstalledControls();
    product.push_back(NowMs() - t0);
    LRESULT shown = SendMessageW(ControlList, LB_GETCOUNT, 0, 0);
    if (seen != total || listed != expected || shown != expected) {
      Note(section, "run %d: enumerated %lu, listed %d, list shows %ld, expected %d", run,
           static_cast<unsigned long>(seen), listed, static_cast<long>(shown), expected);
      status = 1;
    }
  }
  Report(section, "floor", "RegEnumKeyExW loop (floor)", "ms", floor);
  Report(section, "product", "QueryInstalledControls", "ms", product);
  AnalyseQuery(section, expected);

  std::vector<double> tool;
  for (int run = 0; run < toolRuns; ++run) {
    DWORD code = 0;
    Settle();
    double t = TimeProcess(L"reg.exe query HKCR", &code);
    if (t < 0 || code != 0) {
      Note(section, "reg.exe query HKCR failed (exit code %lu)", static_cast<unsigned long>(code));
      break;
    }
    tool.push_back(t);
  }
  if (!tool.empty()) Report(section, "tool_reg", "reg query HKCR (Wine reg.exe)", "ms", tool);
  return status;
}
