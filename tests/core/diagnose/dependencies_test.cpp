// The dependency walk: real images of the project's own fixtures in folders of the test's own,
// and small images made here byte by byte where no tool makes one (a delay-load table, damaged
// tables, two libraries importing each other).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/diagnose/dependencies.h"
#include "core/diagnose/runtimes.h"

namespace {

std::wstring WindowsPath(const char* unixPath) {
  std::wstring path = L"Z:";
  for (const char* p = unixPath; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
  return path;
}

std::wstring FreshFolder() {
  static int made = 0;
  std::wstring work = WindowsPath(DIAGNOSE_WORK_DIR);
  CreateDirectoryW(work.c_str(), nullptr);
  std::wstring folder = work + L"\\case" + std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++made);
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

std::wstring CopyInto(const std::wstring& folder, const char* fixture, const wchar_t* name) {
  std::wstring copy = folder + L"\\" + name;
  EXPECT_TRUE(CopyFileW(WindowsPath(fixture).c_str(), copy.c_str(), FALSE)) << fixture;
  return copy;
}

bool Exists(const char* fixture) {
  return GetFileAttributesW(WindowsPath(fixture).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A 64-bit image with one section at 0x1000 (file offset 0x200, 0x200 bytes) holding the
// descriptors at its start and the library's name at 0x1100.
constexpr DWORD SectionRva = 0x1000, SectionAt = 0x200, NameRva = 0x1100;
enum class Table { Import, Delay };

std::vector<BYTE> MakeImage(Table table, const char* library) {
  std::vector<BYTE> bytes(0x400, 0);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(bytes.data());
  dos->e_magic = IMAGE_DOS_SIGNATURE;
  dos->e_lfanew = 0x40;
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS64*>(bytes.data() + 0x40);
  nt->Signature = IMAGE_NT_SIGNATURE;
  nt->FileHeader.Machine = IMAGE_FILE_MACHINE_AMD64;
  nt->FileHeader.NumberOfSections = 1;
  nt->FileHeader.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER64);
  nt->FileHeader.Characteristics = IMAGE_FILE_DLL | IMAGE_FILE_EXECUTABLE_IMAGE;
  nt->OptionalHeader.Magic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
  nt->OptionalHeader.ImageBase = 0x180000000ULL;
  nt->OptionalHeader.SizeOfHeaders = SectionAt;
  nt->OptionalHeader.SizeOfImage = 0x2000;
  nt->OptionalHeader.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
  int entry = table == Table::Import ? IMAGE_DIRECTORY_ENTRY_IMPORT : IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT;
  nt->OptionalHeader.DataDirectory[entry] = {SectionRva, 0x40};
  auto* section = IMAGE_FIRST_SECTION(nt);
  memcpy(section->Name, ".idata", 6);
  section->VirtualAddress = SectionRva;
  section->Misc.VirtualSize = 0x200;
  section->PointerToRawData = SectionAt;
  section->SizeOfRawData = 0x200;
  BYTE* data = bytes.data() + SectionAt;
  if (table == Table::Import) {
    auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(data);
    d->OriginalFirstThunk = 0x1180;
    d->Name = NameRva;
    d->FirstThunk = 0x1180;
  } else {
    auto* d = reinterpret_cast<IMAGE_DELAYLOAD_DESCRIPTOR*>(data);
    d->Attributes.AllAttributes = 1;
    d->DllNameRVA = NameRva;
  }
  strcpy(reinterpret_cast<char*>(data + (NameRva - SectionRva)), library);
  return bytes;
}

std::wstring WriteImage(const std::wstring& folder, const wchar_t* name, const std::vector<BYTE>& bytes) {
  std::wstring path = folder + L"\\" + name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  CloseHandle(file);
  return path;
}

DependencyReport Resolve(const std::wstring& control) {
  DependencyReport report;
  ResolveDependencies(control.c_str(), report);
  return report;
}

std::wstring Missing(const std::wstring& control) {
  wchar_t library[ImportNameCapacity], hint[RuntimeHintCapacity];
  return FindMissingLibrary(control.c_str(), library, hint) ? std::wstring(library) + L"|" + hint : L"";
}

}  // namespace

TEST(Dependencies, AHelperBesideTheControlIsFoundAndOneDeletedIsNamedWithItsImporter) {
  std::wstring folder = FreshFolder();
  std::wstring control = CopyInto(folder, DEPCTL_DLL, L"depctl.dll");
  std::wstring helper = CopyInto(folder, VORNHELPER_DLL, L"vornhelper.dll");
  DependencyReport whole = Resolve(control);
  EXPECT_EQ(Verdict::Ok, whole.verdict);
  EXPECT_EQ(0, whole.missingCount) << whole.missing[0].name;
  EXPECT_EQ(IMAGE_FILE_MACHINE_AMD64, whole.machine);
  EXPECT_EQ(L"", Missing(control));

  ASSERT_TRUE(DeleteFileW(helper.c_str()));
  DependencyReport gone = Resolve(control);
  EXPECT_EQ(Verdict::Problem, gone.verdict);
  ASSERT_EQ(1, gone.missingCount);
  EXPECT_STREQ("vornhelper.dll", gone.missing[0].name);
  EXPECT_STREQ("depctl.dll", gone.missing[0].importer);
  EXPECT_FALSE(gone.missing[0].delayed);
  EXPECT_EQ(L"vornhelper.dll|", Missing(control));  // no runtime: no hint
}

// A runtime missing on the machine: the library the window names, and the package to install.
TEST(Dependencies, AMissingRuntimeIsNamedWithItsRedistributable) {
  std::wstring folder = FreshFolder();
  std::wstring control = WriteImage(folder, L"rtctl.dll", MakeImage(Table::Import, "vornrt-absent.dll"));
  EXPECT_EQ(L"vornrt-absent.dll|", Missing(control));
  wchar_t hint[RuntimeHintCapacity];
  RuntimeHint("MSVCR120.dll", IMAGE_FILE_MACHINE_I386, hint);
  EXPECT_STREQ(L"（请安装 Visual C++ 2013 运行库 x86）", hint);
  RuntimeHint("vcruntime140_1.dll", IMAGE_FILE_MACHINE_AMD64, hint);
  EXPECT_STREQ(L"（请安装 Visual C++ 2015-2022 运行库 x64）", hint);
  RuntimeHint("mfc100u.dll", IMAGE_FILE_MACHINE_I386, hint);
  EXPECT_STREQ(L"（请安装 Visual C++ 2010 运行库 x86）", hint);
  RuntimeHint("msvcr90.dll", IMAGE_FILE_MACHINE_AMD64, hint);
  EXPECT_STREQ(L"（请安装 Visual C++ 2008 运行库 x64）", hint);
  RuntimeHint("mfc42.dll", IMAGE_FILE_MACHINE_I386, hint);  // ships with Windows
  EXPECT_STREQ(L"", hint);
  RuntimeHint("vornhelper.dll", IMAGE_FILE_MACHINE_I386, hint);
  EXPECT_STREQ(L"", hint);
}

// A delay-loaded library is missed only when first called: named, but not what stops the load.
TEST(Dependencies, AMissingDelayLoadedLibraryIsUnknownAndNotWhatStopsTheLoad) {
  std::wstring folder = FreshFolder();
  std::wstring control = WriteImage(folder, L"delayctl.dll", MakeImage(Table::Delay, "vorndelay-absent.dll"));
  DependencyReport report = Resolve(control);
  EXPECT_EQ(Verdict::Unknown, report.verdict);
  ASSERT_EQ(1, report.missingCount);
  EXPECT_STREQ("vorndelay-absent.dll", report.missing[0].name);
  EXPECT_TRUE(report.missing[0].delayed);
  EXPECT_EQ(L"", Missing(control));
}

// Two libraries beside the control that import each other: each is read once, and the walk ends.
TEST(Dependencies, LibrariesImportingEachOtherEndTheWalk) {
  std::wstring folder = FreshFolder();
  WriteImage(folder, L"loopa.dll", MakeImage(Table::Import, "loopb.dll"));
  WriteImage(folder, L"loopb.dll", MakeImage(Table::Import, "loopa.dll"));
  std::wstring control = WriteImage(folder, L"loopctl.dll", MakeImage(Table::Import, "loopa.dll"));
  DependencyReport report = Resolve(control);
  EXPECT_EQ(Verdict::Ok, report.verdict);
  EXPECT_EQ(2, report.libraries);
  EXPECT_FALSE(report.bounded);
}

TEST(Dependencies, DamagedTablesEndInUnknownNeverACrash) {
  std::wstring folder = FreshFolder();
  std::vector<std::vector<BYTE>> damaged;
  std::vector<BYTE> image = MakeImage(Table::Import, "vornhelper.dll");
  auto descriptor = [](std::vector<BYTE>& b) { return reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(b.data() + SectionAt); };
  damaged.push_back(image);
  descriptor(damaged.back())->Name = 0x7FFFFFF0;  // the name past the end of every section
  damaged.push_back(image);
  // Descriptors to the end of the section, none a terminator: the table runs off its section.
  for (DWORD at = 0; at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= 0x100; at += sizeof(IMAGE_IMPORT_DESCRIPTOR))
    memcpy(damaged.back().data() + SectionAt + at, descriptor(image), sizeof(IMAGE_IMPORT_DESCRIPTOR));
  for (DWORD at = 0x100; at < 0x200; ++at) damaged.back()[SectionAt + at] = 'x';  // a name without end
  damaged.push_back(image);
  reinterpret_cast<IMAGE_NT_HEADERS64*>(damaged.back().data() + 0x40)->FileHeader.NumberOfSections = 0xFFFF;
  damaged.push_back(image);
  reinterpret_cast<IMAGE_NT_HEADERS64*>(damaged.back().data() + 0x40)
      ->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress = 0xFFFFFFFF;
  damaged.push_back(image);
  reinterpret_cast<IMAGE_DOS_HEADER*>(damaged.back().data())->e_lfanew = 0x7FFFFFF0;
  for (size_t i = 0; i < damaged.size(); ++i) {
    std::wstring control = WriteImage(folder, (L"damaged" + std::to_wstring(i) + L".dll").c_str(), damaged[i]);
    DependencyReport report = Resolve(control);
    EXPECT_EQ(Verdict::Unknown, report.verdict) << "case " << i;
    EXPECT_EQ(L"", Missing(control)) << "case " << i;
  }
  // Every shorter piece of a real image parses to an end without reading past it.
  HANDLE file = CreateFileW(WindowsPath(DEPCTL_DLL).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  std::vector<BYTE> real(GetFileSize(file, nullptr));
  DWORD read = 0;
  ReadFile(file, real.data(), static_cast<DWORD>(real.size()), &read, nullptr);
  CloseHandle(file);
  ImageImports imports;
  ASSERT_EQ(ImportRead::Ok, ParseImageImports(real.data(), real.size(), imports));
  for (size_t size = 0; size < real.size(); size += 7) {
    std::vector<BYTE> piece(real.begin(), real.begin() + static_cast<std::ptrdiff_t>(size));
    ImportRead result = ParseImageImports(piece.data(), piece.size(), imports);
    EXPECT_TRUE(result != ImportRead::Ok || imports.count > 0) << size;
  }
}

// A 32-bit control seen from this 64-bit build: its libraries are looked for in the 32-bit
// system folder, and a helper that is not beside it is named.
TEST(Dependencies, A32BitControlIsResolvedForItsOwnBitness) {
  if (!Exists(DEPCTL32_DLL) || !Exists(TESTCTL32_DLL)) GTEST_SKIP() << "the i686 build is not there";
  std::wstring folder = FreshFolder();
  std::wstring control = CopyInto(folder, TESTCTL32_DLL, L"testctl32.dll");
  DependencyReport whole = Resolve(control);
  EXPECT_EQ(IMAGE_FILE_MACHINE_I386, whole.machine);
  EXPECT_EQ(Verdict::Ok, whole.verdict) << whole.missing[0].name;
  std::wstring alone = CopyInto(folder, DEPCTL32_DLL, L"depctl32.dll");
  CopyInto(folder, VORNHELPER_DLL, L"vornhelper.dll");  // the 64-bit helper does not serve
  DependencyReport gone = Resolve(alone);
  EXPECT_EQ(Verdict::Problem, gone.verdict);
  ASSERT_EQ(1, gone.missingCount);
  EXPECT_STREQ("vornhelper.dll", gone.missing[0].name);
}
