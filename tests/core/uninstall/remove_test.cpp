// Removing a control's registration, on both kinds of Windows: the 32-bit program sees the
// native class keys on 32-bit Windows and those under Wow6432Node on 64-bit Windows. These
// tests run as a 64-bit process, so the view is passed in; the registry is laid out as each
// system has it. On 64-bit Windows the program is a 32-bit process, for which the plain
// "Interface" is the 32-bit view as well: both sweeps reach the 32-bit view and the 64-bit keys
// are never touched (tests/wow64 runs the shipped program so). From this 64-bit process the
// plain "Interface" is the 64-bit view, which the program never sees there, so the cases of
// that route lay out nothing of the control in it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/core/uninstall/keys.h"
#include "core/uninstall/remove.h"

namespace {
using Names = std::vector<std::wstring>;
constexpr bool Native = false;  // 32-bit Windows
constexpr bool Wow64 = true;    // 64-bit Windows

// The maker's two file types, with what a file type usually has below it.
const Names FileTypes{L".zco", L".zxd"};
void PutFileTypes() {
  PutKey(L".zco", L"Vorn.Document");
  PutKey(L".zco\\ShellNew", L"");
  PutKey(L".zxd", L"Vorn.Data");
}

// A control whose GUIDs share every group but the first: library base+"0", interfaces
// base+"1" and base+"3" (next to each other in the enumeration), class base+"2". Its class key
// stores the library with the third group as the family writes it (storedThird); the keys
// are named with keyThird.
Registration Control(const std::wstring& progId, const std::wstring& base,
                     const std::wstring& group2, const std::wstring& storedThird,
                     const std::wstring& keyThird, bool wow64) {
  auto rest = [&](const std::wstring& third) {
    return group2 + L"-" + third + L"-8C2D-0123456789AB";
  };
  Registration r;
  r.progId = progId;
  r.clsid = Guid(base + L"2", rest(keyThird));
  r.typeLibText = Guid(base + L"0", rest(storedThird));
  r.typeLibKey = Guid(base + L"0", rest(keyThird));
  r.interfaces = {Guid(base + L"1", rest(keyThird)), Guid(base + L"3", rest(keyThird))};
  if (wow64) {
    r.classRoot = L"Wow6432Node\\CLSID";
    r.interfaceRoot = L"Wow6432Node\\Interface";
  }
  return r;
}

// Checks that every key of gone is missing and every key of kept reads as it did before.
struct Expectation {
  Names gone, kept;
  std::wstring keptBefore;
  void Take() { keptBefore = ExportAll(kept); }
  void Check() const {
    EXPECT_EQ(Existing(gone), Names{});
    EXPECT_EQ(ExportAll(kept), keptBefore);
  }
};

struct Family {
  const wchar_t* progId;
  const wchar_t* storedThird;  // raised by the family's fixes to "4CEF"
};
const Family Families[] = {{L"VORN.AtUniRemove", L"4Cef"},
                           {L"VORN.SeUniRemove", L"4cef"},
                           {L"VORN.WeUniRemove", L"4cef"},
                           {L"VORN.OfUniRemove", L"4cEf"}};

// Everything of the control goes on 32-bit Windows: both interfaces (the second in the
// second sweep over "Interface"), its type library and whatever in "TypeLib" shares the
// groups, its class key, its ProgID and the file types. Neighbours stay.
TEST(RemoveControl, ControlOfEachFamilyOn32BitWindows) {
  int n = 0;
  for (const Family& f : Families) {
    const std::wstring g2 = L"C10" + std::to_wstring(n++);
    const std::wstring tail = g2 + L"-4CEF-8C2D-0123456789AB";
    Registration r = Control(f.progId, L"B10000A", g2, f.storedThird, L"4CEF", Native);
    Registration other = Control(L"Other.UniRemove", L"B10000B", L"D000", L"4CEF", L"4CEF",
                                 Native);
    // Differs from the library only in the first group: goes with it ("TypeLib" is swept).
    const std::wstring sameGroups = L"TypeLib\\" + Guid(L"B10000A8", tail);
    // Neighbours that differ in letter case or a later group, a class key that differs only
    // in the first group, and the other view's keys.
    const Names neighbourInterfaces{
        L"Interface\\" + Guid(L"B10000A5", g2 + L"-4CEF-8C2D-0123456789AC"),
        L"Interface\\" + Guid(L"B10000A7", g2 + L"-4CEF-8C2D-0123456789ab"),
        L"Interface\\" + Guid(L"B10000A9", g2 + L"-" + f.storedThird + L"-8C2D-0123456789AB"),
        L"Wow6432Node\\Interface\\" + r.interfaces[0]};
    Expectation e;
    e.gone = KeysOf(r) + FileTypes + Names{sameGroups};
    e.kept = KeysOf(other) + neighbourInterfaces +
             Names{L"TypeLib\\" + Guid(L"B10000A3", g2 + L"-4CEF-8C2D-0123456789ac"),
                   L"CLSID\\" + Guid(L"B10000A4", tail), L"Wow6432Node\\CLSID\\" + r.clsid,
                   L"Vorn.UniRemoveNeighbour"};
    KeyCleanup cleanup(e.gone + e.kept);
    Register(r);
    Register(other);
    PutFileTypes();
    for (auto& k : neighbourInterfaces) PutKey(k + L"\\TypeLib", r.typeLibKey.c_str());
    PutKey(sameGroups + L"\\1.0\\0\\win32", L"C:\\VornActiveX\\1\\ctl.ocx");
    // The same groups registered to another file: another product's library, which stays.
    const std::wstring otherFileLib = L"TypeLib\\" + Guid(L"B10000A6", tail);
    KeyCleanup otherFile({otherFileLib});
    PutKey(otherFileLib + L"\\1.0\\0\\win64", L"C:\\Program Files\\Other\\other.ocx");
    e.kept.push_back(otherFileLib);
    PutKey(e.kept[e.kept.size() - 4] + L"\\1.0\\0\\win32", L"other.ocx");
    PutKey(e.kept[e.kept.size() - 3] + L"\\InprocServer32", L"other.ocx");
    PutKey(e.kept[e.kept.size() - 2] + L"\\TypeLib", r.typeLibText.c_str());
    PutKey(L"Vorn.UniRemoveNeighbour\\CLSID", Guid(L"B10000A4", tail).c_str());
    e.Take();

    EXPECT_TRUE(RemoveControlInView(f.progId, Native).removed);
    e.Check();
  }
}

// On 64-bit Windows the class key is the one under Wow6432Node and the sweeps take the
// interfaces of the 32-bit view.
TEST(RemoveControl, ControlOn64BitWindows) {
  SeparateWowTypeLib views;
  const std::wstring tail = L"C200-4CEF-8C2D-0123456789AB";
  Registration r = Control(L"VORN.SeUniRemove64", L"B20000A", L"C200", L"4cef", L"4CEF", Wow64);
  r.interfaces = {Guid(L"B20000A1", tail)};
  // The native class key of the same CLSID names another library: it is neither read nor
  // deleted, nor is that library swept.
  const std::wstring otherTail = L"C201-4CEF-8C2D-0123456789AB";
  const std::wstring otherLib = Guid(L"B20000F0", otherTail);
  Expectation e;
  e.gone = KeysOf(r) + FileTypes;
  e.kept = Names{L"Wow6432Node\\Interface\\" + Guid(L"B20000A9", L"C200-4CEF-8C2D-0123456789ab"),
                 L"CLSID\\" + r.clsid,
                 L"Interface\\" + Guid(L"B20000F1", otherTail),
                 L"TypeLib\\" + otherLib,
                 L"Wow6432Node\\TypeLib\\" + r.typeLibKey};
  KeyCleanup cleanup(e.gone + e.kept);
  Register(r);
  PutKey(e.kept[0] + L"\\TypeLib", r.typeLibKey.c_str());
  PutKey(L"CLSID\\" + r.clsid + L"\\TypeLib", otherLib.c_str());
  PutKey(L"CLSID\\" + r.clsid + L"\\InprocServer32", L"C:\\VornActiveX\\1\\ctl64.ocx");
  PutKey(e.kept[2] + L"\\TypeLib", otherLib.c_str());
  PutKey(L"TypeLib\\" + otherLib + L"\\1.0\\0\\win32", L"x.ocx");
  PutKey(L"Wow6432Node\\TypeLib\\" + r.typeLibKey + L"\\1.0\\0\\win32", L"ctl.ocx");
  PutFileTypes();
  ASSERT_FALSE(WowTypeLibIsShared());
  e.Take();

  EXPECT_TRUE(RemoveControlInView(r.progId.c_str(), Wow64).removed);
  e.Check();
}

// On 32-bit Windows "Interface" is swept twice and "Wow6432Node\\Interface" never: three
// matching interfaces next to each other all go.
TEST(RemoveControl, SecondSweepOn32BitWindowsIsOverInterfaceAgain) {
  const std::wstring tail = L"C300-4CEF-8C2D-0123456789AB";
  Registration r = Control(L"VORN.WeUniRemove32", L"B30000A", L"C300", L"4cef", L"4CEF", Native);
  const std::wstring i1 = Guid(L"B30000A1", tail), i2 = Guid(L"B30000A2", tail),
                     i3 = Guid(L"B30000A3", tail);
  r.interfaces = {i1, i2, i3};
  Expectation e;
  e.gone = KeysOf(r) + FileTypes;
  e.kept = Names{L"Wow6432Node\\Interface\\" + i1, L"Wow6432Node\\Interface\\" + i3};
  KeyCleanup cleanup(e.gone + e.kept);
  Register(r);
  for (auto& k : e.kept) PutKey(k + L"\\TypeLib", r.typeLibKey.c_str());
  PutFileTypes();
  e.Take();
  const auto wowInterfaceStamp = Stamp(L"Wow6432Node\\Interface");

  EXPECT_TRUE(RemoveControlInView(r.progId.c_str(), Native).removed);
  e.Check();
  EXPECT_EQ(Stamp(L"Wow6432Node\\Interface"), wowInterfaceStamp);
}

// The registry stamps a parent when a child is deleted, so the parents' stamps show the order
// of the steps: sweeps, then the class key, then the ProgID. On 64-bit Windows the sweeps
// delete in the 32-bit view.
TEST(RemoveControl, StepsRunInOrder) {
  for (bool wow64 : {Native, Wow64}) {
    Registration r = Control(L"VORN.OfUniRemoveOrder", L"B40000A", wow64 ? L"C401" : L"C400",
                             L"4cEf", L"4CEF", wow64);
    r.interfaces.pop_back();
    const std::wstring classes = wow64 ? L"Wow6432Node\\CLSID" : L"CLSID";
    const std::wstring interfaces = wow64 ? L"Wow6432Node\\Interface" : L"Interface";
    KeyCleanup cleanup(KeysOf(r) + FileTypes);
    Register(r);
    PutFileTypes();
    const auto before = Stamp(L"");

    RemoveControlInView(r.progId.c_str(), wow64);
    EXPECT_EQ(Existing(KeysOf(r) + FileTypes), Names{});
    const auto swept = Stamp(interfaces), libraries = Stamp(L"TypeLib"),
               classKey = Stamp(classes), root = Stamp(L"");
    EXPECT_LT(before, swept);
    EXPECT_LE(swept, libraries);
    EXPECT_LE(libraries, classKey);
    EXPECT_LE(classKey, root);
  }
}

// The CLSID is read before the file types are deleted: a ProgID ".zco" still finds its class.
TEST(RemoveControl, ClsidIsReadBeforeTheFileTypesGo) {
  Registration r = Control(L".zco", L"B50000A", L"C500", L"4CEF", L"4CEF", Native);
  KeyCleanup cleanup(KeysOf(r) + FileTypes);
  Register(r);
  PutKey(L".zxd");
  EXPECT_TRUE(RemoveControlInView(L".zco", Native).removed);
  EXPECT_EQ(Existing(KeysOf(r) + FileTypes), Names{});
}

struct SpecialCase {
  const wchar_t* progId;
  const wchar_t* clsid;
  const wchar_t* lib;
};
const SpecialCase Specials[] = {
    {L"Vorn.LargeDataUploader", L"{5D3E71A2-C42B-4e19-9B3D-2F7A60C81E42}",
     L"{5D3E71A0-C42B-4E19-9B3D-2F7A60C81E42}"},
    {L"VORN.SafeSealSvcCtlMem", L"{C7A94E3D-18D2-4b65-8E21-7C05D93A4F18}",
     L"{C7A94E3B-18D2-4B65-8E21-7C05D93A4F18}"},
};

// Both views registered, as after installing on either system; interfaces and file types.
Names PutSpecial(const SpecialCase& s) {
  const std::wstring clsid = s.clsid, lib = s.lib, progId = s.progId;
  const std::wstring iid = L"{00000001" + lib.substr(9);
  for (auto root : {L"CLSID\\", L"Wow6432Node\\CLSID\\"}) {
    PutKey(root + clsid, L"Vorn control");
    PutKey(root + clsid + L"\\InprocServer32", L"C:\\VornActiveX\\1\\ctl.ocx");
    PutKey(root + clsid + L"\\TypeLib", lib.c_str());
    PutKey(root + clsid + L"\\ProgID", s.progId);
  }
  for (auto root : {L"TypeLib\\", L"Wow6432Node\\TypeLib\\"})
    PutKey(root + lib + L"\\1.0\\0\\win32", L"C:\\VornActiveX\\1\\ctl.ocx");
  PutKey(progId + L"\\CLSID", s.clsid);
  PutKey(progId + L"\\CurVer", (progId + L".1").c_str());
  PutKey(L"Interface\\" + iid + L"\\TypeLib", s.lib);
  // A type-library key named like the CLSID, lower-case letter included: no sweep runs here.
  PutKey(L"TypeLib\\" + clsid + L"\\1.0");
  PutFileTypes();
  return Names{progId,
               L"TypeLib\\" + lib,
               L"CLSID\\" + clsid,
               L"Wow6432Node\\CLSID\\" + clsid,
               L"Wow6432Node\\TypeLib\\" + lib,
               L"Interface\\" + iid,
               L"TypeLib\\" + clsid} +
         FileTypes;
}

TEST(RemoveSpecialControl, On32BitWindowsDeletesProgIdLibraryAndNativeClass) {
  for (const SpecialCase& s : Specials) {
    SeparateWowTypeLib views;
    const std::wstring clsid = s.clsid, lib = s.lib;
    Expectation e;
    e.gone = {s.progId, L"TypeLib\\" + lib, L"CLSID\\" + clsid};
    KeyCleanup cleanup(PutSpecial(s));
    e.kept = Names{L"Wow6432Node\\CLSID\\" + clsid, L"Wow6432Node\\TypeLib\\" + lib,
                   L"Interface\\{00000001" + lib.substr(9), L"TypeLib\\" + clsid} + FileTypes;
    e.Take();
    const auto before = Stamp(L"");

    EXPECT_TRUE(RemoveControlInView(s.progId, Native).removed);
    e.Check();
    const auto root = Stamp(L""), libraries = Stamp(L"TypeLib"), classes = Stamp(L"CLSID");
    EXPECT_LT(before, root);
    EXPECT_LE(root, libraries);
    EXPECT_LE(libraries, classes);
  }
}

TEST(RemoveSpecialControl, On64BitWindowsDeletesProgIdLibrariesAndWowClass) {
  for (const SpecialCase& s : Specials) {
    SeparateWowTypeLib views;
    const std::wstring clsid = s.clsid, lib = s.lib;
    Expectation e;
    e.gone = {s.progId, L"TypeLib\\" + lib, L"Wow6432Node\\CLSID\\" + clsid,
              L"Wow6432Node\\TypeLib\\" + lib};
    KeyCleanup cleanup(PutSpecial(s));
    e.kept = Names{L"CLSID\\" + clsid, L"Interface\\{00000001" + lib.substr(9),
                   L"TypeLib\\" + clsid} + FileTypes;
    e.Take();
    const auto before = Stamp(L"");

    EXPECT_TRUE(RemoveControlInView(s.progId, Wow64).removed);
    e.Check();
    const auto root = Stamp(L""), libraries = Stamp(L"TypeLib"),
               classes = Stamp(L"Wow6432Node\\CLSID"), wowLibraries = Stamp(L"Wow6432Node\\TypeLib");
    EXPECT_LT(before, root);
    EXPECT_LE(root, libraries);
    EXPECT_LE(libraries, classes);
    EXPECT_LE(classes, wowLibraries);
  }
}

// Where the views share "TypeLib" (Windows 7 and later, and Wine), the library is gone after
// the second step and the last step finds nothing left; the native class key stays.
TEST(RemoveSpecialControl, On64BitWindowsWithSharedTypeLib) {
  ASSERT_TRUE(WowTypeLibIsShared());
  for (const SpecialCase& s : Specials) {
    const std::wstring clsid = s.clsid, lib = s.lib;
    Expectation e;
    e.gone = {s.progId, L"TypeLib\\" + lib, L"Wow6432Node\\TypeLib\\" + lib,
              L"Wow6432Node\\CLSID\\" + clsid};
    KeyCleanup cleanup(PutSpecial(s));
    e.kept = Names{L"CLSID\\" + clsid, L"Interface\\{00000001" + lib.substr(9),
                   L"TypeLib\\" + clsid} + FileTypes;
    e.Take();
    EXPECT_TRUE(RemoveControlInView(s.progId, Wow64).removed);
    e.Check();
  }
}

// Only the exact ProgIDs take the fixed removal; near misses are removed as any control.
TEST(RemoveSpecialControl, NearMissesTakeTheGeneralRoute) {
  for (auto progId : {L"Vorn.LargeDataUploaderX", L"vorn.LargeDataUploader",
                      L"VORN.SafeSealSvcCtlMe", L"VORN.SAFESEALSVCCTLMEM"}) {
    Registration r = Control(progId, L"B60000A", L"C600", L"4CEF", L"4CEF", Native);
    const std::wstring uploaderLib = L"TypeLib\\{5D3E71A0-C42B-4E19-9B3D-2F7A60C81E42}";
    KeyCleanup cleanup(KeysOf(r) + FileTypes + Names{uploaderLib});
    Register(r);
    PutFileTypes();
    PutKey(uploaderLib + L"\\1.0");
    RemoveControlInView(progId, Native);
    EXPECT_EQ(Existing(KeysOf(r) + FileTypes), Names{}) << testing::PrintToString(progId);
    EXPECT_TRUE(KeyExists(uploaderLib));
  }
}

// Without a CLSID that names one key, no class key is read or deleted: the whole "CLSID\\"
// (or "Wow6432Node\\CLSID\\") is never at stake. The registry would read "CLSID\\\\TypeLib"
// as "CLSID\\TypeLib", so a library named there must not be swept either.
TEST(RemoveControl, ClsidThatNamesNoSingleKeyLeavesEveryClassKey) {
  const std::wstring neighbourClass = Guid(L"B70000A2", L"C700-4CEF-8C2D-0123456789AB");
  const std::wstring lib = Guid(L"B70000A0", L"C700-4CEF-8C2D-0123456789AB");
  const std::wstring clsids[] = {L"", L"\\", L"\\" + neighbourClass, neighbourClass + L"\\",
                                 neighbourClass + L"\\InprocServer32", L"..\\" + neighbourClass};
  for (bool wow64 : {Native, Wow64}) {
    for (const std::wstring& clsid : clsids) {
      const std::wstring classes = wow64 ? L"Wow6432Node\\CLSID" : L"CLSID";
      Expectation e;
      e.gone = Names{L"VORN.AtUniRemoveNoClass"} + FileTypes;
      e.kept = {classes + L"\\" + neighbourClass, classes + L"\\TypeLib",
                L"Interface\\" + Guid(L"B70000A1", L"C700-4CEF-8C2D-0123456789AB"),
                L"TypeLib\\" + lib};
      KeyCleanup cleanup(e.gone + e.kept);
      PutKey(L"VORN.AtUniRemoveNoClass\\CLSID", clsid.c_str());
      PutKey(classes + L"\\" + neighbourClass + L"\\InprocServer32", L"ctl.ocx");
      PutKey(classes + L"\\" + neighbourClass + L"\\TypeLib", lib.c_str());
      PutKey(classes + L"\\TypeLib", lib.c_str());
      PutKey(e.kept[2] + L"\\TypeLib", lib.c_str());
      PutKey(e.kept[3] + L"\\1.0\\0\\win32", L"ctl.ocx");
      PutFileTypes();
      e.Take();

      EXPECT_TRUE(RemoveControlInView(L"VORN.AtUniRemoveNoClass", wow64).removed);
      e.Check();
      EXPECT_TRUE(KeyExists(classes));
      EXPECT_GT(SubkeyNames(classes).size(), 1u);
    }
  }
}

TEST(RemoveControl, ProgIdWithoutClsidKeyStillGoesWithTheFileTypes) {
  KeyCleanup cleanup(Names{L"Vorn.UniRemoveBare"} + FileTypes);
  PutKey(L"Vorn.UniRemoveBare\\CurVer", L"Vorn.UniRemoveBare.1");
  PutFileTypes();
  const auto classes = SubkeyNames(L"CLSID").size();
  EXPECT_TRUE(RemoveControlInView(L"Vorn.UniRemoveBare", Native).removed);
  EXPECT_EQ(Existing(Names{L"Vorn.UniRemoveBare"} + FileTypes), Names{});
  EXPECT_EQ(SubkeyNames(L"CLSID").size(), classes);
}

// A CLSID value too long for its buffer reads as empty, never as its cut first characters.
TEST(RemoveControl, ClsidTooLongForItsBufferIsNotCut) {
  const std::wstring cut254(254, L'q'), cut255(255, L'q');
  const std::wstring longValue = cut254 + std::wstring(46, L'q');
  Expectation e;
  e.gone = Names{L"VORN.AtUniRemoveLong"} + FileTypes;
  e.kept = {L"CLSID\\" + cut254, L"CLSID\\" + cut255};
  KeyCleanup cleanup(e.gone + e.kept);
  PutKey(L"VORN.AtUniRemoveLong\\CLSID", longValue.c_str());
  for (auto& k : e.kept) PutKey(k + L"\\InprocServer32", L"ctl.ocx");
  PutFileTypes();
  e.Take();
  EXPECT_TRUE(RemoveControlInView(L"VORN.AtUniRemoveLong", Native).removed);
  e.Check();
}

// The longest texts that name keys still work: a 255-character ProgID, a 254-character CLSID.
TEST(RemoveControl, LongestProgIdAndClsidAreRemoved) {
  const std::wstring progId = L"VORN.At" + std::wstring(248, L'p');
  const std::wstring clsid(254, L'r');
  for (bool wow64 : {Native, Wow64}) {
    const std::wstring classKey = (wow64 ? L"Wow6432Node\\CLSID\\" : L"CLSID\\") + clsid;
    const std::wstring lib = Guid(L"B80000A0", L"C800-4CEF-8C2D-0123456789AB");
    Expectation e;
    e.gone = Names{progId, classKey, L"TypeLib\\" + lib} + FileTypes;
    KeyCleanup cleanup(e.gone);
    PutKey(progId + L"\\CLSID", clsid.c_str());
    PutKey(classKey + L"\\TypeLib", L"{B80000A0-C800-4Cef-8C2D-0123456789AB}");
    PutKey(classKey + L"\\ProgID", progId.c_str());
    PutKey(classKey + L"\\InprocServer32", L"ctl.ocx");
    PutKey(L"TypeLib\\" + lib + L"\\1.0\\0\\win32", L"ctl.ocx");
    PutFileTypes();
    EXPECT_TRUE(RemoveControlInView(progId.c_str(), wow64).removed);
    e.Check();
  }
}

// A text that names no single key below the root is no ProgID: nothing at all is deleted.
TEST(RemoveControl, EmptyOrMalformedProgIdDeletesNothing) {
  const std::wstring tooLong = L"Vorn." + std::wstring(300, L'p');
  Registration r = Control(L"Vorn.UniRemoveOk", L"B90000A", L"C900", L"4CEF", L"4CEF", Native);
  KeyCleanup cleanup(KeysOf(r) + FileTypes + Names{tooLong.substr(0, 255)});
  Register(r);
  PutFileTypes();
  PutKey(tooLong.substr(0, 255) + L"\\CLSID", r.clsid.c_str());
  Expectation e;
  e.kept = KeysOf(r) + FileTypes + Names{tooLong.substr(0, 255)};
  e.Take();
  for (const std::wstring& progId : {std::wstring(), std::wstring(L"\\"),
                                     std::wstring(L"\\Vorn.UniRemoveOk"),
                                     std::wstring(L"Vorn.UniRemoveOk\\CLSID"), tooLong}) {
    for (const RemovalResult& result :
         {RemoveControlInView(progId.c_str(), Native), RemoveControlInView(progId.c_str(), Wow64),
          RemoveControl(progId.c_str())}) {
      EXPECT_FALSE(result.removed);
      EXPECT_EQ(result.keysDeleted, 0);
      EXPECT_EQ(result.error, ERROR_INVALID_NAME);
    }
    e.Check();
  }
  EXPECT_TRUE(KeyExists(L"CLSID"));
}

// A step that fails does not stop the next: the file type that cannot go stays, and so does
// the ProgID that cannot go, while everything else is removed.
TEST(RemoveControl, FailedStepDoesNotStopTheNext) {
  Registration r = Control(L"VORN.SeUniRemoveStuck", L"BA0000A", L"CA00", L"4cef", L"4CEF",
                           Native);
  KeyCleanup cleanup(KeysOf(r) + FileTypes);
  Register(r);
  PutFileTypes();
  ASSERT_TRUE(PutUndeletable(L".zco\\Stuck"));
  ASSERT_TRUE(PutUndeletable(r.progId + L"\\Stuck"));
  // What was left is told: not removed, the ProgID key still there, two trees left with the
  // system's code for the first, and the rest deleted.
  const RemovalResult result = RemoveControlInView(r.progId.c_str(), Native);
  EXPECT_FALSE(result.removed);
  EXPECT_FALSE(result.progIdGone);
  EXPECT_EQ(result.keysLeft, 2);
  EXPECT_NE(result.error, ERROR_SUCCESS);
  // .zxd, both interfaces, the type library and the class key
  EXPECT_EQ(result.keysDeleted, 5);
  EXPECT_EQ(Existing(KeysOf(r) + FileTypes), (Names{r.progId, L".zco"}));
  EXPECT_EQ(SubkeyNames(r.progId), Names{L"Stuck"});
  EXPECT_EQ(SubkeyNames(L".zco"), Names{L"Stuck"});
  DeleteLinkKey(L".zco\\Stuck");
  DeleteLinkKey(r.progId + L"\\Stuck");
}

// Removing all: the second removal finds the file types gone and removes its own keys.
TEST(RemoveControl, OneControlAfterAnother) {
  Registration a = Control(L"VORN.AtUniRemoveA", L"BB0000A", L"CB00", L"4Cef", L"4CEF", Native);
  Registration b = Control(L"PDF.VUniRemoveB", L"BB0000B", L"CB01", L"4CEF", L"4CEF", Native);
  KeyCleanup cleanup(KeysOf(a) + KeysOf(b) + FileTypes);
  Register(a);
  Register(b);
  PutFileTypes();
  EXPECT_TRUE(RemoveControlInView(a.progId.c_str(), Native).removed);
  EXPECT_EQ(Existing(KeysOf(a) + FileTypes), Names{});
  EXPECT_EQ(Existing(KeysOf(b)), KeysOf(b));
  EXPECT_TRUE(RemoveControlInView(b.progId.c_str(), Native).removed);
  EXPECT_EQ(Existing(KeysOf(b)), Names{});
}

// This test process is no 32-bit process on 64-bit Windows: RemoveControl takes the native view.
TEST(RemoveControl, DetectsTheViewOfThisProcess) {
  EXPECT_FALSE(DetectWow64());
  Registration r = Control(L"VORN.WeUniRemoveDetect", L"BC0000A", L"CC00", L"4cef", L"4CEF",
                           Native);
  const std::wstring wowClass = L"Wow6432Node\\CLSID\\" + r.clsid;
  KeyCleanup cleanup(KeysOf(r) + FileTypes + Names{wowClass});
  Register(r);
  PutKey(wowClass + L"\\InprocServer32", L"ctl.ocx");
  EXPECT_TRUE(RemoveControl(r.progId.c_str()).removed);
  EXPECT_EQ(Existing(KeysOf(r)), Names{});
  EXPECT_TRUE(KeyExists(wowClass));
}

TEST(ReadDefaultValue, ReadsTheWholeValueOrNothing) {
  KeyCleanup cleanup({L"UniReadValue"});
  const std::wstring v254(254, L'v');
  PutKey(L"UniReadValue\\Guid", L"{5D3E71A2-C42B-4e19-9B3D-2F7A60C81E42}");
  PutKey(L"UniReadValue\\Fits", v254.c_str());
  PutKey(L"UniReadValue\\TooLong", (v254 + L"vw").c_str());
  PutKey(L"UniReadValue\\NoValue");
  HKEY key;
  RegOpenKeyExW(HKEY_CLASSES_ROOT, L"UniReadValue\\NoValue", 0, KEY_SET_VALUE, &key);
  const DWORD number = 7;
  RegSetValueExW(key, L"named", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                 sizeof number);
  RegCloseKey(key);

  wchar_t value[DefaultValueCapacity];
  ReadDefaultValue(L"UniReadValue\\Guid", value);
  EXPECT_STREQ(value, L"{5D3E71A2-C42B-4e19-9B3D-2F7A60C81E42}");
  ReadDefaultValue(L"UniReadValue\\Fits", value);
  EXPECT_EQ(std::wstring(value), v254);
  for (auto path : {L"UniReadValue\\TooLong", L"UniReadValue\\NoValue", L"UniReadValue\\Missing"}) {
    wmemset(value, L'x', DefaultValueCapacity);
    ReadDefaultValue(path, value);
    EXPECT_STREQ(value, L"") << testing::PrintToString(path);
  }
}
}  // namespace

namespace {
// For an elevated process HKEY_CLASSES_ROOT shows the user's own classes too, which any of the
// user's processes may write: a ProgID of the maker planted there may name any class. Its
// removal takes the ProgID key (and the maker's file types) but leaves a class that is not
// the maker's, with its type library and interfaces.
TEST(RemoveControl, APlantedProgIdLeavesTheForeignClassItNames) {
  for (bool wow64 : {Native, Wow64}) {
    Registration foreign = Control(L"Other.MakerControl", L"B70000C", wow64 ? L"C701" : L"C700",
                                   L"4CEF", L"4CEF", wow64);
    Registration neither = Control(L"Other.ShellFolder", L"B70000D", wow64 ? L"C703" : L"C702",
                                   L"4CEF", L"4CEF", wow64);
    const std::wstring classes = wow64 ? L"Wow6432Node\\CLSID\\" : L"CLSID\\";
    Expectation e;
    e.gone = Names{L"Vorn.PlantedForeign", L"Vorn.PlantedNeither"} + FileTypes;
    e.kept = KeysOf(foreign) + KeysOf(neither);
    KeyCleanup cleanup(e.gone + e.kept);
    Register(foreign);
    // A class of the system with neither ProgID nor VersionIndependentProgID below it.
    Register(neither);
    RemoveTree(classes + neither.clsid + L"\\ProgID");
    PutKey(L"Vorn.PlantedForeign\\CLSID", foreign.clsid.c_str());
    PutKey(L"Vorn.PlantedNeither\\CLSID", neither.clsid.c_str());
    PutFileTypes();
    e.Take();

    EXPECT_TRUE(RemoveControlInView(L"Vorn.PlantedForeign", wow64).removed);
    EXPECT_TRUE(RemoveControlInView(L"Vorn.PlantedNeither", wow64).removed);
    e.Check();
  }
}

// A class that names the maker's ProgID only in VersionIndependentProgID, or another ProgID of
// the maker (a versioned one) in ProgID, is the control's own and goes with it.
TEST(RemoveControl, AClassNamingAProgIdOfTheMakerGoes) {
  Registration independent =
      Control(L"Vorn.UniRemoveIndependent", L"B70000E", L"C704", L"4CEF", L"4CEF", Native);
  Registration versioned =
      Control(L"Vorn.UniRemoveVersioned", L"B70000F", L"C705", L"4CEF", L"4CEF", Native);
  KeyCleanup cleanup(KeysOf(independent) + KeysOf(versioned) + FileTypes);
  Register(independent);
  Register(versioned);
  RemoveTree(L"CLSID\\" + independent.clsid + L"\\ProgID");
  PutKey(L"CLSID\\" + independent.clsid + L"\\VersionIndependentProgID",
         independent.progId.c_str());
  PutKey(L"CLSID\\" + versioned.clsid + L"\\ProgID", L"VORN.UniRemoveVersioned.2");
  PutFileTypes();

  EXPECT_TRUE(RemoveControlInView(independent.progId.c_str(), Native).removed);
  EXPECT_TRUE(RemoveControlInView(versioned.progId.c_str(), Native).removed);
  EXPECT_EQ(Existing(KeysOf(independent) + KeysOf(versioned) + FileTypes), Names{});
}
}  // namespace
