// The built program started as a deployment tool starts it: a command line, maybe a file as
// standard output, waited for until it ends; every top-level window of its process that
// appears meanwhile is noted.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tests/core/register/drop_support.h"  // Lines

struct UnattendedRun {
  bool ended = false;
  DWORD processId = 0;
  DWORD exitCode = 0xFFFFFFFF;
  // "class: title" of each top-level window of the process seen while it ran, and ": text"
  // for a message box.
  std::vector<std::wstring> windows;
};

// Starts "exe" arguments. stdoutFile: a handle the program gets as its standard output
// (inherited), or null for none: then it has no console either, as under a deployment tool. A window that shows up is recorded, and a message box among
// them is answered with OK so the run still ends. bound in milliseconds.
// folder: the current folder it starts in (empty: this process's).
UnattendedRun RunUnattended(const std::wstring& exe, const std::wstring& arguments,
                            HANDLE stdoutFile, unsigned bound, const std::wstring& folder = L"");

// Starts the run and returns at once; Finish waits for it.
struct StartedRun {
  PROCESS_INFORMATION process = {};
  bool started = false;
};
StartedRun StartUnattended(const std::wstring& exe, const std::wstring& arguments, HANDLE stdoutFile,
                           const std::wstring& folder = L"");
UnattendedRun FinishUnattended(StartedRun& run, unsigned bound);

// The same with more of what a starter decides: a standard error of its own (null: the
// standard output's handle), and the window station and desktop ("station\\desktop"; empty:
// this process's).
struct StartOptions {
  HANDLE stdoutFile = nullptr;
  HANDLE stderrFile = nullptr;
  std::wstring folder;
  std::wstring desktop;
};
StartedRun StartUnattended(const std::wstring& exe, const std::wstring& arguments,
                           const StartOptions& options);

// A file handle that child processes inherit, for their standard output.
HANDLE InheritableFile(const std::wstring& path);
// A file's bytes as UTF-8 text, and as wide text after its byte-order mark (which must be there).
std::string FileBytes(const std::wstring& path);
bool HasByteOrderMark(const std::string& bytes);
std::wstring Utf8ToWide(const std::string& bytes);
// The tab-separated fields of a line.
std::vector<std::wstring> Fields(const std::wstring& line);
// The fields of the event lines (not the header) whose action and subject are these; subject
// empty: any.
std::vector<std::vector<std::wstring>> Events(const std::vector<std::wstring>& lines,
                                              const std::wstring& action,
                                              const std::wstring& subject = L"");
