#include "core/uninstall/cabinet_origin.h"

#include <cwchar>
#include <utility>

#include "core/register/drop.h"
#include "core/register/cabinet.h"
#include "core/register/unpack_cleanup.h"
#include "core/uninstall/inventory.h"

namespace {

void MatchFolder(const wchar_t* folder, void* context) {
  auto* search = static_cast<std::pair<const CabinetContents*, FolderList*>*>(context);
  if (FolderHoldsCabinet(folder, *search->first)) AddFolder(*search->second, folder);
}

// The file's name behind its last separator.
const wchar_t* FileNameOf(const wchar_t* path) {
  const wchar_t* name = path;
  for (const wchar_t* p = path; *p; ++p)
    if (*p == L'\\' || *p == L'/') name = p + 1;
  return name;
}

}  // namespace

void FindCabinetFolders(const CabinetContents& contents, FolderList& matched) {
  std::pair<const CabinetContents*, FolderList*> search(&contents, &matched);
  ForEachUnpackFolder(MatchFolder, &search);
}

CabinetOrigin OriginOf(const wchar_t* file, const CabinetContents& contents,
                       const FolderList& matched) {
  UnpackFolderText folder;
  if (!file[0] || !UnpackFolderOf(file, folder)) return CabinetOrigin::Unrelated;
  if (ContainsFolder(matched, folder)) return CabinetOrigin::FromCabinet;
  const wchar_t* name = FileNameOf(file);
  for (size_t i = 0; i < contents.entries.Size(); ++i)
    if (CompareStringOrdinal(name, -1, contents.entries[i].name, -1, TRUE) == CSTR_EQUAL)
      return CabinetOrigin::OtherFolder;
  return CabinetOrigin::Unrelated;
}

bool OpenFileOrigin(FileOrigin& origin, const wchar_t* path, bool cabinet) {
  origin.path = path;
  origin.cabinet = cabinet;
  if (!cabinet) return true;
  char ansi[AnsiPathCapacity] = {};
  ConvertToAnsiPath(path, ansi, sizeof ansi);  // the caller checked that it converts
  if (!ReadCabinetContents(ansi, origin.contents)) return false;
  FindCabinetFolders(origin.contents, origin.matched);
  return true;
}

CabinetOrigin OriginOfControl(const FileOrigin& origin, const wchar_t* file) {
  if (origin.cabinet) return OriginOf(file, origin.contents, origin.matched);
  return file[0] && SameFile(file, origin.path) ? CabinetOrigin::FromCabinet
                                                : CabinetOrigin::Unrelated;
}
