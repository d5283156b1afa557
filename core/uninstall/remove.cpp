// Removal of one control's registration from the machine's classes: its ProgID key, its class
// key in the registry view of this system, the interface and type-library keys of its type
// library, and the maker's two file-type keys.
#include "core/uninstall/remove.h"

#include <cstring>
#include <cwchar>
#include <iterator>

#include "platform/key_default.h"
#include "platform/text.h"
#include "core/uninstall/key_tree.h"
#include "core/uninstall/query.h"

namespace {
// A registry key name has at most 255 characters.
constexpr size_t KeyNameCapacity = 256;
constexpr wchar_t ClassPrefix[] = L"CLSID\\";
constexpr wchar_t TypeLibSuffix[] = L"\\TypeLib";
constexpr wchar_t ClsidSuffix[] = L"\\CLSID";
constexpr wchar_t ServerSuffix[] = L"\\InprocServer32";
constexpr wchar_t LibraryPrefix[] = L"TypeLib\\";
constexpr size_t ClsidPathCapacity = KeyNameCapacity + std::size(ClsidSuffix) - 1;
// Room for the prefix, any class name and the longest suffix.
constexpr size_t ClassPathCapacity =
    std::size(ClassPrefix) - 1 + KeyNameCapacity + std::size(ServerSuffix) - 1;
constexpr size_t LibraryPathCapacity = std::size(LibraryPrefix) - 1 + DefaultValueCapacity;
// The control's file as its class registers it; a longer path reads as none.
constexpr size_t ControlFileCapacity = 1024;

constexpr wchar_t ClassProgIdNames[][26] = {L"\\ProgID", L"\\VersionIndependentProgID"};
constexpr size_t ClassProgIdPathCapacity =
    std::size(ClassPrefix) - 1 + KeyNameCapacity + std::size(ClassProgIdNames[1]) - 1;

// Deletes one tree and counts what happened: deleted, left in place (with the system's code),
// or not there at all, which counts as neither.
void DeleteTree(const ClassesView& classes, const wchar_t* path, RemovalResult& result) {
  LONG error = ERROR_SUCCESS;
  if (DeleteClassesTree(classes, path, &error)) {
    ++result.keysDeleted;
  } else if (KeyExistsIn(classes, path)) {
    ++result.keysLeft;
    if (result.error == ERROR_SUCCESS) result.error = error;
  }
}

// The views that hold ProgIDs and file types for the route: the process's own, or on 64-bit
// Windows both views. Windows 7 and later share these keys between the views, so the second
// finds nothing left; Wine and older systems keep them apart.
struct ProgIdViews {
  explicit ProgIdViews(bool wow64)
      : own(RegistryView::Own), bits64(RegistryView::Bits64), bits32(RegistryView::Bits32) {
    if (wow64) {
      views[0] = &bits64;
      views[1] = &bits32;
      count = 2;
    } else {
      views[0] = &own;
      count = 1;
    }
  }
  ClassesView own, bits64, bits32;
  const ClassesView* views[2] = {};
  int count = 0;
};

void DeleteInEach(const ProgIdViews& in, const wchar_t* path, RemovalResult& result) {
  for (int i = 0; i < in.count; ++i) DeleteTree(*in.views[i], path, result);
}

void Finish(const ProgIdViews& in, const wchar_t* progId, RemovalResult& result) {
  result.progIdGone = true;
  for (int i = 0; i < in.count; ++i)
    if (KeyExistsIn(*in.views[i], progId)) result.progIdGone = false;
  result.removed = result.progIdGone && result.keysLeft == 0;
}

// True when the class key names the ProgID being removed, or another ProgID of the maker, in
// its ProgID or VersionIndependentProgID subkey. Two products may both claim a class, and a
// ProgID may name a class of the system or of another maker, whose keys must stay. A class
// key that names no ProgID at all is kept too: the registration code of ATL, MFC, VB6 and
// Delphi controls writes ProgID under the class, while many classes of the system (shell
// folders and extensions) have none; a control of the maker without it keeps its class key,
// a leftover that points at its own file.
bool ClassBelongsTo(const ClassesView& classes, const wchar_t* progIdKey,
                    const wchar_t* classPath) {
  for (const wchar_t* name : ClassProgIdNames) {
    wchar_t path[ClassProgIdPathCapacity] = {};
    wchar_t progId[KeyNameCapacity + 1];  // a ProgID as long as a key name is read whole
    if (!CopyText(path, classPath) || !AppendText(path, name)) continue;
    ReadDefaultValue(classes, path, progId, std::size(progId));
    if (progId[0] && (HasVendorPrefix(progId) || lstrcmpiW(progId, progIdKey) == 0)) return true;
  }
  return false;
}

// The type library is the control's own: a well-formed GUID outside COM's own range, whose
// key exists and registers no file but the control's. Anything else is another product's (or
// nobody's), and nothing is swept for it.
bool LibraryIsTheControls(const ClassesView& libraries, const wchar_t* typeLib,
                          const wchar_t* controlFile) {
  if (!controlFile[0] || !IsBracedGuid(typeLib) || IsSystemComGuid(typeLib)) return false;
  wchar_t path[LibraryPathCapacity] = {};
  if (!CopyText(path, LibraryPrefix) || !AppendText(path, typeLib)) return false;
  return KeyExistsIn(libraries, path) && RegisteredFilesAre(libraries, path, controlFile);
}

bool IsLinkInAnyView(const ProgIdViews& views, const wchar_t* progId) {
  for (int i = 0; i < views.count; ++i) {
    const ClassesView& v = *views.views[i];
    if (v.key && IsRegistryLink(v.key.get(), progId, v.view)) return true;
  }
  return false;
}

// The class key that the CLSID names (classPath) when it is the maker's and outside COM's own
// range, with its TypeLib and InprocServer32 texts; false (all empty) otherwise.
bool ReadOwnClass(const ClassesView& classes, const wchar_t* progIdKey, const wchar_t* clsid,
                  wchar_t (&classPath)[ClassPathCapacity], wchar_t (&typeLib)[DefaultValueCapacity],
                  wchar_t (&controlFile)[ControlFileCapacity]) {
  if (!IsKeyName(clsid) || IsSystemComGuid(clsid)) return false;
  CopyText(classPath, ClassPrefix);
  AppendText(classPath, clsid);
  if (!ClassBelongsTo(classes, progIdKey, classPath)) {
    classPath[0] = 0;
    return false;
  }
  wchar_t path[ClassPathCapacity] = {};
  CopyText(path, classPath);
  AppendText(path, TypeLibSuffix);
  ReadDefaultValue(classes, path, typeLib, std::size(typeLib));
  CopyText(path, classPath);
  AppendText(path, ServerSuffix);
  ReadDefaultValue(classes, path, controlFile, std::size(controlFile));
  return true;
}

// Both interface sweeps run in the class's view: on 64-bit Windows the 32-bit program's
// interfaces are in the 32-bit view, and the 64-bit view's keys of the same library belong to
// a 64-bit registration, which stays. (On 32-bit Windows there is one view, swept twice.)
void SweepLibrary(const ClassesView& classes, const ClassesView& libraries, const wchar_t* progIdKey,
                  const wchar_t* typeLib, const wchar_t* controlFile, RemovalResult& result) {
  const ClassesView* sweptViews[] = {&classes, &classes, &libraries};
  const wchar_t* sweptKeys[] = {L"Interface", L"Interface", L"TypeLib"};
  for (size_t i = 0; i < std::size(sweptKeys); ++i) {
    SweepTally tally;
    SweepGuidKeys(*sweptViews[i], progIdKey, typeLib, sweptKeys[i], controlFile, tally);
    result.keysDeleted += tally.deleted;
    // The second sweep over the same key finds the first one's leftovers again.
    if (i > 0 && sweptViews[i] == sweptViews[i - 1] && wcscmp(sweptKeys[i], sweptKeys[i - 1]) == 0)
      continue;
    result.keysLeft += tally.left;
    if (result.error == ERROR_SUCCESS) result.error = tally.error;
  }
}
}  // namespace

bool IsKeyName(const wchar_t* text) {
  size_t length = TextLength(text);
  return length > 0 && length < KeyNameCapacity && !wcschr(text, L'\\');
}

void ReadDefaultValue(const ClassesView& classes, const wchar_t* path, wchar_t* value,
                      size_t capacity) {
  // A value that does not fit reads as empty, not cut; the bytes of a number, a binary value or
  // a list of strings, read as characters, would name keys that the control never registered.
  wmemset(value, L'\0', capacity);
  if (classes.key) ReadKeyDefault(classes.key.get(), path, classes.view, value, capacity);
}

void ReadDefaultValue(const wchar_t* path, wchar_t* value, size_t capacity) {
  ClassesView own(RegistryView::Own);
  ReadDefaultValue(own, path, value, capacity);
}

void ReadDefaultValue(const wchar_t* path, wchar_t (&value)[DefaultValueCapacity]) {
  ReadDefaultValue(path, value, DefaultValueCapacity);
}

void RemoveSpecialControl(const SpecialControl& row, bool wow64, RemovalResult& result) {
  ProgIdViews progIdViews(wow64);
  DeleteInEach(progIdViews, row.progId, result);
  if (wow64) {
    DeleteTree(progIdViews.bits64, row.typeLibPath, result);
    DeleteTree(progIdViews.bits32, row.classPath, result);
    DeleteTree(progIdViews.bits32, row.typeLibPath, result);
  } else {
    DeleteTree(progIdViews.own, row.typeLibPath, result);
    DeleteTree(progIdViews.own, row.classPath, result);
  }
  Finish(progIdViews, row.progId, result);
}

RemovalResult RemoveControlInView(const wchar_t* progId, bool wow64) {
  RemovalResult result;
  for (const SpecialControl& row : SpecialControls) {
    if (wcscmp(progId, row.progId) == 0) {
      RemoveSpecialControl(row, wow64, result);
      return result;
    }
  }
  // Only a text that names one key below the root is a ProgID; anything else deletes nothing.
  if (!IsKeyName(progId)) {
    result.error = ERROR_INVALID_NAME;
    return result;
  }
  ProgIdViews progIdViews(wow64);
  // Nor does a ProgID key that is a registry link: what is read and deleted through it belongs
  // to the key it leads to, another program's registration.
  if (IsLinkInAnyView(progIdViews, progId)) {
    Finish(progIdViews, progId, result);
    return result;
  }

  wchar_t progIdKey[KeyNameCapacity] = {};
  CopyText(progIdKey, progId);

  wchar_t clsidPath[ClsidPathCapacity] = {};
  CopyText(clsidPath, progIdKey);
  AppendText(clsidPath, ClsidSuffix);
  wchar_t clsid[DefaultValueCapacity] = {};
  for (int i = 0; i < progIdViews.count && !clsid[0]; ++i)
    ReadDefaultValue(*progIdViews.views[i], clsidPath, clsid, std::size(clsid));

  // The maker's file types go with every control.
  DeleteInEach(progIdViews, L".zco", result);
  DeleteInEach(progIdViews, L".zxd", result);

  // The class key of the 32-bit program: on 64-bit Windows in the 32-bit view.
  const ClassesView& classes = wow64 ? progIdViews.bits32 : progIdViews.own;
  // "TypeLib" is swept in the 64-bit view there (Windows 7 and later share it between views).
  const ClassesView& libraries = wow64 ? progIdViews.bits64 : progIdViews.own;

  // Without a CLSID that names one key there is no class key of this control to read or
  // delete; a class that is not the maker's, or one of COM's own, is neither deleted nor
  // swept for (its type library and interfaces are another program's), but the ProgID key
  // still goes.
  wchar_t classPath[ClassPathCapacity] = {};
  wchar_t typeLib[DefaultValueCapacity] = {};
  wchar_t controlFile[ControlFileCapacity] = {};
  bool classKnown = ReadOwnClass(classes, progIdKey, clsid, classPath, typeLib, controlFile);
  // The type library is checked before anything is swept for it: it must be registered to
  // the file that the class registers, so that a class naming COM's own library or another
  // product's sweeps nothing.
  if (classKnown && LibraryIsTheControls(libraries, typeLib, controlFile))
    SweepLibrary(classes, libraries, progIdKey, typeLib, controlFile, result);

  if (classKnown) DeleteTree(classes, classPath, result);
  DeleteInEach(progIdViews, progIdKey, result);
  Finish(progIdViews, progIdKey, result);
  return result;
}

RemovalResult RemoveControl(const wchar_t* progId) {
  return RemoveControlInView(progId, DetectWow64());
}
