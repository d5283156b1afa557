// Cabinet of controls dropped: the whole of HandleDroppedFile, each control registered and
// waited for, to the final report, against the system's regsvr32 /s run on the same files one
// after another and waited for.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/benches.h"
#include "bench/host_window.h"
#include "bench/processes.h"
#include "bench/timing.h"
#include "core/register/cabinet.h"
#include "core/register/register_control.h"
#include "window/drop.h"
#include "window/globals.h"
#include "platform/unique.h"

namespace {

constexpr char Section[] = "register";
constexpr wchar_t ProductRoot[] = L"C:\\VornActiveX";
constexpr wchar_t FloorDir[] = L"C:\\benchout\\regfloor\\";
constexpr wchar_t CabinetSuccess[] = L"注册状态:注册成功！";

// The names (without their folder) of the files directly in the directory.
std::vector<std::wstring> FileNames(const wchar_t* directory) {
  std::vector<std::wstring> names;
  wchar_t pattern[MAX_PATH];
  swprintf(pattern, MAX_PATH, L"%ls*", directory);
  WIN32_FIND_DATAW entry;
  UniqueFind search(FindFirstFileW(pattern, &entry));
  if (!search) return names;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
  } while (FindNextFileW(search.get(), &entry));
  return names;
}

// The test control registers its ProgID as "Vorn.Test." and its file's base name.
void ProgIdKey(const std::wstring& file, wchar_t (&key)[MAX_PATH]) {
  std::wstring base = file.substr(0, file.rfind(L'.'));
  swprintf(key, MAX_PATH, L"Vorn.Test.%ls", base.c_str());
}

void ForgetRegistrations(const std::vector<std::wstring>& files) {
  for (const auto& file : files) {
    wchar_t key[MAX_PATH];
    ProgIdKey(file, key);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, key);
  }
}

// How many of the files' ProgIDs exist: each registration must really have run.
unsigned CountRegistered(const std::vector<std::wstring>& files) {
  unsigned found = 0;
  for (const auto& file : files) {
    wchar_t key[MAX_PATH];
    ProgIdKey(file, key);
    UniqueKey opened;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_READ, opened.put()) == ERROR_SUCCESS) ++found;
  }
  return found;
}

bool EndsWith(const std::wstring& text, const wchar_t* tail) {
  size_t n = wcslen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

std::wstring StatusBoxText() {
  int length = GetWindowTextLengthW(StatusBox);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(StatusBox, &text[0], length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

double TimeProduct(const wchar_t* cabinet, const std::vector<std::wstring>& files,
                   int* status) {
  RemoveDirectoryTree(ProductRoot);
  ForgetRegistrations(files);
  HDROP drop = MakeDrop(cabinet);
  Settle();
  double t0 = NowMs();
  HandleDroppedFile(MainWindow, drop);
  PumpUntilDropEnds();  // every regsvr32 waited for on the worker, the report on this thread
  PumpPending();        // the final report painted
  double t1 = NowMs();
  unsigned registered = CountRegistered(files);
  std::wstring report = StatusBoxText();
  // The report ends with the status line and its line break.
  while (!report.empty() && (report.back() == L'\n' || report.back() == L'\r')) report.pop_back();
  if (registered != files.size() || !EndsWith(report, CabinetSuccess)) {
    Note(Section, "drop: %u of %u controls registered; the report ends \"%ls\"", registered,
         static_cast<unsigned>(files.size()),
         report.size() > 40 ? report.c_str() + report.size() - 40 : report.c_str());
    *status = 1;
  }
  return t1 - t0;
}

// Runs command line per file (a format with one %ls for the file's full path), one after the
// other, each waited for; -1 when one of them failed.
double TimeEach(const wchar_t* format, const std::vector<std::wstring>& files, const char* key,
                int* status) {
  ForgetRegistrations(files);
  Settle();
  double total = 0;
  for (const auto& file : files) {
    wchar_t path[MAX_PATH], commandLine[4 * MAX_PATH];
    swprintf(path, MAX_PATH, L"%ls%ls", FloorDir, file.c_str());
    swprintf(commandLine, 4 * MAX_PATH, format, path);
    DWORD code = 0;
    double t = TimeProcess(commandLine, &code);
    if (t < 0 || code != 0) {
      Note(Section, "%s: %ls ended with %lu", key, commandLine, static_cast<unsigned long>(code));
      *status = 1;
      return -1;
    }
    total += t;
  }
  unsigned registered = CountRegistered(files);
  if (registered != files.size()) {
    Note(Section, "%s: %u of %u controls registered", key, registered,
         static_cast<unsigned>(files.size()));
    *status = 1;
  }
  return total;
}

// The registration core on each file, no window and no unpacking: the load probe, then the
// interpreter and regsvr32, waited for (probeOnly: the probe alone).
double TimeCore(const std::vector<std::wstring>& files, bool probeOnly, const char* key,
                int* status) {
  ForgetRegistrations(files);
  Settle();
  double total = 0;
  for (const auto& file : files) {
    wchar_t path[MAX_PATH];
    swprintf(path, MAX_PATH, L"%ls%ls", FloorDir, file.c_str());
    double t0 = NowMs();
    bool ok;
    RegistrationResult result = {};
    if (probeOnly) {
      ok = ProbeControl(path, &result.error) == ProbeStatus::Control;
    } else {
      result = RegisterControl(path, ControlSource::InCabinet);
      ok = result.status == RegistrationStatus::Registered;
    }
    total += NowMs() - t0;
    if (!ok) {
      Note(Section, "%s: %ls failed (status %d, error %lu, exit code %lu)", key, path,
           static_cast<int>(result.status), static_cast<unsigned long>(result.error),
           static_cast<unsigned long>(result.exitCode));
      *status = 1;
      return -1;
    }
  }
  if (!probeOnly && CountRegistered(files) != files.size()) {
    Note(Section, "%s: not every control registered", key);
    *status = 1;
  }
  return total;
}

}  // namespace

int RunRegisterBench(const wchar_t* cabinet, int runs, unsigned expectedControls) {
  CreateHostWindow(true);
  int status = 0;
  // The floor's files: the cabinet's own controls, unpacked once.
  RemoveDirectoryTree(L"C:\\benchout");
  CreateDirectoryW(L"C:\\benchout", nullptr);
  CreateDirectoryW(FloorDir, nullptr);
  if (FloorExtract(cabinet, FloorDir) != static_cast<int>(expectedControls)) {
    Note(Section, "the cabinet did not give %u files", expectedControls);
    return 1;
  }
  std::vector<std::wstring> files = FileNames(FloorDir);

  wchar_t system[MAX_PATH];
  UINT n = GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  wchar_t floorFormat[2 * MAX_PATH], cmdFormat[4 * MAX_PATH];
  swprintf(floorFormat, 2 * MAX_PATH, L"\"%ls\\regsvr32.exe\" /s \"%%ls\"", system);
  // What the program starts for each control: the interpreter, which starts regsvr32.
  swprintf(cmdFormat, 4 * MAX_PATH,
           L"\"%ls\\cmd.exe\" /d /v:off /c \"\"%ls\\regsvr32.exe\" /s \"%%ls\"\"", system,
           system);

  std::vector<double> floor, product, viaCmd;
  for (int run = 0; run < runs; ++run) {
    // Alternate the order so that neither side always finds the caches warmed by the other.
    double f = 0, p = 0;
    if (run % 2 == 0) {
      f = TimeEach(floorFormat, files, "floor", &status);
      p = TimeProduct(cabinet, files, &status);
    } else {
      p = TimeProduct(cabinet, files, &status);
      f = TimeEach(floorFormat, files, "floor", &status);
    }
    if (f >= 0) floor.push_back(f);
    product.push_back(p);
  }
  std::vector<double> core, probe;
  for (int run = 0; run < runs; ++run) {
    double c = TimeEach(cmdFormat, files, "diag_cmd", &status);
    if (c >= 0) viaCmd.push_back(c);
    double r = TimeCore(files, false, "diag_core", &status);
    if (r >= 0) core.push_back(r);
    double l = TimeCore(files, true, "diag_probe", &status);
    if (l >= 0) probe.push_back(l);
  }
  Note(Section, "%u controls; StatusBox shows %d characters after the drop",
       static_cast<unsigned>(files.size()), GetWindowTextLengthW(StatusBox));
  Report(Section, "floor", "regsvr32 /s, one after another (floor)", "ms", floor);
  Report(Section, "product", "HandleDroppedFile + report", "ms", product);
  Report(Section, "diag_cmd", "analysis: cmd.exe /c regsvr32 /s, one after another", "ms",
         viaCmd);
  Report(Section, "diag_core", "analysis: RegisterControl on each file, no window", "ms", core);
  Report(Section, "diag_probe", "analysis: the load probe alone on each file", "ms", probe);
  RemoveDirectoryTree(L"C:\\benchout");
  RemoveDirectoryTree(ProductRoot);
  ForgetRegistrations(files);
  return status;
}
