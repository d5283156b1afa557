// The gates after registration: the kill bit, the add-on switches of users and policy, users'
// own registrations of the class, and the safety categories. Reported, never changed: they are
// usually set on purpose.
#include <cwchar>
#include <initializer_list>

#include "core/diagnose/checks.h"
#include "core/diagnose/registry_values.h"
#include "core/uninstall/classes_view.h"
#include "platform/text.h"

namespace {

constexpr size_t KeyPathCapacity = 512;
using KeyPath = wchar_t[KeyPathCapacity];
constexpr DWORD KillBitFlag = 0x400;

bool Is64BitWindows() { return sizeof(void*) == 8 || DetectWow64(); }

bool Join(KeyPath& path, const wchar_t* first, const wchar_t* second, const wchar_t* third = L"") {
  path[0] = 0;
  return AppendText(path, first) && AppendText(path, second) && AppendText(path, third);
}

void Problem(CheckResult& out) {
  if (out.verdict == Verdict::Ok) out.detail[0] = 0;
  out.verdict = Verdict::Problem;
}

}  // namespace

void CheckKillBit(const wchar_t* clsid, CheckResult& out) {
  out.verdict = Verdict::Ok;
  out.detail[0] = 0;
  constexpr const wchar_t* Roots[] = {
      L"SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\",
      L"SOFTWARE\\Policies\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\"};
  for (const wchar_t* root : Roots) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
      if (view == KEY_WOW64_32KEY && !Is64BitWindows()) continue;
      KeyPath path;
      DWORD flags = 0;
      wchar_t alternate[InventoryNameCapacity];
      if (!Join(path, root, clsid)) continue;
      const wchar_t* viewText = view == KEY_WOW64_64KEY ? L" (64-bit view)" : L" (32-bit view)";
      if (!Is64BitWindows()) viewText = L"";
      if (ReadDwordValue(HKEY_LOCAL_MACHINE, path, L"Compatibility Flags", view, flags) &&
          (flags & KillBitFlag)) {
        Problem(out);
        Say(out, L"The kill bit is set: HKLM\\");
        Say(out, path);
        Say(out, L" \"Compatibility Flags\" holds 0x400");
        Say(out, viewText);
        Say(out, L". ");
      }
      if (ReadStringValue(HKEY_LOCAL_MACHINE, path, L"AlternateCLSID", view, alternate)) {
        Problem(out);
        Say(out, L"AlternateCLSID under HKLM\\");
        Say(out, path);
        Say(out, viewText);
        Say(out, L" sends pages to ");
        Say(out, alternate);
        Say(out, L". ");
      }
    }
  }
  if (out.verdict == Verdict::Ok) {
    Say(out, L"No kill bit and no AlternateCLSID, in either view or by policy.");
  } else {
    Say(out, L"Fix: a kill bit is set on purpose (by a security update or a policy); only the "
             L"administrator who owns that decision clears it. This program changes nothing.");
  }
}

namespace {

struct SwitchSearch {
  const wchar_t* clsid;
  CheckResult* out;
};

// A policy's add-on list: the value named by the CLSID, "0" denies the add-on.
void CheckPolicyList(HKEY root, const wchar_t* where, const wchar_t* base, SwitchSearch& search) {
  KeyPath path;
  wchar_t value[16];
  if (!Join(path, base, L"Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\Ext\\CLSID")) return;
  DWORD number = 1;
  bool denied = (ReadStringValue(root, path, search.clsid, 0, value) && lstrcmpW(value, L"0") == 0) ||
                (ReadDwordValue(root, path, search.clsid, 0, number) && number == 0);
  if (!denied) return;
  Problem(*search.out);
  Say(*search.out, L"The add-on list of a policy denies it: ");
  Say(*search.out, where);
  Say(*search.out, path);
  Say(*search.out, L" value ");
  Say(*search.out, search.clsid);
  Say(*search.out, L" is \"0\". ");
}

void CheckUserSwitches(const wchar_t* sid, void* context) {
  auto& search = *static_cast<SwitchSearch*>(context);
  KeyPath base, path;
  if (!Join(base, sid, L"\\")) return;
  CheckPolicyList(HKEY_USERS, L"HKEY_USERS\\", base, search);
  DWORD flags = 0;
  if (!Join(path, base, L"Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings\\", search.clsid) ||
      !ReadDwordValue(HKEY_USERS, path, L"Flags", 0, flags) || flags != 1)
    return;
  Problem(*search.out);
  Say(*search.out, L"Switched off by the user ");
  Say(*search.out, sid);
  Say(*search.out, L" in the browser's add-ons: HKEY_USERS\\");
  Say(*search.out, path);
  Say(*search.out, L" \"Flags\" is 1. ");
}

}  // namespace

void CheckSwitches(const wchar_t* clsid, CheckResult& out) {
  out.verdict = Verdict::Ok;
  out.detail[0] = 0;
  SwitchSearch search = {clsid, &out};
  CheckPolicyList(HKEY_LOCAL_MACHINE, L"HKLM\\", L"", search);
  ForEachUserHive(CheckUserSwitches, &search);
  if (out.verdict == Verdict::Ok) {
    Say(out, L"Not denied by policy, and switched off by no user whose hive is loaded.");
  } else {
    Say(out, L"Fix: a user enables it again under Manage add-ons; a policy's list is its "
             L"administrator's decision. This program changes nothing.");
  }
}

namespace {

struct UserClasses {
  const InstalledControl* control;
  CheckResult* out;
};

void CheckUserClass(const wchar_t* sid, void* context) {
  auto& search = *static_cast<UserClasses*>(context);
  KeyPath key, server;
  if (!Join(key, sid, L"\\Software\\Classes\\CLSID\\", search.control->clsid) ||
      !KeyExists(HKEY_USERS, key, 0) || !Join(server, key, L"\\InprocServer32"))
    return;
  wchar_t file[InventoryFileCapacity];
  if (!ReadStringValue(HKEY_USERS, server, nullptr, 0, file)) return;  // the machine's serves
  DWORD attributes = GetFileAttributesW(file);
  bool present = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  if (present && search.control->file[0] && SameFile(file, search.control->file)) return;
  Problem(*search.out);
  Say(*search.out, L"The user ");
  Say(*search.out, sid);
  Say(*search.out, L" has an own registration, which that user's browser takes first: HKEY_USERS\\");
  Say(*search.out, key);
  Say(*search.out, present ? L" names another file: " : L" names a file that is missing: ");
  Say(*search.out, file);
  Say(*search.out, L". ");
}

}  // namespace

void CheckUserRegistrations(const InstalledControl& control, CheckResult& out) {
  out.verdict = Verdict::Ok;
  out.detail[0] = 0;
  UserClasses search = {&control, &out};
  ForEachUserHive(CheckUserClass, &search);
  if (out.verdict == Verdict::Ok) {
    Say(out, L"No loaded user hive registers the class for another file.");
  } else {
    Say(out, L"Fix: delete that user's key (HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\");
    Say(out, control.clsid);
    Say(out, L"), or register the control for that user again.");
  }
}

void CheckSafety(const InstalledControl& control, CheckResult& out) {
  constexpr const wchar_t* Categories[] = {L"{7DD95801-9882-11CF-9FA9-00AA006C42C4}",
                                           L"{7DD95802-9882-11CF-9FA9-00AA006C42C4}"};
  constexpr const wchar_t* Meanings[] = {L"safe for scripting", L"safe for initialization"};
  out.verdict = Verdict::Ok;
  out.detail[0] = 0;
  REGSAM view = OwnRegistryView() == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  for (int i = 0; i < 2; ++i) {
    KeyPath path;
    if (Join(path, L"Software\\Classes\\CLSID\\", control.clsid, L"\\Implemented Categories\\") &&
        AppendText(path, Categories[i]) && KeyExists(HKEY_LOCAL_MACHINE, path, view))
      continue;
    out.verdict = Verdict::Unknown;
    Say(out, L"Not registered as ");
    Say(out, Meanings[i]);
    Say(out, L". ");
  }
  if (out.verdict == Verdict::Ok) {
    Say(out, L"Registered as safe for scripting and safe for initialization.");
  } else {
    Say(out, L"The control may declare it at run time (IObjectSafety); if not, a page's script "
             L"may use it only in zones that allow unsafe controls.");
  }
}
