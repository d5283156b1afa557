#include "core/register/image_machine.h"

#include "platform/unique.h"

namespace {
bool ReadAt(HANDLE file, LONG offset, void* out, DWORD size) {
  DWORD read = 0;
  return SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
         ReadFile(file, out, size, &read, nullptr) && read == size;
}
}  // namespace

WORD ImageMachine(const wchar_t* path) {
  UniqueCreateFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 0;
  IMAGE_DOS_HEADER dos;
  if (!ReadAt(file.get(), 0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
      dos.e_lfanew <= 0)
    return 0;
  struct {
    DWORD signature;
    IMAGE_FILE_HEADER header;
  } pe;
  if (!ReadAt(file.get(), dos.e_lfanew, &pe, sizeof pe) || pe.signature != IMAGE_NT_SIGNATURE)
    return 0;
  return pe.header.Machine;
}
