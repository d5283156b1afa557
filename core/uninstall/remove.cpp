// Removal of one control's registration: its ProgID key, its class key in the registry view of
// this system, the interface and type-library keys of its type library, and the maker's two
// file-type keys.
#include "core/uninstall/remove.h"

#include <cstring>
#include <cwchar>
#include <iterator>

#include "platform/text.h"
#include "core/uninstall/key_tree.h"
#include "core/uninstall/query.h"

namespace {
// A registry key name has at most 255 characters.
constexpr size_t KeyNameCapacity = 256;
constexpr wchar_t NativeClassPrefix[] = L"CLSID\\";
constexpr wchar_t WowClassPrefix[] = L"Wow6432Node\\CLSID\\";
constexpr wchar_t TypeLibSuffix[] = L"\\TypeLib";
constexpr wchar_t ClsidSuffix[] = L"\\CLSID";
constexpr size_t ClsidPathCapacity = KeyNameCapacity + std::size(ClsidSuffix) - 1;
// Room for the longer prefix, any class name and "\\TypeLib".
constexpr size_t ClassPathCapacity =
    std::size(WowClassPrefix) - 1 + KeyNameCapacity + std::size(TypeLibSuffix) - 1;

constexpr wchar_t ClassProgIdNames[][26] = {L"\\ProgID", L"\\VersionIndependentProgID"};
constexpr size_t ClassProgIdPathCapacity =
    std::size(WowClassPrefix) - 1 + KeyNameCapacity + std::size(ClassProgIdNames[1]) - 1;

// True when the class key names the ProgID being removed, or another ProgID of the maker, in
// its ProgID or VersionIndependentProgID subkey. For an elevated process HKEY_CLASSES_ROOT includes the
// user's own classes, which any process of the user may write: a ProgID of the maker planted
// there, or one of two products that both claim a class, may name a class of the system or
// of another maker, whose keys must stay. A class key that names no ProgID at all is kept
// too: the registration code of ATL, MFC, VB6 and Delphi controls writes ProgID under the
// class, while many classes of the system (shell folders and extensions) have none, so
// deleting those would reopen the hole for exactly them; a control of the maker without it
// keeps its class key, a leftover that points at its own file.
bool ClassBelongsTo(const wchar_t* progIdKey, const wchar_t* classPath) {
  for (const wchar_t* name : ClassProgIdNames) {
    wchar_t path[ClassProgIdPathCapacity] = {};
    wchar_t progId[KeyNameCapacity + 1];  // a ProgID as long as a key name is read whole
    if (!CopyText(path, classPath) || !AppendText(path, name)) continue;
    ReadDefaultValue(path, progId, std::size(progId));
    if (progId[0] && (HasVendorPrefix(progId) || lstrcmpiW(progId, progIdKey) == 0)) return true;
  }
  return false;
}

// The type-library text of the class, read afresh before each sweep; empty when the class is
// not known, so that the sweep deletes nothing.
void ReadTypeLib(bool classKnown, const wchar_t* typeLibPath,
                 wchar_t (&typeLib)[DefaultValueCapacity]) {
  if (classKnown) {
    ReadDefaultValue(typeLibPath, typeLib);
  } else {
    typeLib[0] = L'\0';
  }
}
}  // namespace

bool IsKeyName(const wchar_t* text) {
  size_t length = TextLength(text);
  return length > 0 && length < KeyNameCapacity && !wcschr(text, L'\\');
}

bool DetectWow64() {
  BOOL wow64 = FALSE;
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process");
  if (found) {
    auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(found));
    isWow64Process(GetCurrentProcess(), &wow64);
  }
  return wow64 != FALSE;
}

void ReadDefaultValue(const wchar_t* path, wchar_t* value, size_t capacity) {
  wmemset(value, L'\0', capacity);
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  // One character is held back, so the text ends inside the buffer even when the value was
  // stored without its terminator. A value that does not fit reads as empty, not cut.
  DWORD type = REG_NONE;
  DWORD size = static_cast<DWORD>((capacity - 1) * sizeof(wchar_t));
  LONG result =
      RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  // Only a string is a text: the bytes of a number, a binary value or a list of strings, read
  // as characters, would name keys that the control never registered.
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    wmemset(value, L'\0', capacity);
  } else if (size % sizeof(wchar_t) != 0) {
    value[size / sizeof(wchar_t)] = L'\0';  // half a character stored at the end is no text
  }
  RegCloseKey(key);
}

void ReadDefaultValue(const wchar_t* path, wchar_t (&value)[DefaultValueCapacity]) {
  ReadDefaultValue(path, value, DefaultValueCapacity);
}

void RemoveSpecialControl(const SpecialControl& row, bool wow64) {
  DeleteClassesRootTree(row.progId);
  DeleteClassesRootTree(row.typeLibPath);
  if (wow64) {
    DeleteClassesRootTree(row.wowClassPath);
    DeleteClassesRootTree(row.wowTypeLibPath);
  } else {
    DeleteClassesRootTree(row.classPath);
  }
}

int RemoveControlInView(const wchar_t* progId, bool wow64) {
  for (const SpecialControl& row : SpecialControls) {
    if (wcscmp(progId, row.progId) == 0) {
      RemoveSpecialControl(row, wow64);
      return 1;
    }
  }
  // Only a text that names one key below the root is a ProgID; anything else deletes nothing.
  // Nor does a ProgID key that is a registry link: what is read and deleted through it belongs
  // to the key it leads to, another program's registration.
  if (!IsKeyName(progId) || IsRegistryLink(HKEY_CLASSES_ROOT, progId)) return 1;

  wchar_t progIdKey[KeyNameCapacity] = {};
  CopyText(progIdKey, progId);

  wchar_t clsidPath[ClsidPathCapacity] = {};
  CopyText(clsidPath, progIdKey);
  AppendText(clsidPath, ClsidSuffix);
  wchar_t clsid[DefaultValueCapacity];
  ReadDefaultValue(clsidPath, clsid);

  // The maker's file types go with every control.
  DeleteClassesRootTree(L".zco");
  DeleteClassesRootTree(L".zxd");

  // Without a CLSID that names one key there is no class key of this control to read or
  // delete; a class that is not the maker's is neither deleted nor swept for (its type
  // library and interfaces are another program's), but the ProgID key still goes.
  bool classKnown = IsKeyName(clsid);
  wchar_t classPath[ClassPathCapacity] = {};
  wchar_t typeLibPath[ClassPathCapacity] = {};
  if (classKnown) {
    CopyText(classPath, wow64 ? WowClassPrefix : NativeClassPrefix);
    AppendText(classPath, clsid);
    CopyText(typeLibPath, classPath);
    AppendText(typeLibPath, TypeLibSuffix);
    classKnown = ClassBelongsTo(progIdKey, classPath);
  }

  // On 32-bit Windows there is no 32-bit view: "Interface" is swept a second time instead.
  const wchar_t* sweptKeys[] = {L"Interface", wow64 ? L"Wow6432Node\\Interface" : L"Interface",
                                L"TypeLib"};
  wchar_t typeLib[DefaultValueCapacity];
  for (const wchar_t* keyName : sweptKeys) {
    ReadTypeLib(classKnown, typeLibPath, typeLib);
    SweepGuidKeys(progIdKey, typeLib, keyName);
  }

  if (classKnown) DeleteClassesRootTree(classPath);
  DeleteClassesRootTree(progIdKey);
  return 1;
}

int RemoveControl(const wchar_t* progId) { return RemoveControlInView(progId, DetectWow64()); }
