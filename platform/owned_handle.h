// Owners that close what the system opened for the program, on every path out of a function.
// Header-only and exception-free; WIL would serve as well but is not part of this toolchain,
// and these two cover every handle the program keeps.
#pragma once
#include <windows.h>

// A kernel handle (process, thread, file): closed unless null or INVALID_HANDLE_VALUE.
struct OwnedHandle {
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE h) : handle(h) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Reset(); }
  void Reset(HANDLE h = nullptr) {
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = h;
  }
  bool Valid() const { return handle && handle != INVALID_HANDLE_VALUE; }
  HANDLE handle = nullptr;
};

// A search of FindFirstFileW.
struct OwnedFind {
  explicit OwnedFind(HANDLE h) : handle(h) {}
  OwnedFind(const OwnedFind&) = delete;
  OwnedFind& operator=(const OwnedFind&) = delete;
  ~OwnedFind() {
    if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
  }
  bool Valid() const { return handle != INVALID_HANDLE_VALUE; }
  HANDLE handle;
};

// A library loaded for a look at it.
struct OwnedLibrary {
  explicit OwnedLibrary(HMODULE m) : module(m) {}
  OwnedLibrary(const OwnedLibrary&) = delete;
  OwnedLibrary& operator=(const OwnedLibrary&) = delete;
  ~OwnedLibrary() {
    if (module) FreeLibrary(module);
  }
  HMODULE module;
};

// A block of the process heap, for buffers too large for a worker thread's stack and too large
// to lie in the image as static data. Null when the heap had no room.
struct OwnedHeapBlock {
  explicit OwnedHeapBlock(SIZE_T size) : data(HeapAlloc(GetProcessHeap(), 0, size)) {}
  OwnedHeapBlock(const OwnedHeapBlock&) = delete;
  OwnedHeapBlock& operator=(const OwnedHeapBlock&) = delete;
  ~OwnedHeapBlock() {
    if (data) HeapFree(GetProcessHeap(), 0, data);
  }
  void* data;
};
