// Removal of the interface and type-library keys that belong to one control's type library.
#include <cstring>

#include "platform/text.h"
#include "core/uninstall/key_tree.h"

namespace {
constexpr size_t TypeLibCapacity = 255;
constexpr size_t AnsiNameCapacity = 255;
constexpr DWORD SubkeyNameCapacity = 256;
constexpr size_t ChildPathCapacity = 255;
// A braced GUID text: "{", eight digits of the first group, "-"; the rest must agree.
constexpr size_t ComparedFrom = 10;

// Some families store their type-library text with lower-case letters in the third group
// while the registry keys are upper case; raise those positions in the sweep's own copy.
void ApplyCaseFixes(const wchar_t* progId, wchar_t* typeLib) {
  size_t progIdLength = TextLength(progId);
  if (progIdLength < FamilyTagLength) return;
  size_t length = TextLength(typeLib);
  for (const TypeLibCaseFix& fix : TypeLibCaseFixes) {
    if (wmemcmp(progId, fix.familyTag, FamilyTagLength) != 0) continue;
    for (int i = 0; i < fix.count; ++i) {
      size_t at = static_cast<size_t>(fix.positions[i]);
      if (at < length) typeLib[at] = static_cast<wchar_t>(typeLib[at] - 32);
    }
    return;
  }
}

// Equal from position 10 to the end, code unit by code unit. A name of another length cannot
// match: the part compared must be the name's own, not what an earlier name left behind.
bool AgreesBeyondFirstGroup(const wchar_t* name, size_t nameLength, const wchar_t* typeLib,
                            size_t typeLibLength) {
  if (typeLibLength <= ComparedFrom || nameLength != typeLibLength) return false;
  return wmemcmp(name + ComparedFrom, typeLib + ComparedFrom, typeLibLength - ComparedFrom) == 0;
}
}  // namespace

void SweepGuidKeys(const wchar_t* progId, const wchar_t* typeLib, const wchar_t* keyName) {
  wchar_t fixed[TypeLibCapacity] = {};
  if (!CopyText(fixed, typeLib)) return;
  ApplyCaseFixes(progId, fixed);
  size_t fixedLength = TextLength(fixed);

  char ansiName[AnsiNameCapacity];
  memset(ansiName, 0, sizeof ansiName);
  if (WideCharToMultiByte(CP_ACP, 0, keyName, -1, ansiName, AnsiNameCapacity, nullptr,
                          nullptr) == 0)
    return;
  HKEY key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ansiName, 0, KEY_READ, &key) != ERROR_SUCCESS) return;

  wchar_t name[SubkeyNameCapacity];
  for (DWORD index = 0;; ++index) {
    DWORD length = SubkeyNameCapacity;
    LONG result = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    // A name too long for the buffer (Wine allows 256 characters) cannot match a type-library
    // text; it is passed over rather than ending the sweep before the control's own keys.
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) break;
    if (!AgreesBeyondFirstGroup(name, length, fixed, fixedLength)) continue;
    // A child path that does not fit is skipped: a cut one would name another key.
    wchar_t childPath[ChildPathCapacity];
    if (CopyText(childPath, keyName) && AppendText(childPath, L"\\") &&
        AppendText(childPath, name))
      DeleteClassesRootTree(childPath);
    // The index goes on after a deletion too; the subkey that moved into this index waits
    // for the next sweep.
  }
  RegCloseKey(key);
}
