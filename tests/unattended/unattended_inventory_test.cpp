// The inventory side of an unattended run, as deployment tools use it: /verify for detection
// rules, /list /details and /list /json for an inventory, /uninstall of the file that was
// installed, and the unpack folders that repeated installs and uninstalls leave behind. Each
// case starts the real x86-64 program as a separate process.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/version.h"
#include "tests/window/app_window.h"
#include "tests/unattended/unattended_driver.h"
#include "tests/core/register/fci_cabinet.h"
#include "tests/common/registry_fixture.h"

namespace {

const wchar_t TestProgId[] = L"Vorn.Test.testctl";
const std::wstring TestClsid = L"{7A3C0002-5E21-4b8d-9F14-3C2B1A0D9E51}";
const std::wstring TestClassKey = L"CLSID\\" + TestClsid;
constexpr unsigned RunBound = 60000;

std::wstring Exe() { return WindowsPath(CTLWARDEN_EXE); }
std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::string Ascii(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

// A new, empty folder of the case's own.
std::wstring FreshFolder() {
  static int made = 0;
  std::wstring work = WindowsPath(UNATTENDED_WORK_DIR);
  CreateDirectoryW(work.c_str(), nullptr);
  std::wstring folder = work + L"\\inventory" + std::to_wstring(GetTickCount64()) + L"-" +
                        std::to_wstring(++made);
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

struct Result {
  UnattendedRun run;
  std::string output;               // standard output, as bytes
  std::vector<std::wstring> log;    // the /log file's lines
};

// Runs the program with standard output to a file, as a detection script captures it, and a
// log of its own.
Result RunCaptured(const std::wstring& arguments) {
  std::wstring folder = FreshFolder();
  std::wstring output = folder + L"\\stdout.txt", log = folder + L"\\run.log";
  HANDLE file = InheritableFile(output);
  Result result;
  result.run = RunUnattended(Exe(), arguments + L" /log " + Quoted(log), file, RunBound);
  CloseHandle(file);
  result.output = FileBytes(output);
  result.log = Lines(Utf8ToWide(FileBytes(log)));
  return result;
}

std::string Show(const std::vector<std::wstring>& lines) {
  std::wstring all;
  for (const std::wstring& line : lines) all += line + L"\n";
  return testing::PrintToString(all);
}

#define EXPECT_RAN_WITHOUT_WINDOW(run)                     \
  do {                                                     \
    EXPECT_TRUE((run).ended) << "the run did not end";     \
    EXPECT_TRUE((run).windows.empty());                    \
  } while (0)

bool Same(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) == 0; }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A copy of the test control in a folder of its own: its registration names that copy, which
// a case may delete without touching the built fixture.
std::wstring CopyOfTestControl(const std::wstring& name = L"testctl.dll") {
  std::wstring copy = FreshFolder() + L"\\" + name;
  CopyFileW(WindowsPath(TESTCTL_DLL).c_str(), copy.c_str(), FALSE);
  return copy;
}

void ForgetTestControl() {
  RemoveTree(TestProgId);
  RemoveTree(TestClassKey);
}

// A key of the machine's classes in the 32-bit view, with a default value of this type.
bool PutKey32(const std::wstring& path, const std::wstring& value, DWORD type) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + path).c_str(), 0, nullptr, 0,
                      KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  LONG r = RegSetValueExW(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

void RemoveTree32(const std::wstring& path) {
  HKEY classes;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                    &classes) != ERROR_SUCCESS)
    return;
  RegDeleteTreeW(classes, path.c_str());
  RegDeleteKeyExW(classes, path.c_str(), KEY_WOW64_32KEY, 0);
  RegCloseKey(classes);
}

// The unpack folder that a run's log names for a cabinet.
std::wstring UnpackFolderOf(const std::vector<std::wstring>& lines, const std::wstring& cabinet) {
  for (const auto& fields : Events(lines, L"unpack", cabinet))
    if (fields[3] == L"info" && fields[4].rfind(L"folder ", 0) == 0) return fields[4].substr(7);
  return L"";
}

// A small reader for what /list /json prints: an array of flat objects whose values are
// strings, true, false or null (kept as the texts "true", "false" and "null").
struct Json {
  const std::wstring& text;
  size_t at = 0;
  bool ok = true;

  void Blank() {
    while (at < text.size() && (text[at] == L' ' || text[at] == L'\r' || text[at] == L'\n' || text[at] == L'\t')) ++at;
  }
  bool Take(wchar_t c) {
    Blank();
    if (at < text.size() && text[at] == c) {
      ++at;
      return true;
    }
    return false;
  }
  std::wstring String() {
    std::wstring value;
    if (!Take(L'"')) {
      ok = false;
      return value;
    }
    while (at < text.size() && text[at] != L'"') {
      wchar_t c = text[at++];
      if (c < 0x20) ok = false;  // a control character must be escaped
      if (c != L'\\') {
        value += c;
        continue;
      }
      if (at >= text.size()) break;
      wchar_t e = text[at++];
      switch (e) {
        case L'"': case L'\\': case L'/': value += e; break;
        case L'n': value += L'\n'; break;
        case L'r': value += L'\r'; break;
        case L't': value += L'\t'; break;
        case L'u': value += static_cast<wchar_t>(std::stoi(text.substr(at, 4), nullptr, 16)); at += 4; break;
        default: ok = false;
      }
    }
    ok = ok && Take(L'"');
    return value;
  }
  std::wstring Value() {
    Blank();
    for (const wchar_t* word : {L"true", L"false", L"null"}) {
      if (text.compare(at, wcslen(word), word) == 0) {
        at += wcslen(word);
        return std::wstring(L"=") + word;
      }
    }
    return String();
  }
  std::vector<std::map<std::wstring, std::wstring>> Array() {
    std::vector<std::map<std::wstring, std::wstring>> objects;
    ok = Take(L'[');
    if (Take(L']')) return objects;
    do {
      std::map<std::wstring, std::wstring> object;
      ok = ok && Take(L'{');
      do {
        std::wstring key = String();
        ok = ok && Take(L':');
        object[key] = Value();
      } while (ok && Take(L','));
      ok = ok && Take(L'}');
      objects.push_back(object);
    } while (ok && Take(L','));
    ok = ok && Take(L']');
    Blank();
    ok = ok && at == text.size();
    return objects;
  }
};

}  // namespace

// A detection script's question: installed, with its file? 0 and a line per control only when
// each is; otherwise 1605, nothing on standard output, and the log says what is missing.
TEST(UnattendedInventory, VerifyAnswersFromTheRegistrationAndTheFile) {
  ForgetTestControl();
  std::wstring control = CopyOfTestControl();
  ASSERT_EQ(0u, RunUnattended(Exe(), L"/install " + Quoted(control) + L" /quiet", nullptr, RunBound).exitCode);
  ASSERT_TRUE(KeyExists(std::wstring(TestProgId)));

  // Letter case as typed: the registry's own name is printed.
  Result present = RunCaptured(L"/verify vorn.test.TESTCTL");
  EXPECT_RAN_WITHOUT_WINDOW(present.run);
  EXPECT_EQ(0u, present.run.exitCode) << Show(present.log);
  EXPECT_FALSE(HasByteOrderMark(present.output));
  std::vector<std::wstring> lines = Lines(Utf8ToWide(present.output));
  ASSERT_EQ(1u, lines.size()) << present.output;
  std::vector<std::wstring> fields = Fields(lines[0]);
  ASSERT_EQ(6u, fields.size()) << Ascii(lines[0]);
  EXPECT_EQ(TestProgId, fields[0]);
  EXPECT_EQ(TestClsid, fields[1]);
  EXPECT_EQ(L"64", fields[2]);  // this build's own view
  EXPECT_TRUE(Same(control, fields[3])) << Ascii(fields[3]);
  EXPECT_EQ(L"yes", fields[4]);
  auto verified = Events(present.log, L"verify", TestProgId);
  ASSERT_EQ(1u, verified.size()) << Show(present.log);
  EXPECT_EQ(L"ok", verified[0][3]);

  // One of several not installed, and one with a ProgID but no class: 1605, nothing printed.
  PutKey(L"Vorn.Test.noclass\\CLSID", L"{7A3C00F1-5E21-4B8D-9F14-3C2B1A0D9E51}");
  Result absent = RunCaptured(L"/verify Vorn.Test.testctl Vorn.Never.Installed Vorn.Test.noclass");
  EXPECT_RAN_WITHOUT_WINDOW(absent.run);
  EXPECT_EQ(1605u, absent.run.exitCode);
  EXPECT_TRUE(absent.output.empty()) << absent.output;
  auto never = Events(absent.log, L"verify", L"Vorn.Never.Installed");
  ASSERT_EQ(1u, never.size()) << Show(absent.log);
  EXPECT_EQ(L"failed", never[0][3]);
  EXPECT_EQ(L"not installed: there is no ProgID key", never[0][4]);
  auto noClass = Events(absent.log, L"verify", L"Vorn.Test.noclass");
  ASSERT_EQ(1u, noClass.size()) << Show(absent.log);
  EXPECT_EQ(L"not installed: no CLSID\\{7A3C00F1-5E21-4B8D-9F14-3C2B1A0D9E51}\\InprocServer32 in the "
            L"64-bit registry view",
            noClass[0][4]);
  EXPECT_EQ(L"ok", Events(absent.log, L"verify", TestProgId).at(0)[3]);
  RemoveTree(L"Vorn.Test.noclass");

  // The control's folder deleted: the registration is still there, the control is not.
  ASSERT_TRUE(DeleteFileW(control.c_str()));
  Result deleted = RunCaptured(L"/verify Vorn.Test.testctl");
  EXPECT_RAN_WITHOUT_WINDOW(deleted.run);
  EXPECT_EQ(1605u, deleted.run.exitCode);
  EXPECT_TRUE(deleted.output.empty()) << deleted.output;
  auto missing = Events(deleted.log, L"verify", TestProgId);
  ASSERT_EQ(1u, missing.size()) << Show(deleted.log);
  EXPECT_EQ(L"failed", missing[0][3]);
  EXPECT_EQ(0u, missing[0][4].rfind(L"the file is missing: ", 0)) << Ascii(missing[0][4]);
  EXPECT_TRUE(Same(control, missing[0][4].substr(21))) << Ascii(missing[0][4]);
  EXPECT_EQ(L"exit=1605", Fields(deleted.log.back()).at(3));

  // Nothing to verify, or another maker's ProgID: an invalid command line.
  PutKey(L"Other.Maker.Control\\CLSID", L"{7A3C00FE-5E21-4B8D-9F14-3C2B1A0D9E51}");
  EXPECT_EQ(1639u, RunCaptured(L"/verify").run.exitCode);
  Result other = RunCaptured(L"/verify Other.Maker.Control");
  EXPECT_EQ(1639u, other.run.exitCode);
  EXPECT_TRUE(other.output.empty());
  RemoveTree(L"Other.Maker.Control");
  ForgetTestControl();
}

// The inventory: every control of the maker with its class, view, file, whether the file is
// there and its version, as a table and as JSON; standard output without a byte-order mark.
TEST(UnattendedInventory, ListDetailsAndJsonDescribeEachControl) {
  ForgetTestControl();
  std::wstring control = CopyOfTestControl();
  ASSERT_EQ(0u, RunUnattended(Exe(), L"/install " + Quoted(control) + L" /quiet", nullptr, RunBound).exitCode);
  // A 32-bit control registered with an expandable path, as installers write them; its file
  // has a version resource (the program's own, copied).
  std::wstring folder = FreshFolder();
  CopyFileW(Exe().c_str(), (folder + L"\\versioned.ocx").c_str(), FALSE);
  SetEnvironmentVariableW(L"CTLWARDEN_INVENTORY_TEST", folder.c_str());  // the program inherits it
  const std::wstring versionedClass = L"CLSID\\{7A3C00F2-5E21-4B8D-9F14-3C2B1A0D9E51}";
  PutKey(L"Vorn.Test.versioned\\CLSID", L"{7A3C00F2-5E21-4B8D-9F14-3C2B1A0D9E51}");
  ASSERT_TRUE(PutKey32(versionedClass + L"\\InprocServer32", L"%CTLWARDEN_INVENTORY_TEST%\\versioned.ocx",
                       REG_EXPAND_SZ));
  // One whose file is gone, and a ProgID with characters that JSON must escape.
  PutKey(L"Vorn.Test.gone\\CLSID", L"{7A3C00F3-5E21-4B8D-9F14-3C2B1A0D9E51}");
  PutKey(L"CLSID\\{7A3C00F3-5E21-4B8D-9F14-3C2B1A0D9E51}\\InprocServer32", L"C:\\VornActiveX\\1\\gone.ocx");
  const std::wstring quoted = L"Vorn.Test.\"q\"";
  PutKey(quoted + L"\\CLSID", L"{7A3C00F3-5E21-4B8D-9F14-3C2B1A0D9E51}");

  const std::wstring version = std::to_wstring(CTLWARDEN_VERSION_MAJOR) + L"." +
                               std::to_wstring(CTLWARDEN_VERSION_MINOR) + L"." +
                               std::to_wstring(CTLWARDEN_VERSION_PATCH) + L".0";
  struct Expected {
    std::wstring progId, clsid, view, file, present, version;
  } expected[] = {
      {TestProgId, TestClsid, L"64", control, L"yes", L""},
      {L"Vorn.Test.versioned", L"{7A3C00F2-5E21-4B8D-9F14-3C2B1A0D9E51}", L"32", folder + L"\\versioned.ocx",
       L"yes", version},
      {L"Vorn.Test.gone", L"{7A3C00F3-5E21-4B8D-9F14-3C2B1A0D9E51}", L"64", L"C:\\VornActiveX\\1\\gone.ocx",
       L"no", L""},
      {quoted, L"{7A3C00F3-5E21-4B8D-9F14-3C2B1A0D9E51}", L"64", L"C:\\VornActiveX\\1\\gone.ocx", L"no", L""},
  };

  Result details = RunCaptured(L"/list /details");
  EXPECT_RAN_WITHOUT_WINDOW(details.run);
  EXPECT_EQ(0u, details.run.exitCode);
  EXPECT_FALSE(HasByteOrderMark(details.output));
  std::vector<std::wstring> rows = Lines(Utf8ToWide(details.output));
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(L"progId\tclsid\tview\tfile\tpresent\tversion", rows[0]);
  std::map<std::wstring, std::vector<std::wstring>> byProgId;
  for (size_t i = 1; i < rows.size(); ++i) {
    std::vector<std::wstring> fields = Fields(rows[i]);
    EXPECT_EQ(6u, fields.size()) << Ascii(rows[i]);
    byProgId[fields[0]] = fields;
  }
  for (const Expected& e : expected) {
    ASSERT_EQ(1u, byProgId.count(e.progId)) << Ascii(e.progId) << Show(rows);
    const std::vector<std::wstring>& row = byProgId[e.progId];
    ASSERT_EQ(6u, row.size());
    EXPECT_EQ(e.clsid, row[1]) << Ascii(e.progId);
    EXPECT_EQ(e.view, row[2]) << Ascii(e.progId);
    EXPECT_TRUE(Same(e.file, row[3])) << Ascii(e.progId) << ": " << Ascii(row[3]);
    EXPECT_EQ(e.present, row[4]) << Ascii(e.progId);
    EXPECT_EQ(e.version, row[5]) << Ascii(e.progId);
  }

  Result json = RunCaptured(L"/list /json");
  EXPECT_RAN_WITHOUT_WINDOW(json.run);
  EXPECT_EQ(0u, json.run.exitCode);
  EXPECT_FALSE(HasByteOrderMark(json.output));
  std::wstring text = Utf8ToWide(json.output);
  Json reader{text};
  auto objects = reader.Array();
  ASSERT_TRUE(reader.ok) << json.output;
  EXPECT_EQ(rows.size() - 1, objects.size());
  for (const Expected& e : expected) {
    const std::map<std::wstring, std::wstring>* found = nullptr;
    for (const auto& object : objects)
      if (object.count(L"progId") && object.at(L"progId") == e.progId) found = &object;
    ASSERT_TRUE(found) << Ascii(e.progId) << json.output;
    EXPECT_EQ(6u, found->size());
    EXPECT_EQ(e.clsid, found->at(L"clsid"));
    EXPECT_EQ(e.view, found->at(L"view"));
    EXPECT_TRUE(Same(e.file, found->at(L"file"))) << Ascii(found->at(L"file"));
    EXPECT_EQ(e.present == L"yes" ? L"=true" : L"=false", found->at(L"present"));
    EXPECT_EQ(e.version, found->at(L"version"));
  }

  // Plain /list: a ProgID a line, and the first line is a ProgID, not a byte-order mark.
  Result names = RunCaptured(L"/list");
  EXPECT_EQ(0u, names.run.exitCode);
  EXPECT_FALSE(HasByteOrderMark(names.output));
  std::vector<std::wstring> listed = Lines(Utf8ToWide(names.output));
  EXPECT_EQ(rows.size() - 1, listed.size());
  for (size_t i = 0; i < listed.size(); ++i) EXPECT_EQ(1u, byProgId.count(listed[i])) << Ascii(listed[i]);

  // Only with /list, and only one of them.
  EXPECT_EQ(1639u, RunCaptured(L"/list /details /json").run.exitCode);
  EXPECT_EQ(1639u, RunCaptured(L"/uninstall /all /json").run.exitCode);

  RemoveTree(L"Vorn.Test.versioned");
  RemoveTree32(versionedClass);
  RemoveTree(L"Vorn.Test.gone");
  RemoveTree(quoted);
  RemoveTree(L"CLSID\\{7A3C00F3-5E21-4B8D-9F14-3C2B1A0D9E51}");
  ForgetTestControl();
}

// The uninstall command written beside "/install control.ocx": the controls registered from
// that file go, others stay; a file that is not there is refused as /install refuses it.
TEST(UnattendedInventory, UninstallOfAControlFileRemovesWhatWasRegisteredFromIt) {
  ForgetTestControl();
  std::wstring control = CopyOfTestControl();
  ASSERT_EQ(0u, RunUnattended(Exe(), L"/install " + Quoted(control) + L" /quiet", nullptr, RunBound).exitCode);
  // Another of the maker's controls, registered from another file.
  const std::wstring otherClass = L"CLSID\\{7A3C00F4-5E21-4B8D-9F14-3C2B1A0D9E51}";
  PutKey(L"Vorn.Test.other\\CLSID", L"{7A3C00F4-5E21-4B8D-9F14-3C2B1A0D9E51}");
  PutKey(otherClass + L"\\InprocServer32", WindowsPath(NOREGCTL_DLL).c_str());
  PutKey(otherClass + L"\\ProgID", L"Vorn.Test.other");

  // The path as another script may spell it: upper-case ending, forward slashes.
  std::wstring spelled = control.substr(0, control.size() - 4) + L".DLL";
  for (wchar_t& c : spelled)
    if (c == L'\\') c = L'/';
  Result removed = RunCaptured(L"/uninstall " + Quoted(spelled) + L" /quiet");
  EXPECT_RAN_WITHOUT_WINDOW(removed.run);
  EXPECT_EQ(0u, removed.run.exitCode) << Show(removed.log);
  EXPECT_FALSE(KeyExists(std::wstring(TestProgId)));
  EXPECT_FALSE(KeyExists(TestClassKey));
  EXPECT_TRUE(KeyExists(L"Vorn.Test.other\\CLSID"));
  EXPECT_TRUE(KeyExists(otherClass + L"\\InprocServer32"));
  EXPECT_TRUE(Exists(control));  // a control installed from its own place keeps its file
  auto remove = Events(removed.log, L"remove", TestProgId);
  ASSERT_EQ(1u, remove.size()) << Show(removed.log);
  EXPECT_EQ(L"ok", remove[0][3]);

  // Again: nothing registered from it any more, which is no failure.
  Result again = RunCaptured(L"/uninstall " + Quoted(control) + L" /quiet");
  EXPECT_EQ(0u, again.run.exitCode);
  auto nothing = Events(again.log, L"uninstall");
  ASSERT_EQ(1u, nothing.size()) << Show(again.log);
  EXPECT_EQ(L"ok", nothing[0][3]);
  EXPECT_EQ(L"no control is registered from this file; nothing to remove", nothing[0][4]);

  // A file that is not there (1619) or not a control (1620), beside a ProgID: nothing removed.
  std::wstring gone = FreshFolder() + L"\\gone.ocx";
  EXPECT_EQ(1619u, RunCaptured(L"/uninstall Vorn.Test.other " + Quoted(gone) + L" /quiet").run.exitCode);
  EXPECT_EQ(1620u,
            RunCaptured(L"/uninstall Vorn.Test.other " + Quoted(WindowsPath(README_TXT)) + L" /quiet").run.exitCode);
  EXPECT_TRUE(KeyExists(L"Vorn.Test.other\\CLSID"));
  RemoveTree(L"Vorn.Test.other");
  RemoveTree(otherClass);
}

// The uninstall command beside "/install pack.cab": the controls registered from the folder
// that cabinet was unpacked into go, and so does the folder; a folder whose file of the
// cabinet's name holds other bytes is not that cabinet's, and its registration and files stay.
TEST(UnattendedInventory, UninstallOfACabinetRemovesItsControlsAndItsUnpackedFolder) {
  std::wstring cabinet = WindowsPath(SAMPLE_CAB);
  ForgetTestControl();
  Result installed = RunCaptured(L"/install " + Quoted(cabinet) + L" /quiet");
  ASSERT_EQ(0u, installed.run.exitCode) << Show(installed.log);
  std::wstring folder = UnpackFolderOf(installed.log, cabinet);
  ASSERT_FALSE(folder.empty()) << Show(installed.log);
  ASSERT_TRUE(Exists(folder + L"testctl.dll"));

  // Another package's control of the same name (other bytes) beside a file of its own,
  // registered under another ProgID.
  std::wstring other = L"C:\\VornActiveX\\1000000001\\";
  CreateDirectoryW(other.c_str(), nullptr);
  CopyFileW(WindowsPath(README_TXT).c_str(), (other + L"testctl.dll").c_str(), FALSE);
  CopyFileW(WindowsPath(README_TXT).c_str(), (other + L"readme.txt").c_str(), FALSE);
  const std::wstring otherClass = L"CLSID\\{7A3C00F5-5E21-4B8D-9F14-3C2B1A0D9E51}";
  PutKey(L"Vorn.Test.otherpack\\CLSID", L"{7A3C00F5-5E21-4B8D-9F14-3C2B1A0D9E51}");
  PutKey(otherClass + L"\\InprocServer32", (other + L"testctl.dll").c_str());

  // The cabinet's name in another letter case, as a package's uninstall line may have it.
  std::wstring spelled = cabinet.substr(0, cabinet.size() - 4) + L".CAB";
  Result removed = RunCaptured(L"/uninstall " + Quoted(spelled) + L" /quiet");
  EXPECT_RAN_WITHOUT_WINDOW(removed.run);
  EXPECT_EQ(0u, removed.run.exitCode) << Show(removed.log);
  EXPECT_FALSE(KeyExists(std::wstring(TestProgId)));
  EXPECT_FALSE(KeyExists(TestClassKey));
  EXPECT_FALSE(Exists(folder)) << Ascii(folder) << Show(removed.log);
  EXPECT_TRUE(KeyExists(otherClass + L"\\InprocServer32"));
  EXPECT_TRUE(Exists(other + L"testctl.dll"));
  EXPECT_TRUE(Exists(other + L"readme.txt"));
  EXPECT_EQ(1u, Events(removed.log, L"remove", TestProgId).size()) << Show(removed.log);

  // Nothing registered from it now: 0.
  EXPECT_EQ(0u, RunCaptured(L"/uninstall " + Quoted(cabinet) + L" /quiet").run.exitCode);

  // A cabinet whose entry name climbs out of its folder was never unpacked whole into any
  // folder, so it matches none: not every folder of one file whose "../1000000011/x.ocx" is
  // the same bytes.
  const std::wstring victim = L"C:\\VornActiveX\\1000000010\\", climbed = L"C:\\VornActiveX\\1000000011\\";
  for (const std::wstring& f : {victim, climbed}) CreateDirectoryW(f.c_str(), nullptr);
  CopyFileW(WindowsPath(TESTCTL_DLL).c_str(), (victim + L"y.ocx").c_str(), FALSE);
  HANDLE planted = CreateFileW((climbed + L"x.ocx").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(planted, "A", 1, &written, nullptr);
  CloseHandle(planted);
  const std::wstring victimClass = L"CLSID\\{7A3C00F7-5E21-4B8D-9F14-3C2B1A0D9E51}";
  PutKey(L"Vorn.Test.victim\\CLSID", L"{7A3C00F7-5E21-4B8D-9F14-3C2B1A0D9E51}");
  PutKey(victimClass + L"\\InprocServer32", (victim + L"y.ocx").c_str());
  std::wstring climbing = FreshFolder() + L"\\climbing.cab";
  char ansi[MAX_PATH] = {};
  WideCharToMultiByte(CP_ACP, 0, climbing.c_str(), -1, ansi, MAX_PATH, nullptr, nullptr);
  ASSERT_TRUE(WriteCabinet(ansi, {{"..\\1000000011\\x.ocx", "A"}}));
  Result climbs = RunCaptured(L"/uninstall " + Quoted(climbing) + L" /quiet");
  EXPECT_EQ(0u, climbs.run.exitCode) << Show(climbs.log);
  EXPECT_TRUE(KeyExists(victimClass + L"\\InprocServer32"));
  EXPECT_TRUE(KeyExists(L"Vorn.Test.victim"));
  EXPECT_TRUE(Exists(victim + L"y.ocx"));
  EXPECT_TRUE(Exists(climbed + L"x.ocx"));
  RemoveTree(L"Vorn.Test.victim");
  RemoveTree(victimClass);
  DeleteFileW((victim + L"y.ocx").c_str());
  DeleteFileW((climbed + L"x.ocx").c_str());
  for (const std::wstring& f : {victim, climbed}) RemoveDirectoryW(f.c_str());

  RemoveTree(L"Vorn.Test.otherpack");
  RemoveTree(otherClass);
  for (const wchar_t* name : {L"testctl.dll", L"readme.txt"}) DeleteFileW((other + name).c_str());
  RemoveDirectoryW(other.c_str());
}

// No pile of old copies: a second install of a cabinet leaves its folder alone, and the first
// one's, which no registration names any more, is deleted. Folders that are still named, in
// use, or not the program's stay.
TEST(UnattendedInventory, TwoInstallsOfOneCabinetLeaveOneFolder) {
  std::wstring cabinet = WindowsPath(SAMPLE_CAB);
  ForgetTestControl();
  Result first = RunCaptured(L"/install " + Quoted(cabinet) + L" /quiet");
  ASSERT_EQ(0u, first.run.exitCode) << Show(first.log);
  std::wstring firstFolder = UnpackFolderOf(first.log, cabinet);
  ASSERT_TRUE(Exists(firstFolder + L"testctl.dll")) << Ascii(firstFolder);

  // Still named by a registration; a file held open; a folder not named by digits.
  const std::wstring named = L"C:\\VornActiveX\\1000000002\\", held = L"C:\\VornActiveX\\1000000003\\",
                     lettered = L"C:\\VornActiveX\\kept\\";
  for (const std::wstring& f : {named, held, lettered}) {
    CreateDirectoryW(f.c_str(), nullptr);
    CopyFileW(WindowsPath(README_TXT).c_str(), (f + L"x.ocx").c_str(), FALSE);
  }
  const std::wstring namedClass = L"CLSID\\{7A3C00F6-5E21-4B8D-9F14-3C2B1A0D9E51}";
  PutKey(namedClass + L"\\InprocServer32", (named + L"x.ocx").c_str());
  HANDLE open = CreateFileW((held + L"x.ocx").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, open);

  Result second = RunCaptured(L"/install " + Quoted(cabinet) + L" /quiet");
  CloseHandle(open);
  EXPECT_RAN_WITHOUT_WINDOW(second.run);
  ASSERT_EQ(0u, second.run.exitCode) << Show(second.log);
  std::wstring secondFolder = UnpackFolderOf(second.log, cabinet);
  EXPECT_NE(firstFolder, secondFolder);
  EXPECT_TRUE(Exists(secondFolder + L"testctl.dll"));
  EXPECT_FALSE(Exists(firstFolder)) << Ascii(firstFolder) << Show(second.log);
  for (const std::wstring& f : {named, held, lettered}) EXPECT_TRUE(Exists(f + L"x.ocx")) << Ascii(f);
  std::wstring firstBackslashed = firstFolder;
  for (wchar_t& c : firstBackslashed)
    if (c == L'/') c = L'\\';
  auto cleaned = Events(second.log, L"cleanup", firstBackslashed);
  ASSERT_EQ(1u, cleaned.size()) << Show(second.log);
  EXPECT_EQ(L"ok", cleaned[0][3]);
  // The registration names the second folder.
  Result verified = RunCaptured(L"/verify Vorn.Test.testctl");
  EXPECT_EQ(0u, verified.run.exitCode);
  EXPECT_NE(std::string::npos, verified.output.find(Ascii(secondFolder.substr(15, 10))));

  // An uninstall deletes the folder of a control it removed, the newest one too.
  ASSERT_EQ(0u, RunCaptured(L"/uninstall Vorn.Test.testctl /quiet").run.exitCode);
  EXPECT_FALSE(Exists(secondFolder)) << Ascii(secondFolder);

  // An install of a control alone: an unused older folder goes, but the newest folder stays,
  // since a drop may be registering from it right now.
  const std::wstring older = L"C:\\VornActiveX\\1000000005\\", newest = L"C:\\VornActiveX\\1000000006\\";
  for (const std::wstring& f : {older, newest}) {
    CreateDirectoryW(f.c_str(), nullptr);
    CopyFileW(WindowsPath(README_TXT).c_str(), (f + L"x.ocx").c_str(), FALSE);
  }
  std::wstring control = CopyOfTestControl(L"vornsingle.dll");
  Result single = RunCaptured(L"/install " + Quoted(control) + L" /quiet");
  ASSERT_EQ(0u, single.run.exitCode) << Show(single.log);
  EXPECT_FALSE(Exists(older)) << Show(single.log);
  EXPECT_TRUE(Exists(newest + L"x.ocx")) << Show(single.log);

  ASSERT_EQ(0u, RunCaptured(L"/uninstall Vorn.Test.vornsingle /quiet").run.exitCode);
  EXPECT_TRUE(Exists(control));  // not an unpack folder: installed from where it lies

  RemoveTree(namedClass);
  for (const std::wstring& f : {named, held, lettered, newest}) {
    DeleteFileW((f + L"x.ocx").c_str());
    RemoveDirectoryW(f.c_str());
  }
  ForgetTestControl();
}

// A control that wrote a file beside itself, and a cabinet with two entries of one name (the
// one written last stays): "/uninstall pack.cab" still finds and removes its controls. A
// cabinet whose controls are registered only from a folder that does not hold it says so.
TEST(UnattendedInventory, UninstallOfACabinetFindsItsControlsAfterTheyWroteBesideThemselves) {
  const std::string control = [] {
    HANDLE file = CreateFileW(WindowsPath(TESTCTL_DLL).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes;
  }();
  std::wstring plain = FreshFolder() + L"\\plain.cab", twice = FreshFolder() + L"\\twice.cab";
  char ansi[MAX_PATH] = {};
  WideCharToMultiByte(CP_ACP, 0, plain.c_str(), -1, ansi, MAX_PATH, nullptr, nullptr);
  ASSERT_TRUE(WriteCabinet(ansi, {{"testctl.dll", control}}));
  WideCharToMultiByte(CP_ACP, 0, twice.c_str(), -1, ansi, MAX_PATH, nullptr, nullptr);
  ASSERT_TRUE(WriteCabinet(ansi, {{"testctl.dll", "an older copy"}, {"testctl.dll", control}}));
  for (const std::wstring& cabinet : {plain, twice}) {
    ForgetTestControl();
    Result installed = RunCaptured(L"/install " + Quoted(cabinet) + L" /quiet");
    ASSERT_EQ(0u, installed.run.exitCode) << Show(installed.log);
    std::wstring folder = UnpackFolderOf(installed.log, cabinet);
    ASSERT_FALSE(folder.empty()) << Show(installed.log);
    HANDLE beside = CreateFileW((folder + L"settings.ini").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, beside);
    CloseHandle(beside);
    Result removed = RunCaptured(L"/uninstall " + Quoted(cabinet) + L" /quiet");
    EXPECT_EQ(0u, removed.run.exitCode) << Show(removed.log);
    EXPECT_FALSE(KeyExists(std::wstring(TestProgId))) << Show(removed.log);
    EXPECT_FALSE(KeyExists(TestClassKey));
    EXPECT_EQ(1u, Events(removed.log, L"remove", TestProgId).size()) << Show(removed.log);
  }

  // Registered from a folder whose control has other bytes than the cabinet's: kept, and said.
  ForgetTestControl();
  ASSERT_EQ(0u, RunCaptured(L"/install " + Quoted(plain) + L" /quiet").run.exitCode);
  WideCharToMultiByte(CP_ACP, 0, plain.c_str(), -1, ansi, MAX_PATH, nullptr, nullptr);
  ASSERT_TRUE(WriteCabinet(ansi, {{"testctl.dll", control + "changed"}}));
  Result kept = RunCaptured(L"/uninstall " + Quoted(plain) + L" /quiet");
  EXPECT_EQ(0u, kept.run.exitCode);
  EXPECT_TRUE(KeyExists(std::wstring(TestProgId)));
  auto said = Events(kept.log, L"uninstall", plain);
  ASSERT_FALSE(said.empty()) << Show(kept.log);
  EXPECT_EQ(L"controls of this cabinet are registered, but from no folder that holds this "
            L"cabinet's files; nothing was removed", said.back()[4]) << Show(kept.log);
  ForgetTestControl();
}
