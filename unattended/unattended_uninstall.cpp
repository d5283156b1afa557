// /uninstall and /list: the maker's ProgIDs as the query of the uninstall view finds them,
// removed by the same code as a double-click or 卸载全部.
#include <windows.h>

#include "unattended/exit_codes.h"
#include "unattended/run_output.h"
#include "unattended/unattended_steps.h"
#include "unattended/run_log.h"
#include "platform/text.h"
#include "core/uninstall/query.h"
#include "core/uninstall/remove.h"

namespace {

// A registry key name has at most 255 characters.
constexpr size_t NameCapacity = 256;
using Name = wchar_t[NameCapacity];

// The ProgIDs the query finds, in its order, as 卸载全部 takes them from the list.
struct NameList {
  Name* names = nullptr;
  int count = 0;
  int capacity = 0;
  bool complete = true;  // false when memory ran out
};

void Collect(const wchar_t* progId, void* context) {
  auto* list = static_cast<NameList*>(context);
  if (list->count == list->capacity) {
    int grown = list->capacity ? list->capacity * 2 : 64;
    SIZE_T bytes = sizeof(Name) * static_cast<SIZE_T>(grown);
    void* more = list->names ? HeapReAlloc(GetProcessHeap(), 0, list->names, bytes)
                             : HeapAlloc(GetProcessHeap(), 0, bytes);
    if (!more) {
      list->complete = false;
      return;
    }
    list->names = static_cast<Name*>(more);
    list->capacity = grown;
  }
  if (CopyText(list->names[list->count], progId)) ++list->count;
}

void Release(NameList& list) {
  if (list.names) HeapFree(GetProcessHeap(), 0, list.names);
  list = NameList();
}

bool KeyExists(const wchar_t* path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The listed name a ProgID given on the command line stands for (registry names ignore letter
// case), or an empty text for one that is not installed. False for a name that the uninstall
// view could never remove: no key name, or a key of another maker.
bool Resolve(const wchar_t* item, const NameList& installed, Name& target) {
  target[0] = 0;
  if (!IsKeyName(item)) return false;
  for (int i = 0; i < installed.count; ++i) {
    if (CompareStringOrdinal(installed.names[i], -1, item, -1, TRUE) == CSTR_EQUAL) {
      CopyText(target, installed.names[i]);
      return true;
    }
  }
  return !KeyExists(item);
}

bool Remove(const wchar_t* progId) {
  SetCurrentItem(progId);
  RemovalResult result = RemoveControl(progId);
  const wchar_t* detail = nullptr;
  if (!result.progIdGone) {
    detail = L"the ProgID key is still there";
  } else if (!result.removed) {
    detail = L"keys of the control are still there";
  }
  LogEvent(L"remove", progId, result.removed ? Outcome::Ok : Outcome::Failed, detail,
           result.removed ? 0 : static_cast<DWORD>(result.error));
  CountItem(result.removed);
  return result.removed;
}

int RemoveAll(const NameList& installed) {
  if (installed.count == 0)
    LogEvent(L"remove", L"/all", Outcome::Ok, L"no control is installed; nothing to remove");
  bool allRemoved = true;
  for (int i = 0; i < installed.count; ++i) allRemoved = Remove(installed.names[i]) && allRemoved;
  return allRemoved ? ExitSuccess : ExitFatalError;
}

// Every ProgID is checked before anything is removed.
int RemoveEach(wchar_t* const* progIds, int count, const NameList& installed) {
  bool valid = true;
  for (int i = 0; i < count; ++i) {
    Name target;
    if (!Resolve(progIds[i], installed, target)) {
      LogEvent(L"check", progIds[i], Outcome::Failed,
               L"not a ProgID of the maker's controls; nothing was removed");
      valid = false;
    }
  }
  if (!valid) return ExitInvalidCommandLine;
  bool allRemoved = true;
  for (int i = 0; i < count; ++i) {
    Name target;
    Resolve(progIds[i], installed, target);
    if (target[0]) {
      allRemoved = Remove(target) && allRemoved;
    } else {
      LogEvent(L"remove", progIds[i], Outcome::Ok, L"not installed; nothing to remove");
      CountItem(true);
    }
  }
  return allRemoved ? ExitSuccess : ExitFatalError;
}

}  // namespace

int UninstallControls(wchar_t* const* progIds, int count, bool all) {
  NameList installed;
  ForEachInstalledControl(Collect, &installed);
  int exitCode;
  if (!installed.complete) {
    LogEvent(L"remove", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
    exitCode = ExitFatalError;
  } else {
    exitCode = all ? RemoveAll(installed) : RemoveEach(progIds, count, installed);
  }
  Release(installed);
  SetCurrentItem(nullptr);
  return exitCode;
}

int ListControls() {
  NameList installed;
  ForEachInstalledControl(Collect, &installed);
  for (int i = 0; i < installed.count; ++i) {
    WriteToConsole(installed.names[i]);
    WriteToConsole(L"\r\n");
    LogEvent(L"list", installed.names[i], Outcome::Info, nullptr);
    CountItem(true);
  }
  bool complete = installed.complete;
  Release(installed);
  if (!complete) LogEvent(L"list", L"", Outcome::Failed, L"out of memory", ERROR_NOT_ENOUGH_MEMORY);
  return complete ? ExitSuccess : ExitFatalError;
}
