// A hostile case: drops files on the program's window and checks afterwards that nothing on
// drive C: changed outside the new unpack directories and that HKEY_CLASSES_ROOT gained or
// lost nothing but the test control's own keys.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/message_boxes.h"
#include "tests/core/register/drop_support.h"
#include "tests/core/register/hostile_support.h"

// True once regsvr32 has registered testctl.dll under the base name.
bool Registered(const std::wstring& base);
// Waits (bounded) for the registration; false when it never came.
bool AwaitRegistration(const std::wstring& base);
// True once regsvr32 has run the test control's DllRegisterServer (whatever its file name).
bool ClassRegistered();
// The file the test control's class names as its server, or empty.
std::wstring RegisteredServer();
// Handles a drop of the paths as the main window does.
void DropFiles(const std::vector<std::wstring>& paths);

struct HostileCase : testing::Test {
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Base names whose registration the case causes; their keys are removed at the end.
  std::vector<std::wstring> controls;
  long long since = 0;
  DriveListing drive;
  std::vector<std::wstring> classes;
};
