#include "tests/core/register/drop_support.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "window/drop.h"
#include "window/globals.h"
#include "tests/common/registry_fixture.h"
#include "tests/common/wait.h"

const wchar_t TestClassId[] = L"{7A3C0002-5E21-4b8d-9F14-3C2B1A0D9E51}";

void CreateTestWindows() {
  if (MainWindow) return;
  WNDCLASSW cls = {};
  cls.lpfnWndProc = DefWindowProcW;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.lpszClassName = L"RegisterTestMain";
  RegisterClassW(&cls);
  MainWindow = CreateWindowExW(0, L"RegisterTestMain", L"Ctlwarden", WS_POPUP | WS_VISIBLE, 0, 0,
                               600, 450, nullptr, nullptr, cls.hInstance, nullptr);
  PathBox = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 176, 100, 370, 30,
                            MainWindow, nullptr, cls.hInstance, nullptr);
  StatusBox = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE,
                              176, 220, 370, 200, MainWindow, nullptr, cls.hInstance, nullptr);
}

HDROP MakeDrop(const std::vector<std::wstring>& paths) {
  size_t chars = 1;
  for (const auto& p : paths) chars += p.size() + 1;
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
  auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
  files->pFiles = sizeof(DROPFILES);
  files->fWide = TRUE;
  auto* names = reinterpret_cast<wchar_t*>(files + 1);
  for (const auto& p : paths) {
    memcpy(names, p.c_str(), (p.size() + 1) * sizeof(wchar_t));
    names += p.size() + 1;
  }
  *names = 0;
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

std::wstring WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(window, &text[0], length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

std::string HostPathAnsi(const char* unixPath) {
  std::string path = std::string("Z:") + unixPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::wstring HostPath(const char* unixPath) { return Widen(HostPathAnsi(unixPath)); }

std::string Narrow(const std::wstring& wide) {
  char buffer[4096] = {};
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, buffer, sizeof buffer, nullptr, nullptr);
  return buffer;
}

std::wstring Widen(const std::string& ansi) {
  wchar_t buffer[4096] = {};
  MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, buffer, 4096);
  return buffer;
}

void WaitForNextSecond() {
  time_t start = time(nullptr);
  while (time(nullptr) == start) Sleep(20);
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadWholeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string content;
  char buffer[65536];
  DWORD got;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) content.append(buffer, got);
  CloseHandle(file);
  return content;
}

bool WriteWholeFile(const std::wstring& path, const std::string& content) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  return written == content.size();
}

std::vector<std::wstring> FilesIn(const std::wstring& directory) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((directory + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

void ForceDelete(const std::wstring& path) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path.c_str());
}

std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) {
      if (start < text.size()) lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

namespace {
bool Regsvr32Runs() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  bool runs = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !runs;
       more = Process32NextW(snapshot, &entry))
    runs = lstrcmpiW(entry.szExeFile, L"regsvr32.exe") == 0;
  CloseHandle(snapshot);
  return runs;
}
}  // namespace

void WaitForRegistrationsToEnd() { WaitUntil([] { return !Regsvr32Runs(); }, 30000); }

void RemoveTestControlKeys(const std::vector<std::wstring>& baseNames) {
  WaitForRegistrationsToEnd();
  for (const auto& base : baseNames) RemoveTree(L"Vorn.Test." + base);
  RemoveTree(std::wstring(L"CLSID\\") + TestClassId);
  RemoveTree(L"Interface\\{7A3C0001-5E21-4B8D-9F14-3C2B1A0D9E51}");
  RemoveTree(L"TypeLib\\{7A3C0000-5E21-4B8D-9F14-3C2B1A0D9E51}");
}

namespace {
ShownTexts* Recording = nullptr;

LRESULT CALLBACK RecordShown(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = CallWindowProcW(Recording->previous, window, message, wParam, lParam);
  if (message == WM_SETTEXT || message == EM_REPLACESEL)
    Recording->texts.push_back(WindowText(window));
  return result;
}
}  // namespace

ShownTexts::ShownTexts(HWND box) : box(box) {
  Recording = this;
  previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordShown)));
}

ShownTexts::~ShownTexts() {
  SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
  Recording = nullptr;
}

FILETIME ExpectedUtc(USHORT date, USHORT time) {
  SYSTEMTIME local = {};
  local.wYear = static_cast<WORD>(1980 + (date >> 9));
  local.wMonth = (date >> 5) & 15;
  local.wDay = date & 31;
  local.wHour = time >> 11;
  local.wMinute = (time >> 5) & 63;
  local.wSecond = static_cast<WORD>((time & 31) * 2);
  FILETIME localTime = {}, utc = {};
  SystemTimeToFileTime(&local, &localTime);
  LocalFileTimeToFileTime(&localTime, &utc);
  return utc;
}

unsigned long long Ticks(const FILETIME& t) {
  return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

void WaitForDropToEnd() {
  while (DropInProgress()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

std::wstring LastUnpackDir() {
  // Each cabinet's folder gets a number above every folder before it (or this second's).
  long long highest = 0;
  bool found = false;
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(L"C:\\VornActiveX\\*", &data);
  if (search == INVALID_HANDLE_VALUE) return L"";
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    const wchar_t* p = data.cFileName;
    if (*p == L'-') ++p;
    if (!*p || wcsspn(p, L"0123456789") != wcslen(p)) continue;
    long long number = _wtoi64(data.cFileName);
    if (!found || number > highest) highest = number;
    found = true;
  } while (FindNextFileW(search, &data));
  FindClose(search);
  return found ? L"C:/VornActiveX/" + std::to_wstring(highest) + L"/" : L"";
}
