#include "tests/core/register/fci_cabinet.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <fci.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// Looked up at run time, so that this executable's FDI imports stay the product's own.
struct Fci {
  decltype(&FCICreate) create;
  decltype(&FCIAddFile) addFile;
  decltype(&FCIFlushCabinet) flush;
  decltype(&FCIDestroy) destroy;
};

template <typename Function>
Function Lookup(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

bool LoadFci(Fci& fci) {
  HMODULE cabinet = LoadLibraryW(L"cabinet.dll");
  if (!cabinet) return false;
  fci.create = Lookup<decltype(&FCICreate)>(cabinet, "FCICreate");
  fci.addFile = Lookup<decltype(&FCIAddFile)>(cabinet, "FCIAddFile");
  fci.flush =
      Lookup<decltype(&FCIFlushCabinet)>(cabinet, "FCIFlushCabinet");
  fci.destroy = Lookup<decltype(&FCIDestroy)>(cabinet, "FCIDestroy");
  return fci.create && fci.addFile && fci.flush && fci.destroy;
}

const CabEntry* Current = nullptr;  // the entry whose open info is asked for

FNFCIFILEPLACED(Placed) { return 0; }
FNFCIALLOC(Alloc) { return malloc(cb); }
FNFCIFREE(Free) { free(memory); }
FNFCIOPEN(Open) {
  int h = _open(pszFile, oflag, pmode);
  if (h == -1) *err = errno;
  return h;
}
FNFCIREAD(Read) { return static_cast<UINT>(_read(static_cast<int>(hf), memory, cb)); }
FNFCIWRITE(Write) { return static_cast<UINT>(_write(static_cast<int>(hf), memory, cb)); }
FNFCICLOSE(Close) { return _close(static_cast<int>(hf)); }
FNFCISEEK(Seek) { return _lseek(static_cast<int>(hf), dist, seektype); }
FNFCIDELETE(Delete) { return remove(pszFile); }
FNFCIGETTEMPFILE(TempFile) {
  char dir[MAX_PATH], name[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  if (!GetTempFileNameA(dir, "fci", 0, name)) return FALSE;
  DeleteFileA(name);
  if (static_cast<int>(strlen(name)) >= cbTempName) return FALSE;
  strcpy(pszTempName, name);
  return TRUE;
}
// Names the next part of a split set: the prefix that pv points to, the part's number, ".cab".
FNFCIGETNEXTCABINET(NextCabinet) {
  const auto* prefix = static_cast<const std::string*>(pv);
  if (!prefix) return FALSE;
  snprintf(pccab->szCab, sizeof pccab->szCab, "%s%d.cab", prefix->c_str(), pccab->iCab);
  return TRUE;
}
FNFCISTATUS(Status) { return 0; }
FNFCIGETOPENINFO(OpenInfo) {
  *pdate = Current->date;
  *ptime = Current->time;
  *pattribs = Current->attribs;
  int h = _open(pszName, _O_RDONLY | _O_BINARY);
  if (h == -1) *err = errno;
  return h;
}
}  // namespace

namespace {
// prefix: null for a single cabinet, else the name of every part before its number.
bool Compress(CCAB& ccab, const std::vector<CabEntry>& entries, std::string* prefix) {
  Fci fci;
  if (!LoadFci(fci)) return false;
  ERF erf = {};
  HFCI context = fci.create(&erf, Placed, Alloc, Free, Open, Read, Write, Close, Seek, Delete,
                            TempFile, &ccab, prefix);
  if (!context) return false;
  bool ok = true;
  for (const CabEntry& entry : entries) {
    char source[MAX_PATH], dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "src", 0, source);
    FILE* f = fopen(source, "wb");
    if (!f) { ok = false; break; }
    fwrite(entry.content.data(), 1, entry.content.size(), f);
    fclose(f);
    Current = &entry;
    std::string name = entry.name;
    ok = fci.addFile(context, source, &name[0], FALSE, NextCabinet, Status, OpenInfo,
                     tcompTYPE_MSZIP);
    Current = nullptr;
    DeleteFileA(source);
    if (!ok) break;
  }
  ok = ok && fci.flush(context, FALSE, NextCabinet, Status);
  fci.destroy(context);
  return ok;
}
}  // namespace

bool WriteCabinet(const std::string& path, const std::vector<CabEntry>& entries) {
  CCAB ccab = {};
  ccab.cb = 0x7FFFFFFF;
  ccab.cbFolderThresh = 0x7FFFFFFF;
  size_t slash = path.find_last_of('\\');
  snprintf(ccab.szCabPath, sizeof ccab.szCabPath, "%s", path.substr(0, slash + 1).c_str());
  snprintf(ccab.szCab, sizeof ccab.szCab, "%s", path.substr(slash + 1).c_str());
  return Compress(ccab, entries, nullptr);
}

bool WriteSplitCabinet(const std::string& directory, const std::string& prefix,
                       const std::vector<CabEntry>& entries, unsigned long partSize) {
  CCAB ccab = {};
  ccab.cb = partSize;
  ccab.cbFolderThresh = 0x7FFFFFFF;
  ccab.iCab = 1;
  ccab.setID = 1717;
  snprintf(ccab.szCabPath, sizeof ccab.szCabPath, "%s", directory.c_str());
  snprintf(ccab.szCab, sizeof ccab.szCab, "%s1.cab", prefix.c_str());
  std::string named = prefix;
  return Compress(ccab, entries, &named);
}
