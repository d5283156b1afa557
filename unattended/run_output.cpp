#include "unattended/run_output.h"

#include "platform/text.h"

namespace {
HANDLE Console = nullptr;  // standard output, or the attached console's screen buffer
bool ConsoleIsScreen = false;  // WriteConsoleW, else UTF-8 bytes through WriteFile
HANDLE LogFile = INVALID_HANDLE_VALUE;

constexpr size_t LogPathCapacity = 1000;
const char ByteOrderMark[] = "\xEF\xBB\xBF";

void WriteUtf8(HANDLE file, const wchar_t* text) {
  int length = static_cast<int>(TextLength(text));
  if (length == 0) return;
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  auto* utf8 = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(bytes)));
  if (!utf8) return;
  WideCharToMultiByte(CP_UTF8, 0, text, length, utf8, bytes, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(file, utf8, static_cast<DWORD>(bytes), &written, nullptr);
  HeapFree(GetProcessHeap(), 0, utf8);
}

// A file that is still empty starts with the byte-order mark; one that holds earlier runs
// already has it. A pipe gets none: its reader takes the text as it comes.
void MarkIfEmptyFile(HANDLE file) {
  LARGE_INTEGER size = {};
  if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) && size.QuadPart == 0) {
    DWORD written = 0;
    WriteFile(file, ByteOrderMark, 3, &written, nullptr);
  }
}

// Standard output when the starter handed one over (a redirection, a pipe of the deployment
// tool); else the console of the process that started this one, as a console program would
// write to it. Standard output gets no byte-order mark, even as a file: scripts read it line by
// line (findstr /x, a detection script), and a mark would become part of the first line.
void FindConsole() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN) {
    DWORD mode = 0;
    Console = out;
    ConsoleIsScreen = GetConsoleMode(out, &mode) != 0;
    return;
  }
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (screen == INVALID_HANDLE_VALUE) return;
  Console = screen;
  ConsoleIsScreen = true;
}

// Creates every missing folder above the file at path (a full path).
void CreateParentFolders(const wchar_t* path) {
  wchar_t folder[LogPathCapacity] = {};
  if (!CopyText(folder, path)) return;
  size_t length = TextLength(folder);
  // Skip the root: "C:\" or "\\server\share\".
  size_t start = 3;
  if (folder[0] == L'\\' && folder[1] == L'\\') {
    int separators = 0;
    for (start = 2; start < length && separators < 2; ++start)
      if (folder[start] == L'\\') ++separators;
  }
  for (size_t i = start; i < length; ++i) {
    if (folder[i] != L'\\' && folder[i] != L'/') continue;
    wchar_t kept = folder[i];
    folder[i] = 0;
    CreateDirectoryW(folder, nullptr);
    folder[i] = kept;
  }
}

// Appends to the file, so a log keeps every run; others may read it meanwhile, and a second
// run waiting for this one may append too.
bool OpenLogFile(const wchar_t* path, DWORD* error) {
  wchar_t full[LogPathCapacity] = {};
  DWORD length = GetFullPathNameW(path, LogPathCapacity, full, nullptr);
  if (length == 0 || length >= LogPathCapacity) {
    *error = length ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
    return false;
  }
  CreateParentFolders(full);
  LogFile = CreateFileW(full, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (LogFile == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return false;
  }
  MarkIfEmptyFile(LogFile);
  return true;
}
}  // namespace

bool DefaultLogPath(wchar_t* path, size_t capacity) {
  UINT length = GetSystemWindowsDirectoryW(path, static_cast<UINT>(capacity));
  if (length == 0 || length >= capacity) return false;
  return AppendText(path, capacity, L"\\Logs\\Ctlwarden.log");
}

bool OpenRunOutput(const wchar_t* logPath, DWORD* error) {
  *error = 0;
  FindConsole();
  if (logPath) return OpenLogFile(logPath, error);
  if (Console) return true;
  wchar_t fallback[LogPathCapacity] = {};
  DWORD ignored = 0;
  if (DefaultLogPath(fallback, LogPathCapacity)) OpenLogFile(fallback, &ignored);
  return true;
}

void CloseRunOutput() {
  if (LogFile != INVALID_HANDLE_VALUE) CloseHandle(LogFile);
  LogFile = INVALID_HANDLE_VALUE;
}

bool HasConsoleOutput() { return Console != nullptr; }

void WriteToConsole(const wchar_t* text) {
  if (!Console) return;
  if (ConsoleIsScreen) {
    DWORD written = 0;
    WriteConsoleW(Console, text, static_cast<DWORD>(TextLength(text)), &written, nullptr);
  } else {
    WriteUtf8(Console, text);
  }
}

void WriteToLog(const wchar_t* text) {
  if (LogFile != INVALID_HANDLE_VALUE) WriteUtf8(LogFile, text);
}
