#include "tests/unattended/unattended_driver.h"

#include <utility>

namespace {
struct WindowSearch {
  DWORD processId;
  std::vector<std::pair<HWND, std::wstring>> found;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId) return TRUE;
  wchar_t early[16] = {};
  GetClassNameW(window, early, 16);
  // A message box is noted once shown, when its caption and text are set.
  if (lstrcmpW(early, L"#32770") == 0 && !IsWindowVisible(window)) return TRUE;
  wchar_t cls[64] = {}, title[128] = {};
  GetClassNameW(window, cls, 64);
  InternalGetWindowText(window, title, 128);
  std::wstring name = std::wstring(cls) + L": " + title;
  HWND text = GetDlgItem(window, 0xFFFF);  // a message box's text
  if (text) {
    wchar_t message[2048] = {};
    InternalGetWindowText(text, message, 2048);
    name += std::wstring(L": ") + message;
  }
  search->found.push_back({window, name});
  return TRUE;
}

void NoteWindows(DWORD processId, UnattendedRun& run, std::vector<HWND>& known) {
  WindowSearch search = {processId, {}};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  for (auto& [window, name] : search.found) {
    bool seen = false;
    for (HWND k : known) seen = seen || k == window;
    if (seen) continue;
    known.push_back(window);
    run.windows.push_back(name);
    // A message box would wait for an answer until the bound: answer it, the run is failed
    // by the window already.
    if (name.rfind(L"#32770", 0) == 0)
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
}
}  // namespace

StartedRun StartUnattended(const std::wstring& exe, const std::wstring& arguments, HANDLE stdoutFile,
                           const std::wstring& folder) {
  StartOptions options;
  options.stdoutFile = stdoutFile;
  options.folder = folder;
  return StartUnattended(exe, arguments, options);
}

StartedRun StartUnattended(const std::wstring& exe, const std::wstring& arguments,
                           const StartOptions& options) {
  StartedRun run;
  std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  std::wstring desktop = options.desktop;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  // As a service starts it: no standard handles but the ones given (Wine would otherwise hand
  // the test's own to the program).
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = options.stdoutFile;
  startup.hStdError = options.stderrFile ? options.stderrFile : options.stdoutFile;
  if (!desktop.empty()) startup.lpDesktop = &desktop[0];
  bool inherit = options.stdoutFile != nullptr || options.stderrFile != nullptr;
  run.started = CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, inherit, 0, nullptr,
                               options.folder.empty() ? nullptr : options.folder.c_str(), &startup,
                               &run.process) != FALSE;
  return run;
}

UnattendedRun FinishUnattended(StartedRun& started, unsigned bound) {
  UnattendedRun run;
  if (!started.started) return run;
  run.processId = started.process.dwProcessId;
  std::vector<HWND> known;
  DWORD end = GetTickCount() + bound;
  for (;;) {
    NoteWindows(started.process.dwProcessId, run, known);
    if (WaitForSingleObject(started.process.hProcess, 10) == WAIT_OBJECT_0) break;
    if (static_cast<int>(end - GetTickCount()) <= 0) break;
  }
  run.ended = WaitForSingleObject(started.process.hProcess, 0) == WAIT_OBJECT_0;
  if (run.ended) {
    GetExitCodeProcess(started.process.hProcess, &run.exitCode);
  } else {
    TerminateProcess(started.process.hProcess, 99);
  }
  CloseHandle(started.process.hProcess);
  CloseHandle(started.process.hThread);
  started.started = false;
  return run;
}

UnattendedRun RunUnattended(const std::wstring& exe, const std::wstring& arguments,
                            HANDLE stdoutFile, unsigned bound, const std::wstring& folder) {
  StartedRun started = StartUnattended(exe, arguments, stdoutFile, folder);
  return FinishUnattended(started, bound);
}

HANDLE InheritableFile(const std::wstring& path) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string FileBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read) bytes.append(chunk, read);
  CloseHandle(file);
  return bytes;
}

bool HasByteOrderMark(const std::string& bytes) { return bytes.rfind("\xEF\xBB\xBF", 0) == 0; }

std::wstring Utf8ToWide(const std::string& bytes) {
  std::string text = HasByteOrderMark(bytes) ? bytes.substr(3) : bytes;
  if (text.empty()) return L"";
  int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::vector<std::wstring> Fields(const std::wstring& line) {
  std::vector<std::wstring> fields;
  size_t start = 0;
  for (;;) {
    size_t end = line.find(L'\t', start);
    fields.push_back(line.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  return fields;
}

std::vector<std::vector<std::wstring>> Events(const std::vector<std::wstring>& lines,
                                              const std::wstring& action,
                                              const std::wstring& subject) {
  std::vector<std::vector<std::wstring>> found;
  for (const std::wstring& line : lines) {
    if (line.empty() || line[0] == L'#') continue;
    std::vector<std::wstring> fields = Fields(line);
    if (fields.size() < 5) continue;
    if (fields[1] == action && (subject.empty() || fields[2] == subject)) found.push_back(fields);
  }
  return found;
}
