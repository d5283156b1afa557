#include "unattended/run_output.h"

#include <utility>

#include "platform/growing_array.h"
#include "platform/text.h"
#include "platform/unique.h"

namespace {
HANDLE Console = nullptr;  // standard output, or the attached console's screen buffer
bool ConsoleIsScreen = false;  // WriteConsoleW, else UTF-8 bytes through WriteFile
HANDLE ErrorOutput = nullptr;
UniqueCreateFileHandle LogFiles[2];  // the default log, /log

// What is held back for the log files, until the block starts or the run ends.
constexpr size_t HeldBound = 4 * 1024 * 1024;  // characters; past it, lines go out as they come
GrowingArray<wchar_t> Held(HeldBound, 16384);
bool BlockStarted = false;

const char ByteOrderMark[] = "\xEF\xBB\xBF";

// One WriteFile for the whole text: an append of one write is not split by another process's.
void WriteUtf8(HANDLE file, const wchar_t* text, size_t count) {
  if (count == 0 || count > 0x7FFFFFFF) return;
  int length = static_cast<int>(count);
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  UniqueHeap<char> utf8 = HeapAllocate<char>(static_cast<SIZE_T>(bytes), false);
  if (!utf8) return;
  WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.get(), bytes, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(file, utf8.get(), static_cast<DWORD>(bytes), &written, nullptr);
}

void WriteToFiles(const wchar_t* text, size_t count) {
  for (const UniqueCreateFileHandle& file : LogFiles)
    if (file) WriteUtf8(file.get(), text, count);
}

void WriteHeld() {
  if (Held.Size()) WriteToFiles(Held.Data(), Held.Size());
  Held.Clear();
}

bool Hold(const wchar_t* text, size_t count) { return Held.Append(text, count); }

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

void Open(UniqueCreateFileHandle& slot, const wchar_t* full, LogOpening* opening, unsigned long long rotateOver,
          const wchar_t* oldPath) {
  LogFileOpening file = OpenLogFile(full, rotateOver, oldPath);
  opening->reason = file.reason;
  opening->error = file.error;
  if (!file.file) return;
  slot = std::move(file.file);
  MarkIfEmptyFile(slot.get());
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
  if (LogFiles[0] &&
      CompareStringOrdinal(logOpening->path, -1, defaultOpening->path, -1, TRUE) == CSTR_EQUAL)
    return;
  Open(LogFiles[1], logOpening->path, logOpening, 0, nullptr);
}

void CloseRunOutput() {
  WriteHeld();
  for (UniqueCreateFileHandle& file : LogFiles) file.reset();
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
