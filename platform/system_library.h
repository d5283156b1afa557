// System DLLs that are not among the system's known DLLs, loaded at run time from the system
// directory only: an import of such a DLL would be looked for in the program's own folder
// first, where anyone who can write there could plant one.
#pragma once
#include <windows.h>

// Loads the system directory's name (e.g. L"version.dll") with the system directory as the
// only place searched for it and for what it imports in turn. The caller owns the reference
// (a UniqueLibrary); null when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

// One system DLL, loaded on first use and kept for the life of the process. Meant as a
// function-local static: SystemLibrary& Version() { static SystemLibrary v(L"version.dll"); ... }
// Safe to use from several threads at once.
class SystemLibrary {
 public:
  // constexpr: a function-local static of it is initialised by the compiler, without the
  // runtime's thread-safe initialisation (and the exception support that brings in).
  constexpr explicit SystemLibrary(const wchar_t* name) : name_(name) {}
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  // The loaded module, or null when it cannot be loaded (tried again on the next call).
  HMODULE Module();

  // The export of the given name or ordinal, cast to Function; null when the library or the
  // export is missing.
  template <typename Function>
  Function Find(const char* exportName) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(FindExport(exportName)));
  }
  template <typename Function>
  Function Find(WORD ordinal) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(FindExport(MAKEINTRESOURCEA(ordinal))));
  }

 private:
  FARPROC FindExport(const char* nameOrOrdinal);

  const wchar_t* name_;
  void* volatile module_ = nullptr;
};
