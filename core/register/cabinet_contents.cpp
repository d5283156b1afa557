#include "core/register/cabinet_contents.h"

#include <cwchar>

#include <fcntl.h>
#include <fdi.h>

#include "core/register/cabinet.h"
#include "core/register/cabinet_library.h"
#include "core/register/entry_name.h"
#include "platform/unique.h"
#include "platform/text.h"

namespace {

constexpr unsigned long long HashStart = 0xcbf29ce484222325ull;
constexpr unsigned long long HashPrime = 0x100000001b3ull;

unsigned long long Hash(unsigned long long hash, const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * HashPrime;
  return hash;
}

// Entries are not written anywhere: the interface's writes of an entry go to this sink, which
// only hashes them. One listing runs at a time; the write callback has no context of its own.
struct Sink {
  unsigned long long hash;
} EntrySink;
const INT_PTR SinkHandle = reinterpret_cast<INT_PTR>(&EntrySink);

FNALLOC(ListAlloc) { return HeapAlloc(GetProcessHeap(), 0, cb); }
FNFREE(ListFree) { HeapFree(GetProcessHeap(), 0, pv); }

// The interface opens only the cabinet (and the next parts of a set) through this, for reading.
FNOPEN(ListOpen) {
  (void)pmode;
  if ((oflag & (_O_WRONLY | _O_RDWR | _O_CREAT)) != 0) return -1;
  HANDLE file = CreateFileA(pszFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<INT_PTR>(file);
}

FNREAD(ListRead) {
  if (hf == SinkHandle) return static_cast<UINT>(-1);
  DWORD read = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(hf), pv, cb, &read, nullptr)) return static_cast<UINT>(-1);
  return read;
}

FNWRITE(ListWrite) {
  if (hf != SinkHandle) return static_cast<UINT>(-1);
  EntrySink.hash = Hash(EntrySink.hash, pv, cb);
  return cb;
}

FNCLOSE(ListClose) {
  if (hf == SinkHandle) return 0;
  return CloseHandle(reinterpret_cast<HANDLE>(hf)) ? 0 : -1;
}

FNSEEK(ListSeek) {
  if (hf == SinkHandle) return -1;
  DWORD moved = SetFilePointer(reinterpret_cast<HANDLE>(hf), dist, nullptr,
                               static_cast<DWORD>(seektype));
  return moved == INVALID_SET_FILE_POINTER ? -1 : static_cast<__LONG32>(moved);
}

bool AddEntry(CabinetContents& contents, const char* ansiName, long size) {
  CabinetEntry entry;
  if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansiName, -1, entry.name,
                           static_cast<int>(CabinetEntryNameCapacity)))
    return false;
  // The unpack's own rule, and one name per file: a name it refuses (a device such as COM1, a
  // separator, a ':') is never opened below a folder.
  const wchar_t* name = entry.name;
  if (!IsSafeEntryName(name) || wcspbrk(name, L"\\/")) contents.flat = false;
  entry.size = static_cast<unsigned long>(size);
  entry.hash = HashStart;
  return contents.entries.Append(entry);
}

FNFDINOTIFY(ListNotify) {
  auto* contents = static_cast<CabinetContents*>(pfdin->pv);
  switch (fdint) {
    case fdintCOPY_FILE:
      // A name that cannot be held whole makes the listing incomplete: no folder matches it.
      if (!AddEntry(*contents, pfdin->psz1, pfdin->cb)) return -1;
      EntrySink.hash = HashStart;
      return SinkHandle;
    case fdintCLOSE_FILE_INFO:
      contents->entries[contents->entries.Size() - 1].hash = EntrySink.hash;
      return TRUE;
    case fdintNEXT_CABINET:
      // The next part of a set, from the same folder under the name the cabinet gives.
      if (pfdin->fdie != FDIERROR_NONE) return -1;
      for (const char* p = pfdin->psz1; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':') return -1;
      return 0;
    default:
      return 0;
  }
}

bool SameBytes(const wchar_t* path, const CabinetEntry& entry) {
  UniqueCreateFileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
                                          nullptr));
  if (!file) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool same = GetFileInformationByHandle(file.get(), &info) &&
              !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
              info.nFileSizeHigh == 0 && info.nFileSizeLow == entry.size;
  unsigned long long hash = HashStart;
  constexpr DWORD ChunkSize = 65536;
  UniqueHeap<BYTE> chunk = HeapAllocate<BYTE>(ChunkSize, false);
  same = same && chunk;
  DWORD read = 0;
  while (same && ReadFile(file.get(), chunk.get(), ChunkSize, &read, nullptr) && read)
    hash = Hash(hash, chunk.get(), read);
  return same && hash == entry.hash;
}

}  // namespace

bool ReadCabinetContents(const char* ansiPath, CabinetContents& contents) {
  contents.entries.Clear();
  contents.complete = false;
  contents.flat = true;
  const CabinetFunctions* fdi = CabinetLibrary();
  if (!fdi) return false;
  char path[AnsiPathCapacity] = {};
  char name[CabinetNameCapacity] = {};
  if (!CopyText(path, ansiPath)) return false;
  SplitCabinetPath(path, name, sizeof name);
  ERF error = {};
  HFDI context = fdi->create(ListAlloc, ListFree, ListOpen, ListRead, ListWrite, ListClose,
                             ListSeek, cpuUNKNOWN, &error);
  if (!context) return false;
  bool copied = fdi->copy(context, name, path, 0, ListNotify, nullptr, &contents) != FALSE;
  fdi->destroy(context);
  contents.complete = copied;
  return copied;
}

bool FolderHoldsCabinet(const wchar_t* folder, const CabinetContents& contents) {
  size_t count = contents.entries.Size();
  if (!contents.complete || !contents.flat || count == 0) return false;
  wchar_t path[MAX_PATH + CabinetEntryNameCapacity];
  for (size_t i = 0; i < count; ++i) {
    // Of two entries with one name, the one written last is the file that stays.
    bool later = false;
    for (size_t j = i + 1; j < count && !later; ++j)
      later = CompareStringOrdinal(contents.entries[i].name, -1, contents.entries[j].name, -1,
                                   TRUE) == CSTR_EQUAL;
    if (later) continue;
    if (!CopyText(path, folder) || !AppendText(path, contents.entries[i].name)) return false;
    if (!SameBytes(path, contents.entries[i])) return false;
  }
  // Files beside them do not count against it: a control may write files next to itself.
  return true;
}
