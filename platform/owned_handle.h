// The first spelling of the program's owners, kept while code that uses it is written on other
// branches; new code takes the owners of platform/unique.h, and these go once it is converted.
// Each releases through the same traits as its counterpart there.
#pragma once
#include <windows.h>

#include "platform/unique.h"

// A kernel handle (process, thread, file): closed unless null or INVALID_HANDLE_VALUE.
// UniqueKernelHandle (null is none) or UniqueCreateFileHandle replace it.
struct OwnedHandle {
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE h) : handle(h) {}
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { Reset(); }
  void Reset(HANDLE h = nullptr) {
    if (Valid()) unique_traits::KernelHandle::Release(handle);
    handle = h;
  }
  bool Valid() const { return handle && handle != INVALID_HANDLE_VALUE; }
  HANDLE handle = nullptr;
};

// A search of FindFirstFileW; UniqueFind replaces it.
struct OwnedFind {
  explicit OwnedFind(HANDLE h) : handle(h) {}
  OwnedFind(const OwnedFind&) = delete;
  OwnedFind& operator=(const OwnedFind&) = delete;
  ~OwnedFind() {
    if (Valid()) unique_traits::Find::Release(handle);
  }
  bool Valid() const { return handle != INVALID_HANDLE_VALUE; }
  HANDLE handle;
};

// A library loaded for a look at it; UniqueLibrary replaces it.
struct OwnedLibrary {
  explicit OwnedLibrary(HMODULE m) : module(m) {}
  OwnedLibrary(const OwnedLibrary&) = delete;
  OwnedLibrary& operator=(const OwnedLibrary&) = delete;
  ~OwnedLibrary() {
    if (module) unique_traits::Library::Release(module);
  }
  HMODULE module;
};

// A block of the process heap, for buffers too large for a worker thread's stack and too large
// to lie in the image as static data. Null when the heap had no room. HeapAllocate<T> replaces it.
struct OwnedHeapBlock {
  explicit OwnedHeapBlock(SIZE_T size) : data(HeapAlloc(GetProcessHeap(), 0, size)) {}
  OwnedHeapBlock(const OwnedHeapBlock&) = delete;
  OwnedHeapBlock& operator=(const OwnedHeapBlock&) = delete;
  ~OwnedHeapBlock() {
    if (data) unique_traits::HeapMemory<void>::Release(data);
  }
  void* data;
};
