// /diagnose end to end: the real x86-64 program as a separate process, against registrations
// laid out as regsvr32 leaves them and the gates a policy, a user or an update sets. Every case
// deletes the keys it adds.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/registry_fixture.h"
#include "tests/unattended/unattended_driver.h"
#include "tests/window/app_window.h"

namespace {

const std::wstring ProgId = L"Vorn.Test.diagnosed";
const std::wstring Clsid = L"{7A3C00D1-5E21-4b8d-9F14-3C2B1A0D9E51}";
const std::wstring KillBitKey =
    L"SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\" + Clsid;
const std::wstring PolicyKey = L"SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Ext\\CLSID";
const std::wstring UserSettingsKey =
    L".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings\\" + Clsid;
const std::wstring UserClassKey = L".DEFAULT\\Software\\Classes\\CLSID\\" + Clsid;
constexpr unsigned RunBound = 60000;

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::string Ascii(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

std::wstring FreshFolder() {
  static int made = 0;
  std::wstring work = WindowsPath(UNATTENDED_WORK_DIR);
  CreateDirectoryW(work.c_str(), nullptr);
  std::wstring folder = work + L"\\diagnose" + std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++made);
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

struct Diagnosed {
  DWORD exitCode;
  std::wstring output;
  std::vector<std::wstring> log;
};

Diagnosed Diagnose(const std::wstring& arguments) {
  std::wstring folder = FreshFolder();
  std::wstring output = folder + L"\\stdout.txt", log = folder + L"\\run.log";
  HANDLE file = InheritableFile(output);
  UnattendedRun run = RunUnattended(WindowsPath(CTLWARDEN_EXE), L"/diagnose " + arguments + L" /log " + Quoted(log),
                                    file, RunBound);
  CloseHandle(file);
  EXPECT_TRUE(run.ended);
  EXPECT_TRUE(run.windows.empty());
  std::string bytes = FileBytes(output);
  EXPECT_FALSE(HasByteOrderMark(bytes));
  return {run.exitCode, Utf8ToWide(bytes), Lines(Utf8ToWide(FileBytes(log)))};
}

// The hive's key is ".DEFAULT" on Windows and ".Default" under Wine.
std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

// The line of one check in the printed block, or empty.
std::wstring CheckLine(const Diagnosed& run, const std::wstring& check) {
  for (const std::wstring& line : Lines(run.output))
    if (line.rfind(L"  " + check + L": ", 0) == 0) return line;
  return L"";
}

bool SetValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  LONG r = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

bool SetText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text) {
  return SetValue(root, path, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void Forget() {
  RemoveTree(ProgId);
  RemoveTree(L"CLSID\\" + Clsid);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, KillBitKey.c_str());
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, KillBitKey.c_str());
  HKEY policy;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, PolicyKey.c_str(), 0, KEY_SET_VALUE, &policy) == ERROR_SUCCESS) {
    RegDeleteValueW(policy, Clsid.c_str());
    RegCloseKey(policy);
  }
  for (const std::wstring& key : {UserSettingsKey, UserClassKey}) {
    RegDeleteTreeW(HKEY_USERS, key.c_str());
    RegDeleteKeyW(HKEY_USERS, key.c_str());
  }
}

// JSON as /json writes it, read back by a small parser of the test's own: objects, arrays and
// strings (the only kinds the output holds).
struct Json {
  enum Kind { Null, String, Array, Object } kind = Null;
  std::wstring text;
  std::vector<Json> items;
  std::vector<std::wstring> keys;
  const Json* Get(const std::wstring& key) const {
    for (size_t i = 0; i < keys.size(); ++i)
      if (keys[i] == key) return &items[i];
    return nullptr;
  }
};

bool ParseJson(const std::wstring& s, size_t& at, Json& out) {
  auto blank = [&] { while (at < s.size() && wcschr(L" \r\n\t", s[at])) ++at; };
  blank();
  if (at >= s.size()) return false;
  if (s[at] == L'"') {
    out.kind = Json::String;
    for (++at; at < s.size() && s[at] != L'"'; ++at) {
      if (s[at] != L'\\') { out.text += s[at]; continue; }
      if (++at >= s.size()) return false;
      wchar_t c = s[at];
      if (c == L'u') {
        if (at + 4 >= s.size()) return false;
        out.text += static_cast<wchar_t>(std::stoi(s.substr(at + 1, 4), nullptr, 16));
        at += 4;
      } else {
        out.text += c == L'n' ? L'\n' : c == L'r' ? L'\r' : c == L't' ? L'\t' : c;
      }
    }
    return at++ < s.size();
  }
  bool array = s[at] == L'[';
  if (!array && s[at] != L'{') return false;
  out.kind = array ? Json::Array : Json::Object;
  ++at;
  blank();
  if (at < s.size() && s[at] == (array ? L']' : L'}')) return ++at, true;
  for (;;) {
    if (!array) {
      Json key;
      if (!ParseJson(s, at, key) || key.kind != Json::String) return false;
      blank();
      if (at >= s.size() || s[at++] != L':') return false;
      out.keys.push_back(key.text);
    }
    out.items.emplace_back();
    if (!ParseJson(s, at, out.items.back())) return false;
    blank();
    if (at >= s.size()) return false;
    if (s[at] == L',') { ++at; continue; }
    return s[at++] == (array ? L']' : L'}');
  }
}

}  // namespace

TEST(UnattendedDiagnose, EachGateAfterRegistrationIsNamedAndChangesNothing) {
  Forget();
  std::wstring folder = FreshFolder();
  std::wstring control = folder + L"\\testctl.dll";
  ASSERT_TRUE(CopyFileW(WindowsPath(TESTCTL_DLL).c_str(), control.c_str(), FALSE));
  ASSERT_TRUE(PutKey(ProgId + L"\\CLSID", Clsid.c_str()));
  ASSERT_TRUE(PutKey(L"CLSID\\" + Clsid + L"\\InprocServer32", control.c_str()));

  // Healthy: the heading, seven checks in order, 0. No safety category is only unknown.
  Diagnosed healthy = Diagnose(ProgId);
  EXPECT_EQ(0u, healthy.exitCode) << Ascii(healthy.output);
  std::vector<std::wstring> lines = Lines(healthy.output);
  ASSERT_GE(lines.size(), 8u) << Ascii(healthy.output);
  EXPECT_EQ(ProgId + L"  " + Clsid + L"  " + control, lines[0]);
  const wchar_t* order[] = {L"registration: ok", L"file: ok", L"dependencies: ok", L"kill bit: ok",
                            L"switches: ok", L"per-user registration: ok", L"safety: unknown"};
  for (size_t i = 0; i < 7; ++i)
    EXPECT_EQ(0u, lines[i + 1].find(std::wstring(L"  ") + order[i])) << Ascii(lines[i + 1]);
  std::wstring before = ExportTree(L"CLSID\\" + Clsid) + ExportTree(ProgId);

  // The kill bit, as a security update sets it: 1, and the line names it.
  DWORD killBit = 0x400;
  ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, KillBitKey, L"Compatibility Flags", REG_DWORD, &killBit, sizeof killBit));
  Diagnosed killed = Diagnose(L"vorn.test.DIAGNOSED");
  EXPECT_EQ(1u, killed.exitCode);
  EXPECT_NE(std::wstring::npos, CheckLine(killed, L"kill bit").find(L"kill bit: problem: The kill bit is set"))
      << Ascii(CheckLine(killed, L"kill bit"));
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, KillBitKey.c_str());
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, KillBitKey.c_str());

  // Switched off in a loaded user hive, then denied by a policy's list.
  DWORD off = 1;
  ASSERT_TRUE(SetValue(HKEY_USERS, UserSettingsKey, L"Flags", REG_DWORD, &off, sizeof off));
  Diagnosed switchedOff = Diagnose(ProgId);
  EXPECT_EQ(1u, switchedOff.exitCode);
  EXPECT_EQ(0u, Lower(CheckLine(switchedOff, L"switches")).find(L"  switches: problem: switched off by the user .default"))
      << Ascii(CheckLine(switchedOff, L"switches"));
  RegDeleteTreeW(HKEY_USERS, UserSettingsKey.c_str());
  RegDeleteKeyW(HKEY_USERS, UserSettingsKey.c_str());
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, PolicyKey, Clsid.c_str(), L"0"));
  Diagnosed denied = Diagnose(ProgId);
  EXPECT_EQ(1u, denied.exitCode);
  EXPECT_NE(std::wstring::npos, CheckLine(denied, L"switches").find(L"policy denies it: HKLM\\"))
      << Ascii(CheckLine(denied, L"switches"));
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, PolicyKey, Clsid.c_str(), L"1"));  // allowed: no problem
  EXPECT_EQ(0u, Diagnose(ProgId).exitCode);
  Forget();
  ASSERT_TRUE(PutKey(ProgId + L"\\CLSID", Clsid.c_str()));
  ASSERT_TRUE(PutKey(L"CLSID\\" + Clsid + L"\\InprocServer32", control.c_str()));

  // A user's own registration naming a file that is gone.
  ASSERT_TRUE(SetText(HKEY_USERS, UserClassKey + L"\\InprocServer32", nullptr, folder + L"\\gone.dll"));
  Diagnosed userClass = Diagnose(Quoted(control));  // the control file names it too
  EXPECT_EQ(1u, userClass.exitCode);
  std::wstring userLine = CheckLine(userClass, L"per-user registration");
  EXPECT_EQ(0u, Lower(userLine).find(L"  per-user registration: problem: the user .default")) << Ascii(userLine);
  EXPECT_NE(std::wstring::npos, userLine.find(L"names a file that is missing: " + folder + L"\\gone.dll"));
  RegDeleteTreeW(HKEY_USERS, UserClassKey.c_str());
  RegDeleteKeyW(HKEY_USERS, UserClassKey.c_str());

  // It reads only.
  EXPECT_EQ(before, ExportTree(L"CLSID\\" + Clsid) + ExportTree(ProgId));
  Forget();
}

TEST(UnattendedDiagnose, AMissingHelperANamedControlNotInstalledAndJson) {
  Forget();
  std::wstring folder = FreshFolder();
  std::wstring control = folder + L"\\depctl.dll";
  ASSERT_TRUE(CopyFileW(WindowsPath(DEPCTL_DLL).c_str(), control.c_str(), FALSE));  // no helper beside it
  ASSERT_TRUE(PutKey(ProgId + L"\\CLSID", Clsid.c_str()));
  ASSERT_TRUE(PutKey(L"CLSID\\" + Clsid + L"\\InprocServer32", control.c_str()));

  Diagnosed json = Diagnose(ProgId + L" /json");
  EXPECT_EQ(1u, json.exitCode);
  Json array;
  size_t at = 0;
  ASSERT_TRUE(ParseJson(json.output, at, array)) << Ascii(json.output);
  ASSERT_EQ(Json::Array, array.kind);
  ASSERT_EQ(1u, array.items.size());
  const Json& entry = array.items[0];
  ASSERT_TRUE(entry.Get(L"progId") && entry.Get(L"clsid") && entry.Get(L"file") && entry.Get(L"checks"));
  EXPECT_EQ(ProgId, entry.Get(L"progId")->text);
  EXPECT_EQ(Clsid, entry.Get(L"clsid")->text);
  EXPECT_EQ(control, entry.Get(L"file")->text);
  const Json& checks = *entry.Get(L"checks");
  ASSERT_EQ(7u, checks.items.size());
  const Json& dependencies = checks.items[2];
  ASSERT_TRUE(dependencies.Get(L"check") && dependencies.Get(L"verdict") && dependencies.Get(L"detail"));
  EXPECT_EQ(L"dependencies", dependencies.Get(L"check")->text);
  EXPECT_EQ(L"problem", dependencies.Get(L"verdict")->text);
  EXPECT_NE(std::wstring::npos, dependencies.Get(L"detail")->text.find(L"vornhelper.dll (imported by depctl.dll)"))
      << Ascii(dependencies.Get(L"detail")->text);
  EXPECT_EQ(L"kill bit", checks.items[3].Get(L"check")->text);

  // Registering that control fails to load it; the log's line names the library.
  std::wstring log = FreshFolder() + L"\\install.log";
  UnattendedRun install = RunUnattended(WindowsPath(CTLWARDEN_EXE),
                                        L"/install " + Quoted(control) + L" /quiet /log " + Quoted(log),
                                        nullptr, RunBound);
  EXPECT_EQ(1603u, install.exitCode);
  auto failed = Events(Lines(Utf8ToWide(FileBytes(log))), L"error", control);
  ASSERT_EQ(1u, failed.size());
  EXPECT_EQ(L"装载ActiveX控件失败！ 缺少依赖文件：vornhelper.dll", failed[0][4]);

  // A named control that is not installed: 1605, and the others are still diagnosed.
  Diagnosed absent = Diagnose(L"Vorn.Never.Installed " + ProgId);
  EXPECT_EQ(1605u, absent.exitCode);
  EXPECT_EQ(0u, absent.output.find(ProgId + L"  ")) << Ascii(absent.output);
  auto never = Events(absent.log, L"diagnose", L"Vorn.Never.Installed");
  ASSERT_EQ(1u, never.size());
  EXPECT_EQ(L"failed", never[0][3]);
  // A cabinet is no control file here; a stray /details is a bad command line.
  EXPECT_EQ(1639u, Diagnose(L"pack.cab").exitCode);
  EXPECT_EQ(1639u, Diagnose(ProgId + L" /details").exitCode);
  Forget();
}
