#include "core/register/registered_folders.h"

#include <cwchar>
#include <initializer_list>

#include "platform/growing_array.h"
#include "platform/unique.h"
#include "platform/text.h"

namespace {

// A registry value of up to the longest path Windows takes (32,767 characters) is read whole.
constexpr size_t ValueCapacity = 33000;

bool SameFolder(const wchar_t* a, const wchar_t* b) {
  return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

bool StartsWith(const wchar_t* text, const wchar_t* prefix) {
  size_t length = TextLength(prefix);
  return wcsncmp(text, prefix, length) == 0;
}

struct Texts {
  wchar_t raw[ValueCapacity];
  wchar_t expanded[ValueCapacity];
  wchar_t full[ValueCapacity];
  wchar_t head[ValueCapacity];
};

// The path in its long, full form, as far as its first two names below the drive: that is
// all that tells the folder. Short names are made long where the folder exists; one that does
// not exist holds nothing to delete.
bool LongFolderPart(const wchar_t* path, Texts& texts) {
  const wchar_t* from = path;
  if (*from == L'"') ++from;  // a quoted path, as some registrations write it
  if (StartsWith(from, L"\\\\?\\") || StartsWith(from, L"\\\\.\\")) from += 4;
  wcsncpy(texts.head, from, ValueCapacity - 1);
  texts.head[ValueCapacity - 1] = 0;
  size_t end = TextLength(texts.head);
  if (end && texts.head[end - 1] == L'"') texts.head[end - 1] = 0;
  DWORD length = GetFullPathNameW(texts.head, ValueCapacity, texts.full, nullptr);
  if (length < 3 || length >= ValueCapacity) return false;
  // "C:\A\B": cut behind the second name.
  wchar_t* cut = texts.full + 3;
  for (int names = 0; names < 2 && cut; ++names) {
    cut = wcschr(cut, L'\\');
    if (cut && names == 0) ++cut;
  }
  if (cut) *cut = 0;
  length = GetLongPathNameW(texts.full, texts.head, ValueCapacity);
  if (length > 0 && length < ValueCapacity) CopyText(texts.full, texts.head);
  return true;
}

bool FolderFromLongPart(const wchar_t* full, UnpackFolderText& folder) {
  constexpr size_t RootLength = UnpackRootPathLength;
  if (CompareStringOrdinal(full, static_cast<int>(RootLength), UnpackRootPath,
                           static_cast<int>(RootLength), TRUE) != CSTR_EQUAL)
    return false;
  const wchar_t* name = full + RootLength;
  size_t length = TextLength(name);
  if (!IsUnpackFolderName(name, length)) return false;
  wmemcpy(folder, UnpackRootPath, RootLength);
  wmemcpy(folder + RootLength, name, length);
  folder[RootLength + length] = L'\\';
  folder[RootLength + length + 1] = 0;
  return true;
}

bool FolderOf(const wchar_t* path, Texts& texts, UnpackFolderText& folder) {
  folder[0] = 0;
  return LongFolderPart(path, texts) && FolderFromLongPart(texts.full, folder);
}

// Notes the unpack folder that the class's InprocServer32 names. False when the value cannot
// be judged (too long even for these buffers).
bool NoteServer(HKEY classes, REGSAM view, const wchar_t* clsid, Texts& texts, FolderList& used) {
  wchar_t path[256 + 16] = {};
  if (!CopyText(path, clsid) || !AppendText(path, L"\\InprocServer32")) return true;
  UniqueKey key;
  if (RegOpenKeyExW(classes, path, 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS) return true;
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>((ValueCapacity - 1) * sizeof(wchar_t));
  LONG result = RegQueryValueExW(key.get(), nullptr, nullptr, &type,
                                 reinterpret_cast<BYTE*>(texts.raw), &size);
  key.reset();
  if (result == ERROR_MORE_DATA) return false;
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return true;
  texts.raw[size / sizeof(wchar_t)] = 0;
  const wchar_t* file = texts.raw;
  if (type == REG_EXPAND_SZ) {
    DWORD needed = ExpandEnvironmentStringsW(texts.raw, texts.expanded, ValueCapacity);
    if (needed == 0 || needed > ValueCapacity) return false;
    file = texts.expanded;
  }
  UnpackFolderText folder;
  if (FolderOf(file, texts, folder)) AddFolder(used, folder);
  return true;
}

// The names of the classes, read whole before any is looked at: a class deleted meanwhile
// would shift an enumeration by index past others.
using ClassName = wchar_t[256];
constexpr size_t ClassNamesBound = 1 << 22;

bool ReadClassNames(HKEY classes, GrowingArray<ClassName>& list) {
  for (DWORD index = 0;; ++index) {
    ClassName name;
    DWORD length = 256;
    LONG result = RegEnumKeyExW(classes, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;  // no class name; nothing of ours
    if (result == ERROR_NO_MORE_ITEMS) return true;
    if (result != ERROR_SUCCESS || !list.Append(name)) return false;
  }
}

bool ScanView(REGSAM view, Texts& texts, FolderList& used) {
  UniqueKey classes;
  LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID", 0,
                              KEY_READ | view, classes.put());
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) return false;
  GrowingArray<ClassName> names(ClassNamesBound, 1024);
  bool complete = ReadClassNames(classes.get(), names);
  for (size_t i = 0; complete && i < names.Size(); ++i)
    complete = NoteServer(classes.get(), view, names[i], texts, used);
  return complete;
}

}  // namespace

bool ContainsFolder(const FolderList& list, const wchar_t* folder) {
  for (size_t i = 0; i < list.folders.Size(); ++i)
    if (SameFolder(list.folders[i], folder)) return true;
  return false;
}

void AddFolder(FolderList& list, const wchar_t* folder) {
  if (ContainsFolder(list, folder)) return;
  UnpackFolderText text;
  if (!CopyText(text, folder) || !list.folders.Append(text)) list.complete = false;
}

bool IsUnpackFolderName(const wchar_t* name, size_t length) {
  size_t start = length > 0 && name[0] == L'-' ? 1 : 0;
  if (length <= start || length - start > 10) return false;
  for (size_t i = start; i < length; ++i)
    if (name[i] < L'0' || name[i] > L'9') return false;
  return true;
}

bool UnpackFolderOf(const wchar_t* path, UnpackFolderText& folder) {
  UniqueHeap<Texts> texts = HeapAllocate<Texts>(1, false);
  folder[0] = 0;
  if (!texts) return false;
  return FolderOf(path, *texts.get(), folder);
}

bool ScanRegisteredFolders(FolderList& used) {
  UniqueHeap<Texts> block = HeapAllocate<Texts>(1, false);
  if (!block) return false;
  Texts& texts = *block.get();
  bool complete = true;
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
    complete = complete && ScanView(view, texts, used);
  return complete && used.complete;
}
