// Removal of the interface and type-library keys that belong to one control's type library.
#include <cstring>
#include <cwchar>
#include <iterator>

#include "platform/key_default.h"
#include "platform/text.h"
#include "platform/unique.h"
#include "core/uninstall/key_tree.h"

namespace {
constexpr size_t TypeLibCapacity = 255;
constexpr size_t AnsiNameCapacity = 255;
constexpr DWORD SubkeyNameCapacity = 256;
constexpr size_t ChildPathCapacity = 255;
// A braced GUID text: "{", eight digits of the first group, "-"; the rest must agree.
constexpr size_t ComparedFrom = 10;
constexpr size_t BracedGuidLength = 38;
// The groups that every GUID of COM's own range ends in, from the hyphen after the first.
constexpr wchar_t SystemComTail[] = L"-0000-0000-C000-000000000046}";
constexpr size_t SystemComTailFrom = 9;
// A registered file path longer than this is taken for another file (never cut).
constexpr DWORD FileValueCapacity = 1024;

bool IsHexDigit(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// "{", eight hexadecimal digits, "-": the first group of a braced GUID.
bool HasHexFirstGroup(const wchar_t* name) {
  if (name[0] != L'{') return false;
  for (size_t i = 1; i <= 8; ++i)
    if (!IsHexDigit(name[i])) return false;
  return name[9] == L'-';
}

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

bool SameTextIgnoringCase(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength) {
  return CompareStringOrdinal(a, static_cast<int>(aLength), b, static_cast<int>(bLength), TRUE) ==
         CSTR_EQUAL;
}

// The registered file is the control's file, or its file followed by "\\" and the number of
// a type-library resource inside it.
bool IsControlFile(const wchar_t* registered, const wchar_t* controlFile) {
  size_t length = TextLength(registered), fileLength = TextLength(controlFile);
  if (fileLength == 0) return false;
  if (SameTextIgnoringCase(registered, length, controlFile, fileLength)) return true;
  size_t digits = 0;
  while (digits < length && registered[length - 1 - digits] >= L'0' &&
         registered[length - 1 - digits] <= L'9')
    ++digits;
  if (digits == 0 || digits + 1 > length || registered[length - 1 - digits] != L'\\') return false;
  return SameTextIgnoringCase(registered, length - 1 - digits, controlFile, fileLength);
}

// The default value of the subkey name of parent when it is a text (empty when the subkey is
// missing); false when there is a value that is no text or does not fit.
bool ReadFileValue(HKEY parent, const wchar_t* name, REGSAM view,
                   wchar_t (&file)[FileValueCapacity], bool& present) {
  KeyDefault read = ReadKeyDefault(parent, name, view, file);
  present = read != KeyDefault::NoKey;
  // A key without a value registers no file.
  return read == KeyDefault::Text || read == KeyDefault::NoKey || read == KeyDefault::NoValue;
}

// Every win32 and win64 value below one <lcid> key is the control's file.
bool LcidFilesAre(HKEY lcid, REGSAM view, const wchar_t* controlFile) {
  for (const wchar_t* platform : {L"win32", L"win64"}) {
    wchar_t file[FileValueCapacity];
    bool present = false;
    if (!ReadFileValue(lcid, platform, view, file, present)) return false;
    if (present && file[0] && !IsControlFile(file, controlFile)) return false;
  }
  return true;
}

// Calls each for every direct subkey of key, through a handle relative to it; false as soon as
// one subkey fails the test (or cannot be read, which counts as failing).
template <typename Test>
bool EverySubkey(HKEY key, REGSAM view, Test test) {
  wchar_t name[SubkeyNameCapacity];
  for (DWORD index = 0;; ++index) {
    DWORD length = SubkeyNameCapacity;
    LONG result = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) return true;
    if (result != ERROR_SUCCESS) return false;
    // A link is looked at as itself: it registers no file here, and the deletion refuses it.
    UniqueKey child;
    if (RegOpenKeyExW(key, name, REG_OPTION_OPEN_LINK, KEY_READ | view, child.put()) != ERROR_SUCCESS)
      return false;
    if (!test(child.get())) return false;
  }
}
// The key to sweep (Interface or TypeLib) in the view, opened by its ANSI name; none when it
// cannot be opened.
UniqueKey OpenSweptKey(const ClassesView& classes, const wchar_t* keyName) {
  char ansiName[AnsiNameCapacity];
  memset(ansiName, 0, sizeof ansiName);
  UniqueKey key;
  if (WideCharToMultiByte(CP_ACP, 0, keyName, -1, ansiName, AnsiNameCapacity, nullptr, nullptr))
    RegOpenKeyExA(classes.key.get(), ansiName, 0, KEY_READ | classes.view, key.put());
  return key;
}
}  // namespace

bool IsBracedGuid(const wchar_t* text) {
  if (TextLength(text) != BracedGuidLength || text[0] != L'{' || text[37] != L'}') return false;
  for (size_t i = 1; i < 37; ++i) {
    bool hyphen = i == 9 || i == 14 || i == 19 || i == 24;
    if (hyphen ? text[i] != L'-' : !IsHexDigit(text[i])) return false;
  }
  return true;
}

bool IsSystemComGuid(const wchar_t* text) {
  return IsBracedGuid(text) && SameTextIgnoringCase(text + SystemComTailFrom,
                                                    BracedGuidLength - SystemComTailFrom,
                                                    SystemComTail, std::size(SystemComTail) - 1);
}

bool RegisteredFilesAre(const ClassesView& classes, const wchar_t* path,
                        const wchar_t* controlFile) {
  if (!classes.key) return false;
  UniqueKey library;
  if (RegOpenKeyExW(classes.key.get(), path, REG_OPTION_OPEN_LINK, KEY_READ | classes.view,
                    library.put()) != ERROR_SUCCESS)
    return false;
  const REGSAM view = classes.view;
  // <version>\<lcid>\win32|win64; the version's FLAGS and HELPDIR keys hold no such subkey.
  return EverySubkey(library.get(), view, [&](HKEY version) {
    return EverySubkey(version, view,
                       [&](HKEY lcid) { return LcidFilesAre(lcid, view, controlFile); });
  });
}

void SweepGuidKeys(const ClassesView& classes, const wchar_t* progId, const wchar_t* typeLib,
                   const wchar_t* keyName, const wchar_t* controlFile, SweepTally& tally) {
  // Only a well-formed type-library GUID names keys to compare with; COM's own range is the
  // system's, whatever a class says.
  if (!classes.key || !IsBracedGuid(typeLib) || IsSystemComGuid(typeLib)) return;
  wchar_t fixed[TypeLibCapacity] = {};
  if (!CopyText(fixed, typeLib)) return;
  ApplyCaseFixes(progId, fixed);
  size_t fixedLength = TextLength(fixed);

  UniqueKey owned = OpenSweptKey(classes, keyName);
  if (!owned) return;
  HKEY key = owned.get();

  wchar_t name[SubkeyNameCapacity];
  wchar_t lastDeleted[SubkeyNameCapacity] = {};
  // The index moves on only past a key that stays: after a deletion the next key has moved
  // into the freed index, and it is examined there.
  for (DWORD index = 0;;) {
    DWORD length = SubkeyNameCapacity;
    LONG result = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    // A name too long for the buffer (Wine allows 256 characters) cannot match a type-library
    // text; it is passed over rather than ending the sweep before the control's own keys.
    if (result == ERROR_MORE_DATA) {
      ++index;
      continue;
    }
    if (result != ERROR_SUCCESS) break;
    // A key that reports its deletion yet comes back at the same index is passed over, so
    // that the walk always ends.
    bool cameBack = lastDeleted[0] && wcscmp(name, lastDeleted) == 0;
    lastDeleted[0] = L'\0';
    if (cameBack || !HasHexFirstGroup(name) || IsSystemComGuid(name) ||
        !AgreesBeyondFirstGroup(name, length, fixed, fixedLength)) {
      ++index;
      continue;
    }
    // A child path that does not fit is skipped: a cut one would name another key. A library
    // registered to another file is another product's, whatever its GUID says.
    wchar_t childPath[ChildPathCapacity];
    if (!CopyText(childPath, keyName) || !AppendText(childPath, L"\\") ||
        !AppendText(childPath, name) || !RegisteredFilesAre(classes, childPath, controlFile)) {
      ++index;
      continue;
    }
    LONG error = ERROR_SUCCESS;
    if (DeleteClassesTree(classes, childPath, &error)) {
      ++tally.deleted;
      CopyText(lastDeleted, name);
      continue;
    }
    if (KeyExistsIn(classes, childPath)) {
      ++tally.left;
      if (tally.error == ERROR_SUCCESS) tally.error = error;
    }
    ++index;
  }
}
