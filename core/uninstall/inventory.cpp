#include "core/uninstall/inventory.h"

#include <cwchar>
#include <iterator>

#include "platform/system_path.h"
#include "platform/text.h"
#include "core/uninstall/query.h"
#include "core/uninstall/remove.h"

namespace {

constexpr wchar_t MachineClasses[] = L"Software\\Classes";
constexpr wchar_t ClassPrefix[] = L"CLSID\\";
constexpr wchar_t ServerSuffix[] = L"\\InprocServer32";
constexpr wchar_t ClsidSuffix[] = L"\\CLSID";
// A version resource is a few kilobytes; a larger one is not read.
constexpr DWORD VersionInfoBound = 1 << 20;

enum class ReadResult { Ok, Missing, TooLong };

// The default value of subkey below the machine's classes in the view given by flag (a string,
// REG_EXPAND_SZ expanded), whole or not at all.
ReadResult ReadDefaultString(REGSAM viewFlag, const wchar_t* subkey, wchar_t* out, size_t cap) {
  wmemset(out, L'\0', cap);
  HKEY classes;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, MachineClasses, 0, KEY_READ | viewFlag, &classes) !=
      ERROR_SUCCESS)
    return ReadResult::Missing;
  HKEY key;
  LONG opened = RegOpenKeyExW(classes, subkey, 0, KEY_QUERY_VALUE | viewFlag, &key);
  RegCloseKey(classes);
  if (opened != ERROR_SUCCESS) return ReadResult::Missing;
  // One character held back, so the text ends inside the buffer even when stored without
  // its terminator.
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>((cap - 1) * sizeof(wchar_t));
  LONG result = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(out), &size);
  RegCloseKey(key);
  if (result == ERROR_MORE_DATA) {
    wmemset(out, L'\0', cap);
    return ReadResult::TooLong;
  }
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    wmemset(out, L'\0', cap);
    return ReadResult::Missing;
  }
  out[size / sizeof(wchar_t)] = L'\0';
  if (type == REG_SZ) return out[0] ? ReadResult::Ok : ReadResult::Missing;

  wchar_t* expanded = static_cast<wchar_t*>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, cap * sizeof(wchar_t)));
  if (!expanded) {
    wmemset(out, L'\0', cap);
    return ReadResult::Missing;
  }
  DWORD needed = ExpandEnvironmentStringsW(out, expanded, static_cast<DWORD>(cap));
  ReadResult read = ReadResult::Ok;
  if (needed == 0 || needed > cap) {
    read = needed == 0 ? ReadResult::Missing : ReadResult::TooLong;
    wmemset(out, L'\0', cap);
  } else {
    CopyText(out, cap, expanded);
  }
  HeapFree(GetProcessHeap(), 0, expanded);
  return read == ReadResult::Ok && !out[0] ? ReadResult::Missing : read;
}

bool Is64BitWindows() { return sizeof(void*) == 8 || DetectWow64(); }

REGSAM FlagOf(int view) { return view == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY; }

// The class's InprocServer32 in one view: Ok with the file, TooLong, or Missing.
ReadResult ReadServer(const wchar_t* clsid, int view, wchar_t (&file)[InventoryFileCapacity]) {
  wchar_t path[std::size(ClassPrefix) + InventoryNameCapacity + std::size(ServerSuffix)] = {};
  if (!CopyText(path, ClassPrefix) || !AppendText(path, clsid) || !AppendText(path, ServerSuffix))
    return ReadResult::Missing;
  return ReadDefaultString(FlagOf(view), path, file, InventoryFileCapacity);
}

struct VersionFunctions {
  decltype(&GetFileVersionInfoSizeW) size;
  decltype(&GetFileVersionInfoW) read;
  decltype(&VerQueryValueW) query;
};

// version.dll is not one of the system's known DLLs: an import would be looked for in the
// program's own folder first, so it is loaded at run time from the system directory only.
const VersionFunctions* VersionLibrary() {
  static VersionFunctions functions = {};
  static bool loaded = false;
  if (loaded) return &functions;
  HMODULE module = nullptr;
  if (HasDllSearchFlags()) {
    module = LoadLibraryExW(L"version.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  } else {
    wchar_t path[MAX_PATH];
    if (SystemPath(L"version.dll", path))
      module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  if (!module) return nullptr;
  VersionFunctions found = {
      reinterpret_cast<decltype(&GetFileVersionInfoSizeW)>(
          reinterpret_cast<void*>(GetProcAddress(module, "GetFileVersionInfoSizeW"))),
      reinterpret_cast<decltype(&GetFileVersionInfoW)>(
          reinterpret_cast<void*>(GetProcAddress(module, "GetFileVersionInfoW"))),
      reinterpret_cast<decltype(&VerQueryValueW)>(
          reinterpret_cast<void*>(GetProcAddress(module, "VerQueryValueW"))),
  };
  if (!found.size || !found.read || !found.query) {
    FreeLibrary(module);
    return nullptr;
  }
  functions = found;
  loaded = true;
  return &functions;
}

bool FileIsThere(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileIdentity(const wchar_t* path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE file = CreateFileW(path, FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool known = GetFileInformationByHandle(file, &info) != FALSE;
  CloseHandle(file);
  return known;
}

struct Walk {
  void (*found)(const InstalledControl&, void*);
  void* context;
  InstalledControl control;
};

void ReadEach(const wchar_t* progId, void* context) {
  auto* walk = static_cast<Walk*>(context);
  ReadInstalledControl(progId, true, walk->control);
  walk->found(walk->control, walk->context);
}

}  // namespace

int OwnRegistryView() { return sizeof(void*) == 8 ? 64 : 32; }

void ReadInstalledControl(const wchar_t* progId, bool anyView, InstalledControl& control) {
  control = InstalledControl();
  control.state = ControlState::NoProgId;
  if (!IsKeyName(progId) || !CopyText(control.progId, progId)) return;

  int own = OwnRegistryView();
  HKEY classes;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, MachineClasses, 0, KEY_READ | FlagOf(own), &classes) !=
      ERROR_SUCCESS)
    return;
  HKEY key;
  LONG opened = RegOpenKeyExW(classes, progId, 0, KEY_QUERY_VALUE, &key);
  RegCloseKey(classes);
  if (opened != ERROR_SUCCESS) return;
  RegCloseKey(key);

  control.state = ControlState::NoClsid;
  wchar_t path[InventoryNameCapacity + std::size(ClsidSuffix)] = {};
  CopyText(path, progId);
  AppendText(path, ClsidSuffix);
  if (ReadDefaultString(FlagOf(own), path, control.clsid, InventoryNameCapacity) !=
          ReadResult::Ok ||
      !IsKeyName(control.clsid)) {
    control.clsid[0] = 0;
    return;
  }

  control.state = ControlState::NoServer;
  int views[2] = {own, own == 64 ? 32 : 64};
  int viewCount = anyView && Is64BitWindows() ? 2 : 1;
  for (int i = 0; i < viewCount; ++i) {
    ReadResult read = ReadServer(control.clsid, views[i], control.file);
    if (read == ReadResult::Missing) continue;
    control.view = views[i];
    if (read == ReadResult::TooLong) {
      control.state = ControlState::FileTooLong;
      return;
    }
    control.present = FileIsThere(control.file);
    control.state = control.present ? ControlState::Complete : ControlState::FileMissing;
    if (control.present) ReadFileVersion(control.file, control.version);
    return;
  }
}

int ForEachInventoryEntry(void (*found)(const InstalledControl& control, void* context),
                          void* context) {
  // The entry is large (a path of 1000 characters): on the heap, not on the stack.
  auto* walk = static_cast<Walk*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Walk)));
  if (!walk) return -1;
  walk->found = found;
  walk->context = context;
  int count = ForEachInstalledControl(ReadEach, walk);
  HeapFree(GetProcessHeap(), 0, walk);
  return count;
}

bool ReadFileVersion(const wchar_t* path, wchar_t (&version)[InventoryVersionCapacity]) {
  version[0] = 0;
  const VersionFunctions* library = VersionLibrary();
  if (!library) return false;
  DWORD handle = 0;
  DWORD size = library->size(path, &handle);
  if (size == 0 || size > VersionInfoBound) return false;
  void* data = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
  if (!data) return false;
  bool read = false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (library->read(path, 0, size, data) &&
      library->query(data, L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed &&
      length >= sizeof(VS_FIXEDFILEINFO) && fixed->dwSignature == 0xFEEF04BD) {
    wsprintfW(version, L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
              LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
              LOWORD(fixed->dwFileVersionLS));
    read = true;
  }
  HeapFree(GetProcessHeap(), 0, data);
  return read;
}

bool SameFile(const wchar_t* a, const wchar_t* b) {
  wchar_t fullA[InventoryFileCapacity], fullB[InventoryFileCapacity];
  DWORD lengthA = GetFullPathNameW(a, InventoryFileCapacity, fullA, nullptr);
  DWORD lengthB = GetFullPathNameW(b, InventoryFileCapacity, fullB, nullptr);
  if (lengthA == 0 || lengthA >= InventoryFileCapacity || lengthB == 0 ||
      lengthB >= InventoryFileCapacity)
    return false;
  if (CompareStringOrdinal(fullA, -1, fullB, -1, TRUE) == CSTR_EQUAL) return true;
  BY_HANDLE_FILE_INFORMATION infoA, infoB;
  return FileIdentity(fullA, infoA) && FileIdentity(fullB, infoB) &&
         infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
         infoA.nFileIndexHigh == infoB.nFileIndexHigh && infoA.nFileIndexLow == infoB.nFileIndexLow;
}
