#include "core/register/cabinet_library.h"

#include "platform/system_path.h"

namespace {

CabinetFunctions Functions = {};
bool Loaded = false;

HMODULE LoadFromSystemDirectory() {
  // Only the system directory, for the library and for what it imports in turn.
  if (HasDllSearchFlags()) return LoadLibraryExW(L"cabinet.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Windows 7 without KB2533623: the full path; the altered search puts the library's own
  // folder, the system directory, first for its imports.
  wchar_t path[MAX_PATH];
  if (!SystemPath(L"cabinet.dll", path)) return nullptr;
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <typename Function>
bool Lookup(HMODULE module, WORD ordinal, Function* out) {
  *out = reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
  return *out != nullptr;
}

}  // namespace

const CabinetFunctions* CabinetLibrary() {
  if (Loaded) return &Functions;
  HMODULE module = LoadFromSystemDirectory();
  if (!module) return nullptr;
  CabinetFunctions found = {};
  if (!Lookup(module, 20, &found.create) || !Lookup(module, 21, &found.isCabinet) ||
      !Lookup(module, 22, &found.copy) || !Lookup(module, 23, &found.destroy)) {
    FreeLibrary(module);
    return nullptr;
  }
  Functions = found;
  Loaded = true;
  return &Functions;
}
