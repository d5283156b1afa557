#include "platform/system_library.h"

#include "platform/system_path.h"
#include "platform/unique.h"

HMODULE LoadSystemLibrary(const wchar_t* name) {
  if (HasDllSearchFlags()) return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Windows 7 without KB2533623: the full path; the altered search puts the library's own
  // folder, the system directory, first for its imports.
  wchar_t path[MAX_PATH];
  if (!SystemPath(name, path)) return nullptr;
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE SystemLibrary::Module() {
  void* loaded = InterlockedCompareExchangePointer(&module_, nullptr, nullptr);
  if (loaded) return static_cast<HMODULE>(loaded);
  UniqueLibrary fresh(LoadSystemLibrary(name_));
  if (!fresh) return nullptr;
  void* first = InterlockedCompareExchangePointer(&module_, fresh.get(), nullptr);
  // Another thread loaded it meanwhile: the same module, so this reference is dropped.
  if (first) return static_cast<HMODULE>(first);
  return fresh.release();  // kept for the life of the process
}

FARPROC SystemLibrary::FindExport(const char* nameOrOrdinal) {
  HMODULE module = Module();
  return module ? GetProcAddress(module, nameOrOrdinal) : nullptr;
}
