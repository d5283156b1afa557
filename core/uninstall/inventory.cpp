#include "core/uninstall/inventory.h"

#include <cwchar>
#include <iterator>

#include "platform/key_default.h"
#include "platform/system_library.h"
#include "platform/unique.h"
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
  UniqueKey classes;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, MachineClasses, 0, KEY_READ | viewFlag, classes.put()) !=
      ERROR_SUCCESS)
    return ReadResult::Missing;
  DWORD type = REG_NONE;
  KeyDefault read = ReadKeyDefault(classes.get(), subkey, viewFlag, out, cap, &type);
  if (read == KeyDefault::TooLong) return ReadResult::TooLong;
  if (read != KeyDefault::Text || !out[0]) return ReadResult::Missing;
  if (type == REG_SZ) return ReadResult::Ok;

  UniqueHeap<wchar_t> expanded = HeapAllocate<wchar_t>(cap);
  DWORD needed = expanded ? ExpandEnvironmentStringsW(out, expanded.get(), static_cast<DWORD>(cap)) : 0;
  if (needed == 0 || needed > cap || !expanded.get()[0]) {
    wmemset(out, L'\0', cap);
    return needed > cap ? ReadResult::TooLong : ReadResult::Missing;
  }
  CopyText(out, cap, expanded.get());
  return ReadResult::Ok;
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

// version.dll is not one of the system's known DLLs: it is loaded from the system directory.
bool FindVersionFunctions(VersionFunctions& functions) {
  static SystemLibrary library(L"version.dll");
  functions.size = library.Find<decltype(&GetFileVersionInfoSizeW)>("GetFileVersionInfoSizeW");
  functions.read = library.Find<decltype(&GetFileVersionInfoW)>("GetFileVersionInfoW");
  functions.query = library.Find<decltype(&VerQueryValueW)>("VerQueryValueW");
  return functions.size && functions.read && functions.query;
}

bool FileIsThere(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileIdentity(const wchar_t* path, BY_HANDLE_FILE_INFORMATION& info) {
  UniqueCreateFileHandle file(CreateFileW(path, FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file && GetFileInformationByHandle(file.get(), &info) != FALSE;
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
  UniqueKey classes, key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, MachineClasses, 0, KEY_READ | FlagOf(own), classes.put()) !=
          ERROR_SUCCESS ||
      RegOpenKeyExW(classes.get(), progId, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
    return;

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
  UniqueHeap<Walk> walk = HeapAllocate<Walk>();
  if (!walk) return -1;
  walk.get()->found = found;
  walk.get()->context = context;
  return ForEachInstalledControl(ReadEach, walk.get());
}

bool ReadFileVersion(const wchar_t* path, wchar_t (&version)[InventoryVersionCapacity]) {
  version[0] = 0;
  VersionFunctions library = {};
  if (!FindVersionFunctions(library)) return false;
  DWORD handle = 0;
  DWORD size = library.size(path, &handle);
  if (size == 0 || size > VersionInfoBound) return false;
  UniqueHeap<BYTE> data = HeapAllocate<BYTE>(size);
  if (!data) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!library.read(path, 0, size, data.get()) ||
      !library.query(data.get(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
      length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD)
    return false;
  wsprintfW(version, L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
            LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
            LOWORD(fixed->dwFileVersionLS));
  return true;
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
