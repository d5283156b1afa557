// The pieces of the pipeline that are pure text: directory names, the cabinet path split,
// which entry names may be written, the regsvr32 parameters, the ANSI form of a path, and
// the unpack root's security descriptor.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "core/register/cabinet.h"
#include "core/register/cabinet_callbacks.h"
#include "core/register/cabinet_contents.h"
#include "core/register/entry_name.h"
#include "window/drop.h"
#include "core/register/register_control.h"
#include "core/register/unpack_root.h"
#include "platform/admin_only.h"
#include "tests/core/register/drop_support.h"
#include "tests/core/register/fci_cabinet.h"

TEST(UnpackDirectoryName, IsTheRootAndTheSecondsInDecimal) {
  char out[UnpackDirCapacity];
  ASSERT_TRUE(FormatUnpackDirectory(1764999000, out, sizeof out));  // 2025-12-06 05:30:00 UTC
  EXPECT_STREQ("C:/VornActiveX/1764999000/", out);
  ASSERT_TRUE(FormatUnpackDirectory(0, out, sizeof out));
  EXPECT_STREQ("C:/VornActiveX/0/", out);
  ASSERT_TRUE(FormatUnpackDirectory(2147483647, out, sizeof out));
  EXPECT_STREQ("C:/VornActiveX/2147483647/", out);
}

TEST(UnpackDirectoryName, TakesTheLow32BitsAsSigned) {
  char out[UnpackDirCapacity];
  ASSERT_TRUE(FormatUnpackDirectory(2147483648LL, out, sizeof out));  // 2038-01-19 03:14:08 UTC
  EXPECT_STREQ("C:/VornActiveX/-2147483648/", out);
  ASSERT_TRUE(FormatUnpackDirectory(4294967295LL, out, sizeof out));
  EXPECT_STREQ("C:/VornActiveX/-1/", out);
  ASSERT_TRUE(FormatUnpackDirectory(4294967296LL + 5, out, sizeof out));
  EXPECT_STREQ("C:/VornActiveX/5/", out);
  EXPECT_EQ(27u, std::string("C:/VornActiveX/-2147483648/").size());
}

TEST(UnpackDirectoryName, RefusesABufferTooSmall) {
  char out[20] = "old";
  EXPECT_FALSE(FormatUnpackDirectory(1764999000, out, sizeof out));
  EXPECT_STREQ("", out);
}

TEST(CabinetPathSplit, KeepsTheBackslashOnThePath) {
  char path[AnsiPathCapacity] = "D:\\cabs\\ctl.cab";
  char name[AnsiPathCapacity] = "old";
  SplitCabinetPath(path, name, sizeof name);
  EXPECT_STREQ("ctl.cab", name);
  EXPECT_STREQ("D:\\cabs\\", path);
}

TEST(CabinetPathSplit, WithoutBackslashLeavesThePathWhole) {
  char path[AnsiPathCapacity] = "D:/cabs/ctl.cab";
  char name[AnsiPathCapacity] = "old";
  SplitCabinetPath(path, name, sizeof name);
  EXPECT_STREQ("", name);
  EXPECT_STREQ("D:/cabs/ctl.cab", path);
  char bare[AnsiPathCapacity] = "ctl.cab";
  SplitCabinetPath(bare, name, sizeof name);
  EXPECT_STREQ("", name);
  EXPECT_STREQ("ctl.cab", bare);
}

TEST(CabinetPathSplit, TakesLongNamesWhole) {
  std::string longName(120, 'n');
  longName += ".cab";
  char path[AnsiPathCapacity] = {};
  snprintf(path, sizeof path, "C:\\cabs\\%s", longName.c_str());
  char name[AnsiPathCapacity] = {};
  SplitCabinetPath(path, name, sizeof name);
  EXPECT_EQ(longName, name);
  EXPECT_STREQ("C:\\cabs\\", path);
}

TEST(CabinetPathSplit, IgnoresATrailByteThatLooksLikeABackslash) {
  // 乗 is 0x81 0x5C in code page 936.
  ASSERT_EQ(936u, GetACP());
  char path[AnsiPathCapacity] = "C:\\cabs\\\x81\x5C.cab";
  char name[AnsiPathCapacity] = {};
  SplitCabinetPath(path, name, sizeof name);
  EXPECT_STREQ("\x81\x5C.cab", name);
  EXPECT_STREQ("C:\\cabs\\", path);
}

TEST(EntryNames, PlainNamesAreWritten) {
  for (const wchar_t* name : {L"a.ocx", L"b.inf", L"控件.ocx", L"a..b.ocx", L"..a", L"sub\\a.ocx",
                              L"./a.ocx", L"console.ocx", L"COM10", L"LPT0.dll", L"CONIN"})
    EXPECT_TRUE(IsSafeEntryName(name)) << Narrow(name);
}

TEST(EntryNames, NamesLeavingTheDirectoryAreRefused) {
  for (const wchar_t* name :
       {L"..\\evil.ocx", L"../evil.ocx", L"sub\\..\\..\\evil.ocx", L"..", L"sub/..", L". .\\x",
        L"...\\x", L"\\evil.ocx", L"/evil.ocx", L"\\\\server\\share\\x", L"C:\\x", L"C:x",
        L"a.ocx:stream", L""})
    EXPECT_FALSE(IsSafeEntryName(name)) << Narrow(name);
}

TEST(EntryNames, DeviceNamesAreRefused) {
  for (const wchar_t* name : {L"CON", L"con", L"PRN.txt", L"aux.ocx", L"NuL", L"COM1", L"com9.dll",
                              L"LPT1", L"lpt9.ocx", L"NUL .txt", L"sub\\CON", L"COM\u00B9"})
    EXPECT_FALSE(IsSafeEntryName(name)) << Narrow(name);
}

// regsvr32 is started directly and parses its own command line: "<regsvr32>" /s "path".
TEST(RegisterCommandLine, QuotesRegsvr32AndThePath) {
  const wchar_t* regsvr32 = L"C:\\windows\\system32\\regsvr32.exe";
  wchar_t out[RegisterCommandLineCapacity];
  ASSERT_TRUE(BuildRegisterCommandLine(regsvr32, L"C:\\ctl\\a.ocx", out, RegisterCommandLineCapacity));
  EXPECT_STREQ(L"\"C:\\windows\\system32\\regsvr32.exe\" /s \"C:\\ctl\\a.ocx\"", out);
  ASSERT_TRUE(BuildRegisterCommandLine(regsvr32, L"C:\\my %TEMP% %%\\a b.ocx", out,
                                       RegisterCommandLineCapacity));
  EXPECT_STREQ(L"\"C:\\windows\\system32\\regsvr32.exe\" /s \"C:\\my %TEMP% %%\\a b.ocx\"", out);
}

TEST(RegisterCommandLine, FitsTheLongestDroppedPathAndRefusesMore) {
  wchar_t out[RegisterCommandLineCapacity];
  // The longest system path a MAX_PATH buffer holds.
  std::wstring regsvr32 = L"C:\\" + std::wstring(MAX_PATH - 1 - 3 - 13, L's') + L"\\regsvr32.exe";
  ASSERT_EQ(size_t{MAX_PATH - 1}, regsvr32.size());
  std::wstring path = L"C:\\" + std::wstring(992, L'p') + L".ocx";  // 999 characters
  ASSERT_EQ(999u, path.size());
  ASSERT_TRUE(BuildRegisterCommandLine(regsvr32.c_str(), path.c_str(), out, RegisterCommandLineCapacity));
  EXPECT_EQ(L"\"" + regsvr32 + L"\" /s \"" + path + L"\"", std::wstring(out));
  path += L"x";
  EXPECT_FALSE(BuildRegisterCommandLine(regsvr32.c_str(), path.c_str(), out, RegisterCommandLineCapacity));
  EXPECT_STREQ(L"", out);
}

TEST(AnsiPath, ConvertsWhatTheCodePageExpresses) {
  char ansi[AnsiPathCapacity];
  ASSERT_TRUE(ConvertToAnsiPath(L"D:\\控件\\ctl.cab", ansi, sizeof ansi));
  EXPECT_STREQ("D:\\\xBF\xD8\xBC\xFE\\ctl.cab", ansi);
}

TEST(AnsiPath, RefusesCharactersWithoutAnExactForm) {
  char ansi[AnsiPathCapacity];
  // Thai ก has no form in code page 936; ä would be fitted to a by a best-fit mapping.
  EXPECT_FALSE(ConvertToAnsiPath(L"D:\\\u0E01.cab", ansi, sizeof ansi));
  EXPECT_STREQ("", ansi);
  EXPECT_FALSE(ConvertToAnsiPath(L"D:\\\u00E4.cab", ansi, sizeof ansi));
  EXPECT_FALSE(ConvertToAnsiPath(L"D:\\\U0001F600.cab", ansi, sizeof ansi));
}

TEST(AnsiPath, FitsTheLongestDroppedPathInTwoByteCharacters) {
  char ansi[AnsiPathCapacity];
  std::wstring path = L"C:\\" + std::wstring(992, L'控') + L".cab";
  ASSERT_TRUE(ConvertToAnsiPath(path.c_str(), ansi, sizeof ansi));
  EXPECT_EQ(3u + 992 * 2 + 4, strlen(ansi));
  char small[100];
  EXPECT_FALSE(ConvertToAnsiPath(path.c_str(), small, sizeof small));
  EXPECT_STREQ("", small);
}

// The unpack root's descriptor, checked as data: Wine keeps no ACLs on files, so reading one
// back from the folder proves nothing there (docs/security.md says how to check it on Windows).
TEST(UnpackRootSecurity, AdministratorsOwnAProtectedDaclOfThreeInheritedEntries) {
  UniqueSecurityDescriptor owned = MakeSecurityDescriptor(AdminsOnlyFolderSddl);
  PSECURITY_DESCRIPTOR descriptor = owned.get();
  ASSERT_TRUE(descriptor);
  BYTE administrators[SECURITY_MAX_SID_SIZE], system[SECURITY_MAX_SID_SIZE],
      users[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
  size = sizeof system;
  ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size));
  size = sizeof users;
  ASSERT_TRUE(CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &size));

  PSID owner = nullptr;
  BOOL defaulted = TRUE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
  ASSERT_TRUE(owner);
  EXPECT_TRUE(EqualSid(owner, administrators));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the drive root's entries must not be inherited";
  BOOL present = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl);
  ASSERT_EQ(3, dacl->AceCount);
  struct Expected {
    PSID sid;
    ACCESS_MASK mask;
  } expected[] = {{system, FILE_ALL_ACCESS},
                  {administrators, FILE_ALL_ACCESS},
                  {users, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
  for (DWORD i = 0; i < 3; ++i) {
    ACE_HEADER* header = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&header)));
    ASSERT_EQ(ACCESS_ALLOWED_ACE_TYPE, header->AceType) << i;
    // Applies to the root and is inherited by every folder and file below it.
    EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, header->AceFlags) << i;
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    EXPECT_EQ(expected[i].mask, ace->Mask) << i;
    EXPECT_TRUE(EqualSid(&ace->SidStart, expected[i].sid)) << i;
  }
  // Users may read and run, never write, delete or change permissions.
  EXPECT_EQ(0u, (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE) &
                    (FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | WRITE_DAC | WRITE_OWNER));
}

TEST(UnpackRootSecurity, OnlyAdministratorsSystemAndTrustedInstallerAreTrustedOwners) {
  for (WELL_KNOWN_SID_TYPE type : {WinBuiltinAdministratorsSid, WinLocalSystemSid}) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    ASSERT_TRUE(CreateWellKnownSid(type, nullptr, sid, &size));
    EXPECT_TRUE(IsTrustedOwner(sid)) << type;
  }
  for (WELL_KNOWN_SID_TYPE type : {WinBuiltinUsersSid, WinAuthenticatedUserSid, WinWorldSid,
                                   WinInteractiveSid, WinCreatorOwnerSid, WinLocalServiceSid}) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    ASSERT_TRUE(CreateWellKnownSid(type, nullptr, sid, &size));
    EXPECT_FALSE(IsTrustedOwner(sid)) << type;
  }
  // Another account of the machine.
  BYTE other[SECURITY_MAX_SID_SIZE];
  PSID parsed = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-21-1-2-3-4242", &parsed));
  CopySid(sizeof other, other, parsed);
  LocalFree(parsed);
  EXPECT_FALSE(IsTrustedOwner(other));
  // The system's own files.
  ASSERT_TRUE(ConvertStringSidToSidW(
      L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", &parsed));
  EXPECT_TRUE(IsTrustedOwner(parsed));
  LocalFree(parsed);
  // The account running the program: its processes without elevation own what they make.
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &size));
  CloseHandle(token);
  EXPECT_FALSE(IsTrustedOwner(reinterpret_cast<TOKEN_USER*>(user)->User.Sid));
}

// The listing that /uninstall x.cab compares folders with refuses the names the unpack
// refuses: an entry named like a device is never opened below a folder, so no folder is taken
// for such a cabinet's.
TEST(CabinetContentsNames, ADeviceNameMakesTheCabinetUnpackedNowhere) {
  CreateDirectoryW(L"C:\\regtest\\", nullptr);
  const std::string plain = "C:\\regtest\\listed-plain.cab";
  const std::string device = "C:\\regtest\\listed-com1.cab";
  ASSERT_TRUE(WriteCabinet(plain, {{"a.ocx", "A"}, {"b.inf", "B"}}));
  ASSERT_TRUE(WriteCabinet(device, {{"a.ocx", "A"}, {"COM1", "C"}}));
  CabinetContents contents;
  ASSERT_TRUE(ReadCabinetContents(plain.c_str(), contents));
  EXPECT_TRUE(contents.flat);
  ASSERT_TRUE(ReadCabinetContents(device.c_str(), contents));
  ASSERT_EQ(2u, contents.entries.Size());
  EXPECT_STREQ(L"COM1", contents.entries[1].name);
  EXPECT_FALSE(contents.flat);
  EXPECT_FALSE(FolderHoldsCabinet(L"C:\\regtest\\", contents));
  DeleteFileA(plain.c_str());
  DeleteFileA(device.c_str());
}
