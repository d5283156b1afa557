// The sweep of GUID subkeys that agree with a type-library text in all groups but the first.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/core/uninstall/keys.h"
#include "core/uninstall/key_tree.h"

namespace {
using Names = std::vector<std::wstring>;

// The file that PutAll registers the libraries to, as the control's class names it.
const wchar_t ControlFile[] = L"ctl.ocx";

// One sweep in the process's own view of the machine's classes (Wine's HKEY_CLASSES_ROOT).
SweepTally Sweep(const wchar_t* progId, const wchar_t* typeLib, const wchar_t* keyName,
                 const wchar_t* controlFile = ControlFile) {
  ClassesView own(RegistryView::Own);
  SweepTally tally;
  SweepGuidKeys(own, progId, typeLib, keyName, controlFile, tally);
  return tally;
}

void PutAll(const std::wstring& key, const Names& names) {
  for (auto& n : names) PutKey(key + L"\\" + n + L"\\1.0\\0\\win32", L"ctl.ocx");
}

const wchar_t UploaderLib[] = L"{5D3E71A0-C42B-4E19-9B3D-2F7A60C81E42}";

// Matching and non-matching names alternate here, so every match is examined in this pass.
TEST(SweepGuidKeys, DeletesNamesThatDifferOnlyInTheFirstGroup) {
  const std::wstring key = L"UniSweepMatch";
  KeyCleanup cleanup({key});
  PutAll(key, {
                  L"{10000000-C42B-4E19-9B3D-2F7A60C81E42}",  // first group differs: goes
                  L"{20000000-C42B-4E19-9B3D-2F7A60C81E43}",  // last digit differs
                  L"{5D3E71A0-C42B-4E19-9B3D-2F7A60C81E42}",  // the text itself: goes
                  L"{5D3E71A2-C42B-4e19-9B3D-2F7A60C81E42}",  // like the CLSID: lower-case e
                  L"{6FFFFFFF-C42B-4E19-9B3D-2F7A60C81E42}",  // goes
                  L"{70000000-C42B-4E19-9B3D-2f7a60c81e42}",  // last group in lower case
                  L"{80000000-C42B-4E19-9B3D-2F7A60C81E42}",  // goes
                  L"{90000000-C42C-4E19-9B3D-2F7A60C81E42}",  // second group differs
                  L"{A0000000-C42B-4E19-9B3D-2F7A60C81E42",   // no closing brace
              });
  Sweep(L"Vorn.LargeDataUploader", UploaderLib, key.c_str());
  EXPECT_EQ(SubkeyNames(key), (Names{L"{20000000-C42B-4E19-9B3D-2F7A60C81E43}",
                                     L"{5D3E71A2-C42B-4e19-9B3D-2F7A60C81E42}",
                                     L"{70000000-C42B-4E19-9B3D-2f7a60c81e42}",
                                     L"{90000000-C42C-4E19-9B3D-2F7A60C81E42}",
                                     L"{A0000000-C42B-4E19-9B3D-2F7A60C81E42"}));
  // What stays is left whole.
  EXPECT_EQ(ExportTree(key + L"\\{90000000-C42C-4E19-9B3D-2F7A60C81E42}"),
            key + L"\\{90000000-C42C-4E19-9B3D-2F7A60C81E42}\n" + key +
                L"\\{90000000-C42C-4E19-9B3D-2F7A60C81E42}\\1.0\n" + key +
                L"\\{90000000-C42C-4E19-9B3D-2F7A60C81E42}\\1.0\\0\n" + key +
                L"\\{90000000-C42C-4E19-9B3D-2F7A60C81E42}\\1.0\\0\\win32=ctl.ocx\n");
}

TEST(SweepGuidKeys, ShortOrEmptyTextMatchesNothing) {
  const std::wstring key = L"UniSweepShort";
  KeyCleanup cleanup({key});
  const Names names{L"X", L"{A0000000-", L"{B0000000-", L"{C0000000-1}"};
  PutAll(key, names);
  for (auto text : {L"", L"{", L"{B0000000-", L"{A0000000-"}) {
    Sweep(L"Vorn.X", text, key.c_str());
    EXPECT_EQ(SubkeyNames(key), names) << testing::PrintToString(text);
  }
  // A text that is no braced GUID sweeps nothing, even where a name agrees with it.
  Sweep(L"Vorn.X", L"{D0000000-1}", key.c_str());
  EXPECT_EQ(SubkeyNames(key), names);
}

// After a deletion the next subkey moves into the freed index; it is examined there, so a
// run of matches next to each other goes whole in one pass, and the neighbours stay.
TEST(SweepGuidKeys, ConsecutiveMatchesAllGoInOnePass) {
  const std::wstring key = L"UniSweepRun";
  const std::wstring lib = L"{F0000000-1111-4E19-9B3D-2F7A60C81E42}";
  for (int run : {2, 3, 8}) {
    KeyCleanup cleanup({key});
    Names matches;
    for (int i = 1; i <= run; ++i)
      matches.push_back(Guid(std::to_wstring(i) + L"0000000", L"1111-4E19-9B3D-2F7A60C81E42"));
    const Names neighbours{L"{00000000-aaaa}", L"{A0000000-1111-4E19-9B3D-2F7A60C81E43}"};
    PutAll(key, Names{neighbours[0]} + matches + Names{neighbours[1]});
    const SweepTally tally = Sweep(L"Vorn.X", lib.c_str(), key.c_str());
    EXPECT_EQ(SubkeyNames(key), neighbours) << run;
    EXPECT_EQ(tally.deleted, run);
    EXPECT_EQ(tally.left, 0);
  }
}

// A short name enumerated after a deleted match must not be compared with what the match left
// in the name buffer beyond the short name's end.
TEST(SweepGuidKeys, ShortNameAfterAMatchIsNotMistakenForOne) {
  const std::wstring key = L"UniSweepStale";
  KeyCleanup cleanup({key});
  PutAll(key, {L"{10000000-1111-4E19-9B3D-2F7A60C81E42}", L"{20000000-other}", L"~",
               L"~x"});
  Sweep(L"Vorn.X", L"{F0000000-1111-4E19-9B3D-2F7A60C81E42}", key.c_str());
  EXPECT_EQ(SubkeyNames(key), (Names{L"{20000000-other}", L"~", L"~x"}));
}

TEST(SweepGuidKeys, FailedDeletionIsPassedOver) {
  const std::wstring key = L"UniSweepFail";
  KeyCleanup cleanup({key});
  const std::wstring stuck = L"{10000000-1111-4E19-9B3D-2F7A60C81E42}";
  PutKey(key + L"\\" + stuck + L"\\1.0");
  ASSERT_TRUE(PutUndeletable(key + L"\\" + stuck + L"\\link"));
  PutAll(key, {L"{20000000-1111-4E19-9B3D-2F7A60C81E42}", L"{30000000-zz}"});
  Sweep(L"Vorn.X", L"{F0000000-1111-4E19-9B3D-2F7A60C81E42}", key.c_str());
  EXPECT_EQ(SubkeyNames(key), (Names{stuck, L"{30000000-zz}"}));
  EXPECT_EQ(SubkeyNames(key + L"\\" + stuck), (Names{L"link"}));
  DeleteLinkKey(key + L"\\" + stuck + L"\\link");
}

TEST(SweepGuidKeys, MissingKeyIsSkipped) {
  Sweep(L"Vorn.X", UploaderLib, L"UniSweepNoSuchKey");
  EXPECT_FALSE(KeyExists(L"UniSweepNoSuchKey"));
}

// The child path is the key name, a backslash and the subkey name, in 254 characters at most;
// a child whose path does not fit is left alone rather than deleted under a cut path.
TEST(SweepGuidKeys, ChildPathThatDoesNotFitIsSkipped) {
  const std::wstring lib = L"{10000000-1111-4E19-9B3D-2F7A60C81E42}";  // 38 characters
  const std::wstring fits = L"UniSweepFit\\" + std::wstring(215 - 12, L'k');
  const std::wstring tooLong = L"UniSweepFit\\" + std::wstring(216 - 12, L'k');
  ASSERT_EQ((fits + L"\\" + lib).size(), 254u);
  KeyCleanup cleanup({L"UniSweepFit"});
  PutKey(fits + L"\\" + lib + L"\\1.0");
  PutKey(tooLong + L"\\" + lib + L"\\1.0");
  Sweep(L"Vorn.X", L"{F0000000-1111-4E19-9B3D-2F7A60C81E42}", fits.c_str());
  Sweep(L"Vorn.X", L"{F0000000-1111-4E19-9B3D-2F7A60C81E42}", tooLong.c_str());
  EXPECT_FALSE(KeyExists(fits + L"\\" + lib));
  EXPECT_TRUE(KeyExists(tooLong + L"\\" + lib + L"\\1.0"));
}

// Third group "4bef" as stored by the control; the families raise fixed positions of it.
struct FamilyCase {
  const wchar_t* progId;
  const wchar_t* deletedThirdGroup;
};

TEST(SweepGuidKeys, FamiliesRaiseTheirPositionsOfTheThirdGroup) {
  const FamilyCase cases[] = {
      {L"VORN.AtUniSweep", L"4bEF"}, {L"VORN.SeUniSweep", L"4BEF"},
      {L"VORN.WeUniSweep", L"4BEF"}, {L"VORN.OfUniSweep", L"4BeF"},
      {L"VORN.At", L"4bEF"},  // the tag alone is the whole ProgID
      {L"VORN.A", L"4bef"},   // shorter than a tag: nothing raised
      {L"vorn.AtX", L"4bef"}, {L"VORN.XxUniSweep", L"4bef"}, {L"Vorn.At", L"4bef"},
  };
  const std::wstring key = L"UniSweepFamily";
  const Names groups{L"4bef", L"4bEF", L"4BEF", L"4BeF", L"4bEf", L"4Bef"};
  for (const FamilyCase& c : cases) {
    KeyCleanup cleanup({key});
    // First groups keep the candidates apart in the enumeration: a non-matching one between
    // any two, so that each is examined.
    Names names;
    for (size_t i = 0; i < groups.size(); ++i) {
      names.push_back(Guid(std::to_wstring(10000000 + 2 * i), L"1111-" + groups[i] +
                                                                  L"-8C2D-0123456789AB"));
      names.push_back(Guid(std::to_wstring(10000001 + 2 * i), L"9999-0000"));
    }
    PutAll(key, names);
    Sweep(c.progId, L"{A0000000-1111-4bef-8C2D-0123456789AB}", key.c_str());
    Names expected;
    for (auto& n : names)
      if (n.find(std::wstring(L"-") + c.deletedThirdGroup + L"-") == std::wstring::npos)
        expected.push_back(n);
    EXPECT_EQ(SubkeyNames(key), expected) << testing::PrintToString(c.progId);
  }
}

// The raise is a plain subtraction: a digit in a raised position matches nothing afterwards.
TEST(SweepGuidKeys, DigitInARaisedPositionMatchesNothing) {
  const std::wstring key = L"UniSweepDigit";
  KeyCleanup cleanup({key});
  const Names names{L"{10000000-1111-4b12-8C2D-0123456789AB}",
                    L"{20000000-1111-4B12-8C2D-0123456789AB}"};
  PutAll(key, names);
  Sweep(L"VORN.AtUni", L"{A0000000-1111-4b12-8C2D-0123456789AB}", key.c_str());
  EXPECT_EQ(SubkeyNames(key), names);
  // A text cut short of its raised positions is no GUID: it sweeps nothing.
  PutAll(key, {L"{30000000-1111-4b"});
  Sweep(L"VORN.AtUni", L"{A0000000-1111-4b", key.c_str());
  EXPECT_EQ(SubkeyNames(key), names + Names{L"{30000000-1111-4b"});
}

// The caller's text is not changed by the family's raise.
TEST(SweepGuidKeys, CallersTextIsLeftAsItWas) {
  KeyCleanup cleanup({L"UniSweepConst"});
  PutKey(L"UniSweepConst\\x");
  wchar_t text[] = L"{A0000000-1111-4bef-8C2D-0123456789AB}";
  Sweep(L"VORN.SeUni", text, L"UniSweepConst");
  EXPECT_STREQ(text, L"{A0000000-1111-4bef-8C2D-0123456789AB}");
}
}  // namespace
