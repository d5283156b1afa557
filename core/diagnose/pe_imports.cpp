#include "core/diagnose/pe_imports.h"

#include <cstring>

#include "platform/unique.h"

namespace {

// The loader's own limit on sections, and a bound on descriptors no real image comes near.
constexpr WORD SectionBound = 96;
constexpr DWORD DescriptorBound = 4096;

struct Image {
  const BYTE* bytes;
  size_t size;
  size_t sectionsAt;
  WORD sectionCount;
  DWORD headersSize;
  ULONGLONG imageBase;
  IMAGE_DATA_DIRECTORY imports;
  IMAGE_DATA_DIRECTORY delayed;
};

bool ReadAt(const Image& image, size_t offset, void* out, size_t count) {
  if (offset > image.size || count > image.size - offset) return false;
  memcpy(out, image.bytes + offset, count);
  return true;
}

// The file offset of an address in the image: inside the headers, or inside the raw data of
// one section. Addresses in a section's zero-filled tail have no bytes in the file.
bool OffsetOf(const Image& image, ULONGLONG rva, size_t& offset) {
  if (rva < image.headersSize && rva < image.size) {
    offset = static_cast<size_t>(rva);
    return true;
  }
  for (WORD i = 0; i < image.sectionCount; ++i) {
    IMAGE_SECTION_HEADER section;
    if (!ReadAt(image, image.sectionsAt + i * sizeof section, &section, sizeof section)) return false;
    if (rva < section.VirtualAddress || rva - section.VirtualAddress >= section.SizeOfRawData)
      continue;
    ULONGLONG at = section.PointerToRawData + (rva - section.VirtualAddress);
    if (at >= image.size) return false;
    offset = static_cast<size_t>(at);
    return true;
  }
  return false;
}

// A library's name: printable bytes ending within ImportNameCapacity and within the file.
bool ReadName(const Image& image, ULONGLONG rva, char (&name)[ImportNameCapacity]) {
  size_t at = 0;
  if (!OffsetOf(image, rva, at)) return false;
  for (size_t i = 0; i < ImportNameCapacity; ++i) {
    if (at + i >= image.size) return false;
    BYTE c = image.bytes[at + i];
    name[i] = static_cast<char>(c);
    if (c == 0) return i > 0;
    if (c < 0x20) return false;
  }
  return false;
}

bool AddLibrary(ImageImports& out, const char (&name)[ImportNameCapacity], bool delayed) {
  for (int i = 0; i < out.count; ++i)
    if (lstrcmpiA(out.libraries[i].name, name) == 0) return true;
  if (out.count >= ImportBound) return false;
  memcpy(out.libraries[out.count].name, name, sizeof name);
  out.libraries[out.count].delayed = delayed;
  ++out.count;
  return true;
}

// Walks a table of fixed-size descriptors until its terminator; name: the library's name
// address of one descriptor, 0 at the end.
template <typename Descriptor, typename NameOf>
ImportRead WalkTable(const Image& image, const IMAGE_DATA_DIRECTORY& table, bool delayed,
                     NameOf nameOf, ImageImports& out) {
  if (!table.VirtualAddress) return ImportRead::Ok;
  for (DWORD i = 0; i < DescriptorBound; ++i) {
    size_t at = 0;
    Descriptor descriptor;
    if (!OffsetOf(image, table.VirtualAddress + static_cast<ULONGLONG>(i) * sizeof descriptor, at) ||
        !ReadAt(image, at, &descriptor, sizeof descriptor))
      return ImportRead::Damaged;
    ULONGLONG rva = 0;
    if (!nameOf(descriptor, rva)) return ImportRead::Damaged;
    if (!rva) return ImportRead::Ok;
    char name[ImportNameCapacity];
    if (!ReadName(image, rva, name) || !AddLibrary(out, name, delayed)) return ImportRead::Damaged;
  }
  return ImportRead::Damaged;  // no terminator within the bound
}

// The headers: where the sections and the two tables are.
ImportRead ReadHeaders(Image& image, ImageImports& out) {
  IMAGE_DOS_HEADER dos;
  if (!ReadAt(image, 0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
    return ImportRead::NotImage;
  size_t at = static_cast<size_t>(dos.e_lfanew);
  DWORD signature = 0;
  IMAGE_FILE_HEADER file;
  if (!ReadAt(image, at, &signature, sizeof signature) || signature != IMAGE_NT_SIGNATURE ||
      !ReadAt(image, at + 4, &file, sizeof file))
    return ImportRead::NotImage;
  out.machine = file.Machine;
  size_t optionalAt = at + 4 + sizeof file;
  WORD magic = 0;
  if (!ReadAt(image, optionalAt, &magic, sizeof magic)) return ImportRead::NotImage;
  IMAGE_DATA_DIRECTORY directories[IMAGE_NUMBEROF_DIRECTORY_ENTRIES] = {};
  DWORD directoryCount = 0;
  size_t directoriesAt = 0;
  if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
    IMAGE_OPTIONAL_HEADER32 optional;
    if (!ReadAt(image, optionalAt, &optional, offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory)))
      return ImportRead::Damaged;
    image.imageBase = optional.ImageBase;
    image.headersSize = optional.SizeOfHeaders;
    directoryCount = optional.NumberOfRvaAndSizes;
    directoriesAt = optionalAt + offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
  } else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    IMAGE_OPTIONAL_HEADER64 optional;
    if (!ReadAt(image, optionalAt, &optional, offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)))
      return ImportRead::Damaged;
    image.imageBase = optional.ImageBase;
    image.headersSize = optional.SizeOfHeaders;
    directoryCount = optional.NumberOfRvaAndSizes;
    directoriesAt = optionalAt + offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory);
  } else {
    return ImportRead::NotImage;
  }
  if (directoryCount > IMAGE_NUMBEROF_DIRECTORY_ENTRIES) directoryCount = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
  // The directories must lie inside the optional header the file header announces.
  if (directoriesAt + directoryCount * sizeof directories[0] > optionalAt + file.SizeOfOptionalHeader ||
      !ReadAt(image, directoriesAt, directories, directoryCount * sizeof directories[0]))
    return ImportRead::Damaged;
  if (file.NumberOfSections > SectionBound) return ImportRead::Damaged;
  image.sectionCount = file.NumberOfSections;
  image.sectionsAt = optionalAt + file.SizeOfOptionalHeader;
  if (image.sectionsAt + image.sectionCount * sizeof(IMAGE_SECTION_HEADER) > image.size)
    return ImportRead::Damaged;
  image.imports = directories[IMAGE_DIRECTORY_ENTRY_IMPORT];
  image.delayed = directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
  return ImportRead::Ok;
}

}  // namespace

ImportRead ParseImageImports(const BYTE* bytes, size_t size, ImageImports& out) {
  out.machine = 0;
  out.count = 0;
  Image image = {bytes, size, 0, 0, 0, 0, {}, {}};
  ImportRead read = ReadHeaders(image, out);
  if (read != ImportRead::Ok) return read;
  read = WalkTable<IMAGE_IMPORT_DESCRIPTOR>(
      image, image.imports, false,
      [](const IMAGE_IMPORT_DESCRIPTOR& d, ULONGLONG& rva) {
        // The loader's walk ends at a descriptor without a name or an address table.
        rva = d.FirstThunk ? d.Name : 0;
        return true;
      },
      out);
  if (read != ImportRead::Ok) return read;
  ULONGLONG base = image.imageBase;
  return WalkTable<IMAGE_DELAYLOAD_DESCRIPTOR>(
      image, image.delayed, true,
      [base](const IMAGE_DELAYLOAD_DESCRIPTOR& d, ULONGLONG& rva) {
        rva = d.DllNameRVA;
        // Old linkers stored virtual addresses instead of relative ones.
        if (rva && !(d.Attributes.AllAttributes & 1)) {
          if (rva < base) return false;
          rva -= base;
        }
        return true;
      },
      out);
}

ImportRead ReadImageImports(const wchar_t* path, ImageImports& out) {
  out.machine = 0;
  out.count = 0;
  UniqueCreateFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      size.QuadPart > ImageSizeBound)
    return ImportRead::Unreadable;
  DWORD bytes = static_cast<DWORD>(size.QuadPart);
  UniqueHeap<BYTE> buffer = HeapAllocate<BYTE>(bytes ? bytes : 1, false);
  if (!buffer) return ImportRead::Unreadable;
  DWORD read = 0;
  if (!ReadFile(file.get(), buffer.get(), bytes, &read, nullptr) || read != bytes)
    return ImportRead::Unreadable;
  return ParseImageImports(buffer.get(), bytes, out);
}
