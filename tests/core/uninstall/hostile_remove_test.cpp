// Removal against a registry that holds anything: CLSID and type-library defaults of every
// shape and type. Each case compares the whole of HKEY_CLASSES_ROOT before and after, so a key
// deleted beyond what the removal names for the ProgID shows, wherever it lies.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "tests/core/uninstall/hostile_support.h"
#include "tests/core/uninstall/keys.h"
#include "core/uninstall/remove.h"

namespace {
constexpr bool Native = false;
const Names FileTypes{L".zco", L".zxd"};

void PutFileTypes() {
  PutKey(L".zco\\ShellNew", L"");
  PutKey(L".zxd", L"Vorn.Data");
}

// A class key as a control registers it, to stand where a CLSID text would lead: it names a
// ProgID of the maker, so the removal takes it as the control's own.
void PutClass(const std::wstring& classKey) {
  PutKey(classKey + L"\\InprocServer32", L"C:\\VornActiveX\\1\\ctl.ocx");
  PutKey(classKey + L"\\ProgID", L"Vorn.HurControl.1");
  PutKey(classKey + L"\\Control");
}

struct ClsidCase {
  std::wstring text;
  bool classGoes;  // the text names one class key that the removal takes
};

// Empty, not a GUID, too long to read, with backslashes, only dots or blanks. Where the text
// names one key, that class key of the system's view goes; otherwise no class key at all, and
// "CLSID" stays whole. On 64-bit Windows the class keys are those under Wow6432Node.
TEST(HostileClsid, DefaultsOfEveryShape) {
  const std::wstring q300(300, L'q');
  const ClsidCase cases[] = {
      {L"", false},
      {L"Vorn.HurNotAGuid", true},
      {L"not a guid at all", true},
      {q300, false},
      {L"HurA\\HurB", false},
      {L"\\", false},
      {L"\\HurA", false},
      {L"HurA\\", false},
      {L".", true},
      {L"..", true},
      {L"...", true},
      {L" ", true},
      {L"   ", true},
      {L"{HUR00001-D000-4CEF-8C2D-0123456789AB}", true},
  };
  for (bool wow64 : {false, true}) {
    const std::wstring views[] = {L"CLSID\\", L"Wow6432Node\\CLSID\\"};
    const std::wstring& classes = views[wow64 ? 1 : 0];
    Names progIds, mustGo = FileTypes, cleanup = FileTypes, decoys;
    for (auto& view : views) {
      // Keys that a cut or misread text would name.
      for (auto& name : {std::wstring(L"HurA"), std::wstring(L"HurA\\HurB"), q300.substr(0, 254),
                         q300.substr(0, 255), std::wstring(L"HurB")})
        decoys.push_back(view + name);
    }
    int n = 0;
    for (const ClsidCase& c : cases) {
      const std::wstring progId = L"Vorn.HurClsid" + std::to_wstring(n++);
      progIds.push_back(progId);
      PutKey(progId + L"\\CLSID", c.text.c_str());
      PutKey(progId + L"\\CurVer", (progId + L".1").c_str());
      mustGo.push_back(progId);
      cleanup.push_back(progId);
      if (c.classGoes) {
        for (auto& view : views) {
          PutClass(view + c.text);  // the other view's key stays
          cleanup.push_back(view + c.text);
        }
        mustGo.push_back(classes + c.text);
      }
    }
    for (auto& d : decoys) PutClass(d);
    KeyCleanup keys(cleanup + decoys);
    PutFileTypes();
    const Snapshot before = TakeSnapshot();

    for (auto& progId : progIds) EXPECT_TRUE(RemoveControlInView(progId.c_str(), wow64).removed);
    EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(), mustGo)) << "wow64 " << wow64;
    EXPECT_GT(SubkeyNames(L"CLSID").size(), 100u);
  }
}

// A CLSID default that is no text (a number, bytes, a list) names no class key, even where
// its bytes read like characters; a REG_SZ stored without its terminator is still its text.
TEST(HostileClsid, DefaultsThatAreNoText) {
  const std::wstring binaryGuid = L"{HUR00002-D000-4CEF-8C2D-0123456789AB}";
  const std::wstring multiGuid = L"{HUR00003-D000-4CEF-8C2D-0123456789AB}";
  const std::wstring expandGuid = L"{HUR00004-D000-4CEF-8C2D-0123456789AB}";
  const std::wstring bareGuid = L"{HUR00005-D000-4CEF-8C2D-0123456789AB}";
  const std::wstring oddGuid = L"{HUR00006-D000-4CEF-8C2D-0123456789AB}";
  const std::wstring odd = oddGuid + L"x";  // stored with one byte of the "x"
  const DWORD number = 0x00420041;          // the bytes of "AB"
  const std::wstring multi = multiGuid + std::wstring(2, L'\0');
  struct Raw {
    const wchar_t* progId;
    DWORD type;
    const void* data;
    DWORD size;
  };
  const Raw raws[] = {
      {L"Vorn.HurDword", REG_DWORD, &number, sizeof number},
      {L"Vorn.HurBinary", REG_BINARY, binaryGuid.c_str(),
       static_cast<DWORD>(binaryGuid.size() * 2)},
      {L"Vorn.HurMulti", REG_MULTI_SZ, multi.c_str(), static_cast<DWORD>(multi.size() * 2)},
      {L"Vorn.HurExpand", REG_EXPAND_SZ, expandGuid.c_str(),
       static_cast<DWORD>((expandGuid.size() + 1) * 2)},
      {L"Vorn.HurUnterminated", REG_SZ, bareGuid.c_str(), static_cast<DWORD>(bareGuid.size() * 2)},
      {L"Vorn.HurOddSize", REG_SZ, odd.c_str(), static_cast<DWORD>(odd.size() * 2 - 1)},
  };
  const Names classes{L"CLSID\\AB",           L"CLSID\\" + binaryGuid,
                      L"CLSID\\" + multiGuid, L"CLSID\\" + expandGuid,
                      L"CLSID\\" + bareGuid,  L"CLSID\\" + oddGuid,
                      L"CLSID\\" + odd};
  Names progIds;
  for (const Raw& r : raws) progIds.push_back(r.progId);
  KeyCleanup keys(progIds + classes + FileTypes);
  for (const Raw& r : raws)
    ASSERT_TRUE(PutRawDefault(std::wstring(r.progId) + L"\\CLSID", r.type, r.data, r.size));
  for (auto& c : classes) PutClass(c);
  PutFileTypes();
  const Snapshot before = TakeSnapshot();

  for (auto& progId : progIds) EXPECT_TRUE(RemoveControlInView(progId.c_str(), Native).removed);
  // Texts: the expandable string, the string without terminator and the one that ends in half
  // a character (read without it) name their class keys.
  EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(),
                               progIds + FileTypes + Names{classes[3], classes[4], classes[5]}));
}

// Type-library defaults that match nothing: empty, ten characters or fewer, too long to read
// (a cut text would match the interfaces named like its start), and bytes that are no text.
TEST(HostileTypeLib, DefaultsThatMatchNothing) {
  const std::wstring tail = L"D100-4CEF-8C2D-0123456789AB}";
  const std::wstring t300 = L"{HUR10000-" + std::wstring(290, L'7');
  const std::wstring guid = L"{HUR10000-" + tail;
  const std::wstring values[] = {L"", L"{HUR1}", L"{HUR10000-", t300, L"0123456789"};
  Names mustGo = FileTypes, kept;
  Names progIds;
  int n = 0;
  auto putControl = [&](const std::wstring& progId, const std::wstring& classKey) {
    PutKey(progId + L"\\CLSID", classKey.substr(6).c_str());
    PutClass(classKey);
    progIds.push_back(progId);
    mustGo.push_back(progId);
    mustGo.push_back(classKey);
  };
  for (const std::wstring& v : values) {
    const std::wstring classKey =
        L"CLSID\\{HUR1000" + std::to_wstring(n) + L"-D100-4CEF-8C2D-0123456789A1}";
    putControl(L"Vorn.HurLib" + std::to_wstring(n++), classKey);
    PutKey(classKey + L"\\TypeLib", v.c_str());
  }
  // The library as bytes that spell a GUID text.
  const std::wstring binaryClass = L"CLSID\\{HUR10009-D100-4CEF-8C2D-0123456789A1}";
  putControl(L"Vorn.HurLibBinary", binaryClass);
  ASSERT_TRUE(PutRawDefault(binaryClass + L"\\TypeLib", REG_BINARY, guid.c_str(),
                            static_cast<DWORD>(guid.size() * 2)));
  // Interfaces that a misread text would match.
  for (const std::wstring& k :
       Names{L"Interface\\{00000001-" + tail, L"Interface\\{00000002-" + t300.substr(10, 245),
             L"Interface\\{00000003-" + t300.substr(10, 244), L"TypeLib\\{00000004-" + tail,
             L"Interface\\1234567890", L"Interface\\{HUR1}"}) {
    PutKey(k + L"\\TypeLib", guid.c_str());
    kept.push_back(k);
  }
  KeyCleanup keys(mustGo + kept);
  PutFileTypes();
  const Snapshot before = TakeSnapshot();

  for (auto& progId : progIds) EXPECT_TRUE(RemoveControlInView(progId.c_str(), Native).removed);
  EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(), mustGo));
}

// A library that hundreds of interfaces share, all next to each other: one removal takes every
// one of them; nothing else goes.
TEST(HostileTypeLib, LibraryMatchingHundredsOfInterfaces) {
  const std::wstring tail = L"D200-4CEF-8C2D-0123456789AB}";
  const std::wstring lib = L"{2F000000-" + tail;
  const std::wstring progId = L"Vorn.HurShared";
  const std::wstring classKey = L"CLSID\\{2F00FFFF-" + tail;
  Names interfaces;
  wchar_t first[16];
  for (int i = 0; i < 400; ++i) {
    swprintf(first, 16, L"%08X", 0x20000000 + i);
    interfaces.push_back(L"Interface\\{" + std::wstring(first) + L"-" + tail);
  }
  // Neighbours that differ after the first group.
  const Names neighbours{L"Interface\\{1FFFFFFF-D200-4CEF-8C2D-0123456789AC}",
                         L"Interface\\{2FFFFFFF-d200-4CEF-8C2D-0123456789AB}"};
  KeyCleanup keys(Names{progId, classKey, L"TypeLib\\" + lib} + interfaces + neighbours +
                  FileTypes);
  PutKey(progId + L"\\CLSID", classKey.substr(6).c_str());
  PutClass(classKey);
  PutKey(classKey + L"\\TypeLib", lib.c_str());
  PutKey(L"TypeLib\\" + lib + L"\\1.0\\0\\win32", L"C:\\VornActiveX\\1\\ctl.ocx");
  for (auto& k : interfaces + neighbours) PutKey(k + L"\\TypeLib", lib.c_str());
  PutFileTypes();
  const Snapshot before = TakeSnapshot();

  const RemovalResult result = RemoveControlInView(progId.c_str(), Native);
  EXPECT_TRUE(result.removed);
  EXPECT_EQ(result.keysDeleted, 400 + 5);  // the interfaces, the library, class, ProgID, types
  EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(),
                               Names{progId, classKey, L"TypeLib\\" + lib} + interfaces +
                                   FileTypes));
}

// An interface name longer than any name the sweep reads (Wine allows 256 characters) is
// passed over: the control's interfaces behind it still go.
TEST(HostileTypeLib, OverlongInterfaceNameDoesNotEndTheSweep) {
  const std::wstring tail = L"D300-4CEF-8C2D-0123456789AB}";
  const std::wstring lib = L"{3F000000-" + tail;
  const std::wstring progId = L"Vorn.HurAfterLong";
  const std::wstring classKey = L"CLSID\\{3F00FFFF-" + tail;
  const std::wstring overlong = L"Interface\\{0" + std::wstring(254, L'0');
  const Names interfaces{L"Interface\\{3F000001-" + tail, L"TypeLib\\" + lib};
  KeyCleanup keys(Names{progId, classKey, overlong} + interfaces + FileTypes);
  ASSERT_TRUE(PutKey(overlong + L"\\TypeLib", lib.c_str()));
  PutKey(L"TypeLib\\{0" + std::wstring(254, L'0') + L"\\1.0");
  PutKey(progId + L"\\CLSID", classKey.substr(6).c_str());
  PutClass(classKey);
  PutKey(classKey + L"\\TypeLib", lib.c_str());
  PutKey(interfaces[0] + L"\\TypeLib", lib.c_str());
  PutKey(interfaces[1] + L"\\1.0\\0\\win32", L"C:\\VornActiveX\\1\\ctl.ocx");
  PutFileTypes();
  const Snapshot before = TakeSnapshot();

  EXPECT_TRUE(RemoveControlInView(progId.c_str(), Native).removed);
  EXPECT_TRUE(
      ExactlyTheseWent(before, TakeSnapshot(), Names{progId, classKey} + interfaces + FileTypes));
  RemoveTree(L"TypeLib\\{0" + std::wstring(254, L'0'));
}
}  // namespace

namespace {
constexpr bool Wow64 = true;
const wchar_t EvilFile[] = L"C:\\Users\\Public\\evil.ocx";

// A class planted with the maker's ProgID whose TypeLib names COM's own range: the system's
// interfaces and the OLE type library all stay, whatever the class names, also when its file
// is the one the OLE type library registers; only the planted keys and the file types go.
TEST(HostilePlanted, ClassNamingTheSystemsTypeLibrary) {
  SystemComKeys system;
  wchar_t oleFile[DefaultValueCapacity];
  ReadDefaultValue((L"TypeLib\\" + std::wstring(OleTypeLib) + L"\\2.0\\0\\win32").c_str(),
                   oleFile);
  ASSERT_NE(oleFile[0], L'\0');
  const std::wstring texts[] = {L"{00000000-0000-0000-C000-000000000046}", OleTypeLib,
                                L"{00020400-0000-0000-c000-000000000046}"};
  for (bool wow64 : {Native, Wow64}) {
    for (const std::wstring& text : texts) {
      for (const std::wstring& file : {std::wstring(EvilFile), std::wstring(oleFile)}) {
        const Names planted =
            PlantClass(L"Vorn.Evil", L"{E7000000-0000-4000-8000-00000000E711}", text, file,
                       wow64 ? L"Wow6432Node\\CLSID" : L"CLSID");
        KeyCleanup cleanup(planted + FileTypes);
        PutFileTypes();
        const Snapshot before = TakeSnapshot();

        const RemovalResult result = RemoveControlInView(L"Vorn.Evil", wow64);
        EXPECT_TRUE(result.removed);
        EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(), planted + FileTypes))
            << "wow64 " << wow64 << " " << testing::PrintToString(text) << " "
            << testing::PrintToString(file);
        EXPECT_EQ(Existing(system.keys), system.keys);
      }
    }
  }
}

// The OLE type library made to register one file, the system directory's stdole2.tlb, under
// each of its versions (Windows and Wine register stdole32.tlb under 1.0, and Wine another file
// per view): the ownership check then passes for a class that names that file.
struct OleLibraryOfOneFile {
  explicit OleLibraryOfOneFile(const std::wstring& file) {
    // Only the files registered are changed: no version is added that the machine lacks.
    for (size_t i = 0; i < std::size(Paths); ++i) {
      wchar_t value[DefaultValueCapacity];
      ReadDefaultValue(Paths[i].c_str(), value);
      saved[i] = value;
      if (!saved[i].empty()) PutKey(Paths[i], file.c_str());
    }
  }
  ~OleLibraryOfOneFile() {
    for (size_t i = 0; i < std::size(Paths); ++i)
      if (!saved[i].empty()) PutKey(Paths[i], saved[i].c_str());
  }
  OleLibraryOfOneFile(const OleLibraryOfOneFile&) = delete;
  OleLibraryOfOneFile& operator=(const OleLibraryOfOneFile&) = delete;
  const std::wstring Library = L"TypeLib\\" + std::wstring(OleTypeLib);
  const std::wstring Paths[4] = {Library + L"\\1.0\\0\\win32", Library + L"\\1.0\\0\\win64",
                                 Library + L"\\2.0\\0\\win32", Library + L"\\2.0\\0\\win64"};
  std::wstring saved[4];
};

// A class whose file is the system's own stdole2.tlb and whose TypeLib is the OLE type
// library: the library registers no file but the class's, so the ownership check passes, and
// only COM's range keeps the library and the interfaces of the range.
TEST(HostilePlanted, ClassNamingTheSystemsTypeLibraryFileStopsAtComsRange) {
  SystemComKeys system;
  wchar_t directory[MAX_PATH];
  UINT length = GetSystemDirectoryW(directory, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  const std::wstring oleFile = std::wstring(directory) + L"\\stdole2.tlb";
  OleLibraryOfOneFile library(oleFile);
  const Names planted = PlantClass(L"Vorn.Evil", L"{E7000002-0000-4000-8000-00000000E711}",
                                   OleTypeLib, oleFile);
  KeyCleanup cleanup(planted + FileTypes);
  PutFileTypes();
  const Snapshot before = TakeSnapshot();

  const RemovalResult result = RemoveControlInView(L"Vorn.Evil", Native);
  EXPECT_TRUE(result.removed);
  EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(), planted + FileTypes));
  EXPECT_EQ(Existing(system.keys), system.keys);
}

// Another product's registration: a type library registered to its own file, interfaces next
// to each other (one with no TypeLib subkey, as proxy-only interfaces have), and its class. A
// class planted with the maker's ProgID that names that library leaves all of it.
TEST(HostilePlanted, ClassNamingAnotherProductsTypeLibrary) {
  const std::wstring tail = L"1234-4ABC-8DEF-00AA00BB00CC}";
  const std::wstring lib = L"{B7C00000-" + tail;
  const std::wstring otherFile = L"C:\\Program Files\\Other\\other.dll";
  Names other{L"TypeLib\\" + lib, L"CLSID\\{B7C00010-" + tail, L"Other.Product"};
  for (int i = 1; i <= 4; ++i)
    other.push_back(L"Interface\\{B7C0000" + std::to_wstring(i) + L"-" + tail);
  for (bool wow64 : {Native, Wow64}) {
    const Names planted =
        PlantClass(L"Vorn.Borrow", L"{E7000001-0000-4000-8000-00000000E711}", lib, EvilFile,
                   wow64 ? L"Wow6432Node\\CLSID" : L"CLSID");
    KeyCleanup cleanup(planted + other + FileTypes);
    PutKey(other[0] + L"\\1.0\\0\\win32", otherFile.c_str());
    PutKey(other[0] + L"\\1.0\\409\\win64", otherFile.c_str());
    PutKey(other[1] + L"\\InprocServer32", otherFile.c_str());
    PutKey(other[1] + L"\\TypeLib", lib.c_str());
    PutKey(other[2] + L"\\CLSID", (L"{B7C00010-" + tail).c_str());
    for (size_t i = 3; i < other.size(); ++i) {
      PutKey(other[i] + L"\\ProxyStubClsid32", L"{00020424-0000-0000-C000-000000000046}");
      if (i != 5) PutKey(other[i] + L"\\TypeLib", lib.c_str());
    }
    PutFileTypes();
    const Snapshot before = TakeSnapshot();

    const RemovalResult result = RemoveControlInView(L"Vorn.Borrow", wow64);
    EXPECT_TRUE(result.removed);
    EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(), planted + FileTypes)) << "wow64 " << wow64;
  }
}

// A control of the maker with eight interfaces next to each other: one removal takes all of
// them with its library; the neighbours of other GUIDs (another last group, another letter
// case, another product's library of the same groups) stay.
TEST(HostilePlanted, EightInterfacesNextToEachOtherGoInOneRemoval) {
  const std::wstring tail = L"A800-4CEF-8C2D-0123456789AB";
  for (bool wow64 : {Native, Wow64}) {
    Registration r;
    r.progId = L"Vorn.HurEight";
    r.clsid = Guid(L"A8000010", tail);
    r.typeLibText = Guid(L"A8000000", tail);
    r.typeLibKey = r.typeLibText;
    for (int i = 1; i <= 8; ++i) r.interfaces.push_back(Guid(L"A800000" + std::to_wstring(i), tail));
    if (wow64) {
      r.classRoot = L"Wow6432Node\\CLSID";
      r.interfaceRoot = L"Wow6432Node\\Interface";
    }
    const Names neighbours{r.interfaceRoot + L"\\" + Guid(L"A8000009", L"A800-4CEF-8C2D-0123456789AC"),
                           r.interfaceRoot + L"\\" + Guid(L"A8000001", L"A800-4CEF-8C2D-0123456789ab"),
                           L"TypeLib\\" + Guid(L"A80000F0", tail)};
    KeyCleanup cleanup(KeysOf(r) + neighbours + FileTypes);
    Register(r);
    PutKey(neighbours[0] + L"\\TypeLib", r.typeLibKey.c_str());
    PutKey(neighbours[1] + L"\\TypeLib", r.typeLibKey.c_str());
    PutKey(neighbours[2] + L"\\1.0\\0\\win32", L"C:\\Program Files\\Other\\other.ocx");
    PutFileTypes();
    const Snapshot before = TakeSnapshot();

    const RemovalResult result = RemoveControlInView(r.progId.c_str(), wow64);
    EXPECT_TRUE(result.removed);
    EXPECT_EQ(result.keysDeleted, 8 + 5);  // interfaces, library, class, ProgID, file types
    EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(), KeysOf(r) + FileTypes))
        << "wow64 " << wow64;
  }
}

// Type-library texts that are no braced GUID sweep nothing, even where interfaces and a
// library registered to the control's file agree with them beyond the first group: a first
// group that is no hexadecimal number, another closing character, an underscore for a hyphen.
TEST(HostilePlanted, MalformedTypeLibTextSweepsNothing) {
  const std::wstring texts[] = {L"{HUR50000-D500-4CEF-8C2D-0123456789AB}",
                                L"{A5000000-D500-4CEF-8C2D-0123456789AB)",
                                L"{A5000000-D500-4CEF_8C2D-0123456789AB}"};
  int n = 0;
  for (const std::wstring& text : texts) {
    const std::wstring progId = L"Vorn.HurMalformed" + std::to_wstring(n);
    const Names planted =
        PlantClass(progId, Guid(L"A500001" + std::to_wstring(n), L"D500-4CEF-8C2D-0123456789AB"),
                   text, EvilFile);
    ++n;
    const Names agreeing{L"Interface\\{00000001-" + text.substr(10),
                         L"Interface\\{00000002-" + text.substr(10), L"TypeLib\\" + text,
                         L"TypeLib\\{00000003-" + text.substr(10)};
    KeyCleanup cleanup(planted + agreeing + FileTypes);
    PutKey(agreeing[0] + L"\\TypeLib", text.c_str());
    PutKey(agreeing[1] + L"\\TypeLib", text.c_str());
    PutKey(agreeing[2] + L"\\1.0\\0\\win32", EvilFile);
    PutKey(agreeing[3] + L"\\1.0\\0\\win32", EvilFile);
    PutFileTypes();
    const Snapshot before = TakeSnapshot();

    EXPECT_TRUE(RemoveControlInView(progId.c_str(), Native).removed);
    EXPECT_TRUE(ExactlyTheseWent(before, TakeSnapshot(), planted + FileTypes))
        << testing::PrintToString(text);
  }
}
}  // namespace
