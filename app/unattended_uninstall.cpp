// /uninstall and /list: the maker's ProgIDs as the query of the uninstall view finds them,
// removed by the same code as a double-click or 卸载全部.
#include <windows.h>

#include <string>

#include "app/exit_codes.h"
#include "app/run_output.h"
#include "app/unattended_steps.h"
#include "common/run_log.h"
#include "uninstall/query.h"
#include "uninstall/remove.h"

namespace {

void Collect(const wchar_t* progId, void* names) {
  static_cast<std::vector<std::wstring>*>(names)->push_back(progId);
}

std::vector<std::wstring> InstalledControls() {
  std::vector<std::wstring> names;
  ForEachInstalledControl(Collect, &names);
  return names;
}

bool KeyExists(const wchar_t* path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool SameName(const std::wstring& a, const wchar_t* b) {
  return CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

bool IsKeyName(const wchar_t* text) {
  size_t length = wcslen(text);
  return length > 0 && length < 256 && !wcschr(text, L'\\');
}

// The listed name a ProgID given on the command line stands for (registry names ignore letter
// case), or an empty text for one that is not installed. False for a name that the uninstall
// view could never remove: no key name, or a key of another maker.
bool Resolve(const wchar_t* item, const std::vector<std::wstring>& installed, std::wstring& target) {
  target.clear();
  if (!IsKeyName(item)) return false;
  for (const std::wstring& name : installed) {
    if (SameName(name, item)) {
      target = name;
      return true;
    }
  }
  return !KeyExists(item);
}

bool Remove(const std::wstring& progId) {
  SetCurrentItem(progId.c_str());
  RemoveControl(progId.c_str());
  bool removed = !KeyExists(progId.c_str());
  LogEvent(L"remove", progId.c_str(), removed ? Outcome::Ok : Outcome::Failed,
           removed ? nullptr : L"the ProgID key is still there");
  CountItem(removed);
  return removed;
}

}  // namespace

int UninstallControls(const std::vector<const wchar_t*>& progIds, bool all) {
  std::vector<std::wstring> installed = InstalledControls();
  std::vector<std::wstring> targets;
  if (all) {
    targets = installed;
    if (targets.empty()) LogEvent(L"remove", L"/all", Outcome::Ok, L"no control is installed; nothing to remove");
  } else {
    bool valid = true;
    for (const wchar_t* item : progIds) {
      std::wstring target;
      if (!Resolve(item, installed, target)) {
        LogEvent(L"check", item, Outcome::Failed, L"not a ProgID of the maker's controls; nothing was removed");
        valid = false;
      } else if (target.empty()) {
        LogEvent(L"remove", item, Outcome::Ok, L"not installed; nothing to remove");
        CountItem(true);
      } else {
        targets.push_back(target);
      }
    }
    if (!valid) return ExitInvalidCommandLine;
  }
  bool allRemoved = true;
  for (const std::wstring& progId : targets) allRemoved = Remove(progId) && allRemoved;
  SetCurrentItem(nullptr);
  return allRemoved ? ExitSuccess : ExitFatalError;
}

int ListControls() {
  for (const std::wstring& name : InstalledControls()) {
    WriteToConsole((name + L"\r\n").c_str());
    LogEvent(L"list", name.c_str(), Outcome::Info, nullptr);
    CountItem(true);
  }
  return ExitSuccess;
}
