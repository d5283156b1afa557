// A control registered by its own DllRegisterServer is found by the query and removed whole.
#include <gtest/gtest.h>

#include <string>

#include "window/globals.h"
#include "tests/core/uninstall/keys.h"
#include "core/uninstall/query.h"
#include "tests/window/query_list.h"
#include "core/uninstall/remove.h"

namespace {
using Names = std::vector<std::wstring>;

// The fixture's path on the host, as Windows programs under Wine see it.
std::wstring WindowsPath(const char* hostPath) {
  std::wstring path = L"Z:";
  for (const char* c = hostPath; *c; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  return path;
}

const wchar_t ProgId[] = L"Vorn.Test.testctl";
const Names ControlKeys{ProgId, L"CLSID\\{7A3C0002-5E21-4b8d-9F14-3C2B1A0D9E51}",
                        L"Interface\\{7A3C0001-5E21-4B8D-9F14-3C2B1A0D9E51}",
                        L"TypeLib\\{7A3C0000-5E21-4B8D-9F14-3C2B1A0D9E51}"};

TEST(InstalledControl, RegisteredControlIsListedAndRemovedWhole) {
  KeyCleanup cleanup(ControlKeys);
  HMODULE control = LoadLibraryW(WindowsPath(TESTCTL_DLL).c_str());
  ASSERT_NE(control, nullptr);
  using EntryPoint = HRESULT(STDAPICALLTYPE*)();
  auto registerServer = reinterpret_cast<EntryPoint>(
      reinterpret_cast<void*>(GetProcAddress(control, "DllRegisterServer")));
  ASSERT_NE(registerServer, nullptr);
  ASSERT_EQ(registerServer(), S_OK);
  FreeLibrary(control);
  ASSERT_EQ(Existing(ControlKeys), ControlKeys);

  ControlList = CreateWindowExW(0, L"LISTBOX", L"", WS_OVERLAPPEDWINDOW | LBS_NOTIFY, 0, 0, 300,
                                300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(ControlList, nullptr);
  EXPECT_EQ(QueryInstalledControls(), 1);
  wchar_t entry[256] = {};
  ASSERT_EQ(SendMessageW(ControlList, LB_GETTEXTLEN, 0, 0), 17);
  SendMessageW(ControlList, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(entry));
  EXPECT_STREQ(entry, ProgId);

  EXPECT_TRUE(RemoveControl(entry).removed);
  EXPECT_EQ(Existing(ControlKeys), Names{});
  EXPECT_EQ(QueryInstalledControls(), 0);
  EXPECT_EQ(SendMessageW(ControlList, LB_GETCOUNT, 0, 0), 0);
  DestroyWindow(ControlList);
  ControlList = nullptr;
}
}  // namespace
