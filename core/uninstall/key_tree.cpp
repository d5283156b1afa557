// Deletion of a key with everything below it, in one registry view of the machine's classes.
#include "core/uninstall/key_tree.h"

#include <cstdlib>
#include <cstring>

#include "platform/text.h"
#include "platform/unique.h"

namespace {
constexpr DWORD SubkeyNameCapacity = 260;
// The registry takes paths of at most 32,766 characters (counted strings with 16-bit byte
// lengths) and silently cuts a longer one, which then names another key: a trailing part cut
// at a backslash names the key one level up, and deleting "its" children would never end.
constexpr size_t LongestRegistryPath = 32766;
// Windows holds trees of at most 512 levels. A deeper tree (Wine allows any depth) is not
// followed further, so that the recursion stays well within the stack.
constexpr int DeepestLevel = 512;

// A path names the key it spells only when it is not empty and has no empty name in it:
// the registry reads a leading backslash, or a doubled one, as if it were not there, so
// "\\" would name the root itself and "CLSID\\\\" the whole CLSID key. One trailing
// backslash is allowed; it is dropped before the key is deleted.
bool NamesOneKey(const wchar_t* path) {
  if (path[0] == L'\0' || path[0] == L'\\') return false;
  for (size_t i = 1; path[i]; ++i)
    if (path[i] == L'\\' && path[i - 1] == L'\\') return false;
  return true;
}
}  // namespace

WorkingPath::~WorkingPath() {
  if (text != initial) free(text);
}

bool ReserveWorkingPath(WorkingPath& path, size_t length) {
  if (length < path.capacity) return true;
  size_t capacity = path.capacity * 2;
  if (capacity <= length) capacity = length + 1;
  wchar_t* larger = static_cast<wchar_t*>(malloc(capacity * sizeof(wchar_t)));
  if (!larger) return false;
  memcpy(larger, path.text, path.capacity * sizeof(wchar_t));
  if (path.text != path.initial) free(path.text);
  path.text = larger;
  path.capacity = capacity;
  return true;
}

bool IsRegistryLink(HKEY root, const wchar_t* path, REGSAM view) {
  UniqueKey key;
  if (RegOpenKeyExW(root, path, REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE | view, key.put()) !=
      ERROR_SUCCESS)
    return false;
  DWORD type = REG_NONE;
  LONG result = RegQueryValueExW(key.get(), L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr);
  return result == ERROR_SUCCESS && type == REG_LINK;
}

namespace {
// The first failure the system reported, for the caller to tell.
void Note(LONG* error, LONG code) {
  if (error && *error == ERROR_SUCCESS) *error = code;
}

// level: how far below the key that the caller named this key lies. view: the registry view
// flag, passed again with every open and delete.
int DeleteKeyTreeAt(HKEY root, WorkingPath& path, int level, REGSAM view, LONG* error) {
  if (!NamesOneKey(path.text)) return 0;
  // Keys that cannot be named safely count as keys that cannot be deleted: they stop their
  // parents like any other.
  if (level > DeepestLevel || TextLength(path.text) > LongestRegistryPath) return 0;
  // Deleting a link by its name would delete the key it leads to, which is not below this
  // path; opening it would walk that other key's tree.
  if (IsRegistryLink(root, path.text, view)) return 0;
  // A key without subkeys goes in one step, without being opened.
  if (RegDeleteKeyExW(root, path.text, view, 0) == ERROR_SUCCESS) return 1;

  UniqueKey key;
  LONG opened = RegOpenKeyExW(root, path.text, 0, KEY_READ | view, key.put());
  if (opened != ERROR_SUCCESS) {
    if (opened != ERROR_FILE_NOT_FOUND) Note(error, opened);
    return 0;
  }

  // The path may move to a larger buffer below, so positions are kept, not pointers.
  size_t end = static_cast<size_t>(lstrlenW(path.text));
  if (path.text[end - 1] != L'\\') {
    if (!ReserveWorkingPath(path, end + 1)) return 0;
    path.text[end++] = L'\\';
    path.text[end] = L'\0';
  }

  // Always index 0: each deleted child lets the next one take its place.
  wchar_t name[SubkeyNameCapacity];
  DWORD length = SubkeyNameCapacity;
  while (RegEnumKeyExW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS) {
    if (length == 0) break;  // an empty name would make the path name this key again
    if (!ReserveWorkingPath(path, end + length)) break;
    memcpy(path.text + end, name, (length + 1) * sizeof(wchar_t));
    if (DeleteKeyTreeAt(root, path, level + 1, view, error) == 0) break;
    length = SubkeyNameCapacity;
  }

  path.text[end - 1] = L'\0';
  key.reset();  // closed before the key itself is deleted
  LONG deleted = RegDeleteKeyExW(root, path.text, view, 0);
  if (deleted != ERROR_SUCCESS) Note(error, deleted);
  return deleted == ERROR_SUCCESS ? 1 : 0;
}
}  // namespace

int DeleteKeyTree(HKEY root, WorkingPath& path, REGSAM view, LONG* error) {
  return DeleteKeyTreeAt(root, path, 0, view, error);
}

int DeleteClassesTree(const ClassesView& classes, const wchar_t* path, LONG* error) {
  if (!classes.key) return 0;
  // A path longer than the working buffer is refused whole: its first 519 characters would
  // name another key.
  WorkingPath working;
  if (!CopyText(working.initial, path)) return 0;
  return DeleteKeyTree(classes.key.get(), working, classes.view, error);
}

int DeleteClassesRootTree(const wchar_t* path) {
  ClassesView own(RegistryView::Own);
  return DeleteClassesTree(own, path);
}
