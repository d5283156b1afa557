#include "unattended/run_output.h"

#include "platform/text.h"

namespace {
HANDLE Console = nullptr;  // standard output, or the attached console's screen buffer
bool ConsoleIsScreen = false;  // WriteConsoleW, else UTF-8 bytes through WriteFile
HANDLE ErrorOutput = nullptr;
HANDLE LogFiles[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};  // the default log, /log

// What is held back for the log files, until the block starts or the run ends.
wchar_t* Held = nullptr;
size_t HeldLength = 0;
size_t HeldCapacity = 0;
bool BlockStarted = false;
constexpr size_t HeldBound = 4 * 1024 * 1024;  // characters; past it, lines go out as they come

const char ByteOrderMark[] = "\xEF\xBB\xBF";

// One WriteFile for the whole text: an append of one write is not split by another process's.
void WriteUtf8(HANDLE file, const wchar_t* text, size_t count) {
  if (count == 0 || count > 0x7FFFFFFF) return;
  int length = static_cast<int>(count);
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  auto* utf8 = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(bytes)));
  if (!utf8) return;
  WideCharToMultiByte(CP_UTF8, 0, text, length, utf8, bytes, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(file, utf8, static_cast<DWORD>(bytes), &written, nullptr);
  HeapFree(GetProcessHeap(), 0, utf8);
}

void WriteToFiles(const wchar_t* text, size_t count) {
  for (HANDLE file : LogFiles)
    if (file != INVALID_HANDLE_VALUE) WriteUtf8(file, text, count);
}

void WriteHeld() {
  if (HeldLength) WriteToFiles(Held, HeldLength);
  HeldLength = 0;
}

bool Hold(const wchar_t* text, size_t count) {
  if (HeldLength + count > HeldCapacity) {
    size_t capacity = HeldCapacity ? HeldCapacity : 16384;
    while (capacity < HeldLength + count) capacity *= 2;
    if (capacity > HeldBound) return false;
    void* grown = Held ? HeapReAlloc(GetProcessHeap(), 0, Held, capacity * sizeof(wchar_t))
                       : HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(wchar_t));
    if (!grown) return false;
    Held = static_cast<wchar_t*>(grown);
    HeldCapacity = capacity;
  }
  for (size_t i = 0; i < count; ++i) Held[HeldLength++] = text[i];
  return true;
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

bool Usable(HANDLE handle) {
  return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// Standard output when the starter handed one over (a redirection, a pipe of the deployment
// tool); else the console of the process that started this one, as a console program would
// write to it. Standard output gets no byte-order mark, even as a file: scripts read it line by
// line (findstr /x, a detection script), and a mark would become part of the first line.
void FindConsole() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (Usable(error) && error != out) ErrorOutput = error;
  if (Usable(out)) {
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

void Open(HANDLE& slot, const wchar_t* full, LogOpening* opening, unsigned long long rotateOver,
          const wchar_t* oldPath) {
  LogFileOpening file = OpenLogFile(full, rotateOver, oldPath);
  opening->reason = file.reason;
  opening->error = file.error;
  if (file.file == INVALID_HANDLE_VALUE) return;
  slot = file.file;
  MarkIfEmptyFile(slot);
}

void OpenDefaultLog(LogOpening* opening) {
  wchar_t old[LogPathCapacity] = {};
  if (!DefaultLogPath(opening->path, LogPathCapacity) || !CopyText(old, opening->path) ||
      !EndsWith(old, L".log")) {
    opening->reason = L"the Windows folder cannot be found";
    return;
  }
  opening->given = true;
  old[TextLength(old) - 4] = 0;
  AppendText(old, L".old.log");
  Open(LogFiles[0], opening->path, opening, DefaultLogBound, old);
}
}  // namespace

bool DefaultLogPath(wchar_t* path, size_t capacity) {
  UINT length = GetSystemWindowsDirectoryW(path, static_cast<UINT>(capacity));
  if (length == 0 || length >= capacity) return false;
  return AppendText(path, capacity, L"\\Logs\\Ctlwarden.log");
}

void OpenRunOutput(const wchar_t* logPath, LogOpening* logOpening, LogOpening* defaultOpening) {
  FindConsole();
  OpenDefaultLog(defaultOpening);
  if (!logPath) return;
  logOpening->given = true;
  if (!ExpandLogPath(logPath, logOpening->path, &logOpening->reason, &logOpening->error)) {
    if (!logOpening->path[0]) CopyText(logOpening->path, LogPathCapacity, logPath);
    return;
  }
  // The default log named again: written once.
  if (LogFiles[0] != INVALID_HANDLE_VALUE &&
      CompareStringOrdinal(logOpening->path, -1, defaultOpening->path, -1, TRUE) == CSTR_EQUAL)
    return;
  Open(LogFiles[1], logOpening->path, logOpening, 0, nullptr);
}

void CloseRunOutput() {
  WriteHeld();
  for (HANDLE& file : LogFiles) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
  }
}

bool HasConsoleOutput() { return Console != nullptr; }

void WriteToConsole(const wchar_t* text) {
  if (!Console) return;
  if (ConsoleIsScreen) {
    DWORD written = 0;
    WriteConsoleW(Console, text, static_cast<DWORD>(TextLength(text)), &written, nullptr);
  } else {
    WriteUtf8(Console, text, TextLength(text));
  }
}

void WriteToError(const wchar_t* text) {
  if (ErrorOutput) WriteUtf8(ErrorOutput, text, TextLength(text));
}

void WriteToLog(const wchar_t* text) {
  size_t count = TextLength(text);
  if (BlockStarted) {
    WriteToFiles(text, count);
  } else if (!Hold(text, count)) {
    // No room to hold it: what is held and this line go out now, nothing is lost.
    WriteHeld();
    WriteToFiles(text, count);
  }
}

void WriteToLogNow(const wchar_t* text) { WriteToFiles(text, TextLength(text)); }

void StartLogBlock() {
  WriteHeld();
  BlockStarted = true;
}
