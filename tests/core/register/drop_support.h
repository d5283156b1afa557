// What the drop tests share: the main window with its two edit boxes, drops built by hand,
// the fixtures as Windows paths, and small file and registry helpers.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

// Creates (once) a top-level window with PathBox (single-line) and StatusBox (multi-line
// with a vertical scroll bar) as children, and puts them into the program's globals.
void CreateTestWindows();

// A drop handle as the shell builds it: a DROPFILES block with wide names.
HDROP MakeDrop(const std::vector<std::wstring>& paths);

std::wstring WindowText(HWND window);

// Handles the messages of this thread until the drop under way (if any) has ended: its work
// runs on a thread of its own and reports to this one.
void WaitForDropToEnd();

// A path below the build tree, as Wine shows it on drive Z:.
std::wstring HostPath(const char* unixPath);
std::string HostPathAnsi(const char* unixPath);
std::string Narrow(const std::wstring& wide);  // to the ANSI code page
std::wstring Widen(const std::string& ansi);

// Sleeps until the clock enters a new second, so that the next cabinet gets a directory of
// its own.
void WaitForNextSecond();

// The folder of the cabinet unpacked last, as the report names it: "C:/VornActiveX/<n>/", or
// empty when there is none.
std::wstring LastUnpackDir();

bool FileExists(const std::wstring& path);
std::string ReadWholeFile(const std::wstring& path);
bool WriteWholeFile(const std::wstring& path, const std::string& content);
// Names of the files directly in a directory, sorted.
std::vector<std::wstring> FilesIn(const std::wstring& directory);
// Clears read-only and deletes; a missing file is fine.
void ForceDelete(const std::wstring& path);

// A cabinet entry's local date and time as the UTC time a file keeps, worked out field by field
// rather than through the conversion the program uses.
FILETIME ExpectedUtc(USHORT date, USHORT time);
unsigned long long Ticks(const FILETIME& t);

// Splits a report at "\r\n" (the last line may be unterminated).
std::vector<std::wstring> Lines(const std::wstring& text);

// Waits (at most 30 s) until no regsvr32 runs. A case that has seen the keys it waited for
// may find regsvr32 still writing the rest: a key removed before it ends would come back and
// show in a later case's query.
void WaitForRegistrationsToEnd();
// The keys that testctl.dll registers under a given base name, and the shared class keys,
// once no regsvr32 runs.
void RemoveTestControlKeys(const std::vector<std::wstring>& baseNames);
extern const wchar_t TestClassId[];

// Records every text that a window shows after WM_SETTEXT or EM_REPLACESEL, for as long as
// the object lives.
struct ShownTexts {
  explicit ShownTexts(HWND box);
  ~ShownTexts();
  std::vector<std::wstring> texts;
  HWND box;
  WNDPROC previous;
};
