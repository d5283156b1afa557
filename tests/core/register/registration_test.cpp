// The registration core on its own: what RegisterControl and RegisterCabinet return, and the
// progress they tell, with the real regsvr32 and cabinet.dll and no window at all.
#include <gtest/gtest.h>

#include "core/register/cabinet.h"
#include "core/register/drop.h"
#include "core/register/register_control.h"
#include "tests/common/registry_fixture.h"
#include "tests/core/register/drop_support.h"
#include "tests/core/register/fci_cabinet.h"

namespace {
const std::wstring Work = L"C:\\regtest\\core\\";

struct Registration : testing::Test {
  static void SetUpTestSuite() {
    CreateDirectoryW(L"C:\\regtest", nullptr);
    CreateDirectoryW(Work.c_str(), nullptr);
    CopyFileW(HostPath(TESTCTL_DLL).c_str(), (Work + L"corectl.ocx").c_str(), FALSE);
    CopyFileW(HostPath(NOREGCTL_DLL).c_str(), (Work + L"noreg.dll").c_str(), FALSE);
    CopyFileW(HostPath(FAILCTL_DLL).c_str(), (Work + L"fail.ocx").c_str(), FALSE);
    CopyFileW(HostPath(TEST_DATA_DIR "/bad.ocx").c_str(), (Work + L"bad.ocx").c_str(), FALSE);
    // A folder whose name a command interpreter would expand: %TEMP% and %%.
    CreateDirectoryW((Work + L"%TEMP% %%x").c_str(), nullptr);
    CopyFileW(HostPath(TESTCTL_DLL).c_str(), (Work + L"%TEMP% %%x\\100%sure%.ocx").c_str(), FALSE);
  }
};

// Every event a cabinet's registration tells, as one text a line.
struct Events {
  std::vector<std::wstring> lines;
  ProgressSink sink = {Record, this};

  static bool Record(void* context, const Progress& p) {
    auto& self = *static_cast<Events*>(context);
    std::wstring name = p.path ? p.path : L"";
    name = name.substr(name.find_last_of(L"/\\") + 1);
    switch (p.event) {
      case ProgressEvent::FolderMade: self.lines.push_back(L"folder"); break;
      case ProgressEvent::EntryUnpacked:
        self.lines.push_back((p.entry == EntryStatus::Written   ? L"written "
                              : p.entry == EntryStatus::Refused ? L"refused "
                                                                : L"failed ") + name);
        break;
      case ProgressEvent::UnpackEnded: self.lines.push_back(L"unpacked"); break;
      case ProgressEvent::ControlStarting: self.lines.push_back(L"start " + name); break;
      case ProgressEvent::ControlDone:
        self.lines.push_back(L"done " + name + L" " +
                             std::to_wstring(static_cast<int>(p.result->status)));
        break;
    }
    return true;
  }
};

CabinetResult RegisterCabinetAt(const std::wstring& path, Events& events) {
  char ansi[AnsiPathCapacity] = {};
  EXPECT_TRUE(ConvertToAnsiPath(path.c_str(), ansi, sizeof ansi));
  WaitForNextSecond();  // a folder of its own
  return RegisterCabinet(ansi, &events.sink);
}

std::wstring Line(const wchar_t* what, RegistrationStatus status) {
  return what + std::wstring(L" ") + std::to_wstring(static_cast<int>(status));
}
}  // namespace

// Each way a single file ends, with regsvr32's own code and the loader's where they apply.
TEST_F(Registration, ASingleFileTellsWhatBecameOfIt) {
  RemoveTestControlKeys({L"corectl"});
  RegistrationResult ok = RegisterControl((Work + L"corectl.ocx").c_str(), ControlSource::Single);
  EXPECT_EQ(RegistrationStatus::Registered, ok.status);
  // Waited for: the keys are there when the result is.
  EXPECT_TRUE(KeyExists(L"Vorn.Test.corectl\\CLSID"));
  RemoveTestControlKeys({L"corectl"});

  RegistrationResult failed = RegisterControl((Work + L"fail.ocx").c_str(), ControlSource::Single);
  EXPECT_EQ(RegistrationStatus::ExitCode, failed.status);
  EXPECT_EQ(5u, failed.exitCode);

  EXPECT_EQ(RegistrationStatus::NoEntryPoint,
            RegisterControl((Work + L"noreg.dll").c_str(), ControlSource::Single).status);
  EXPECT_EQ(RegistrationStatus::HelperLibrary,
            RegisterControl((Work + L"noreg.dll").c_str(), ControlSource::InCabinet).status);

  RegistrationResult unloadable = RegisterControl((Work + L"bad.ocx").c_str(), ControlSource::Single);
  EXPECT_EQ(RegistrationStatus::DidNotLoad, unloadable.status);
  EXPECT_NE(0u, unloadable.error);

  // regsvr32 gets the path as it is: no interpreter stands between them to expand it.
  RemoveTestControlKeys({L"100%sure%"});
  EXPECT_EQ(RegistrationStatus::Registered,
            RegisterControl((Work + L"%TEMP% %%x\\100%sure%.ocx").c_str(), ControlSource::Single).status);
  EXPECT_TRUE(KeyExists(L"Vorn.Test.100%sure%\\CLSID"));
  RemoveTestControlKeys({L"100%sure%"});
}

// A control, a helper library and a file that does not load: each counted where it belongs,
// and every step told in order.
TEST_F(Registration, ACabinetCountsItsControlsAndTellsEachStep) {
  RemoveTestControlKeys({L"good"});
  Events events;
  CabinetResult result = RegisterCabinetAt(HostPath(CABINET_DIR) + L"\\mixed.cab", events);
  EXPECT_EQ(UnpackStatus::Unpacked, result.unpack);
  EXPECT_TRUE(result.copiedWhole);
  EXPECT_EQ(1, result.registered);
  EXPECT_EQ(1, result.helpers);
  EXPECT_EQ(1, result.failed);
  ASSERT_EQ(11u, events.lines.size()) << testing::PrintToString(events.lines);
  EXPECT_EQ((std::vector<std::wstring>{L"folder", L"written good.ocx", L"written noreg.dll",
                                       L"written bad.ocx", L"unpacked"}),
            std::vector<std::wstring>(events.lines.begin(), events.lines.begin() + 5));
  // The controls in the order the folder lists them.
  std::vector<std::wstring> done;
  for (size_t i = 5; i < events.lines.size(); i += 2) {
    EXPECT_EQ(0u, events.lines[i].rfind(L"start ", 0));
    done.push_back(events.lines[i + 1]);
  }
  std::sort(done.begin(), done.end());
  EXPECT_EQ((std::vector<std::wstring>{Line(L"done bad.ocx", RegistrationStatus::DidNotLoad),
                                       Line(L"done good.ocx", RegistrationStatus::Registered),
                                       Line(L"done noreg.dll", RegistrationStatus::HelperLibrary)}),
            done);
  EXPECT_TRUE(KeyExists(L"Vorn.Test.good\\CLSID"));
  RemoveTestControlKeys({L"good"});
}

// An entry that the name check refuses is told as refused; the copy stops there, and what was
// unpacked before it is still registered.
TEST_F(Registration, AnEntryRefusedByTheNameCheckIsToldAsRefused) {
  RemoveTestControlKeys({L"early"});
  const std::wstring cab = Work + L"refused.cab";
  ASSERT_TRUE(WriteCabinet(Narrow(cab), {{"early.ocx", ReadWholeFile(HostPath(TESTCTL_DLL))},
                                          {"..\\out.ocx", "x"}}));
  Events events;
  CabinetResult result = RegisterCabinetAt(cab, events);
  EXPECT_EQ(UnpackStatus::Unpacked, result.unpack);
  EXPECT_FALSE(result.copiedWhole);
  EXPECT_EQ(1, result.registered);
  EXPECT_EQ((std::vector<std::wstring>{L"folder", L"written early.ocx", L"refused out.ocx",
                                       L"unpacked", L"start early.ocx",
                                       Line(L"done early.ocx", RegistrationStatus::Registered)}),
            events.lines);
  RemoveTestControlKeys({L"early"});
}
