// Owners that release what the system gave the program, on every path out of a function.
// Each owner's type carries its "no handle" value and its release (a traits type, as WIL's
// unique_any), so a handle can only be closed the way its kind is closed. Header-only and
// exception-free.
//
//   UniqueKernelHandle file(CreateEventW(...));   // null means none
//   if (!file) return false;
//   UniqueKey key;
//   RegOpenKeyExW(root, path, 0, KEY_READ, key.put());   // put() releases what was held first
//   Use(key.get());
//
// get() lends the handle; put() releases the held one and gives its address for an
// out-parameter; release() hands the handle over to the caller; reset(h) releases and takes h;
// valid() and explicit operator bool tell whether a handle is held. Owners move, never copy.
// put() hands the out-parameter over holding "none"; the registry functions leave it null when
// they fail. A function that may leave something else there on failure is followed by
// release() on that path (nothing was opened, so nothing is closed).
#pragma once
#include <windows.h>

template <typename Traits>
class Unique {
 public:
  using Type = typename Traits::Type;

  Unique() = default;
  explicit Unique(Type value) : value_(value) {}
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  Unique(Unique&& other) noexcept : value_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~Unique() { reset(); }

  Type get() const { return value_; }
  Type* put() {
    reset();
    return &value_;
  }
  Type release() {
    Type value = value_;
    value_ = Traits::None();
    return value;
  }
  void reset(Type value = Traits::None()) {
    Type old = value_;
    value_ = value;
    if (old != Traits::None()) Traits::Release(old);
  }
  bool valid() const { return value_ != Traits::None(); }
  explicit operator bool() const { return valid(); }

 private:
  Type value_ = Traits::None();
};

namespace unique_traits {

// Processes, threads, events, mutexes, tokens, pipes: their functions return null on failure.
struct KernelHandle {
  using Type = HANDLE;
  static Type None() { return nullptr; }
  static void Release(Type h) { CloseHandle(h); }
};

// What CreateFileW returns: INVALID_HANDLE_VALUE on failure (null is never returned).
struct CreateFileHandle {
  using Type = HANDLE;
  static Type None() { return INVALID_HANDLE_VALUE; }
  static void Release(Type h) { CloseHandle(h); }
};

// A key opened or created by the program (never a predefined root such as HKEY_CLASSES_ROOT).
struct Key {
  using Type = HKEY;
  static Type None() { return nullptr; }
  static void Release(Type h) { RegCloseKey(h); }
};

// A search of FindFirstFileW / FindFirstFileExW.
struct Find {
  using Type = HANDLE;
  static Type None() { return INVALID_HANDLE_VALUE; }
  static void Release(Type h) { FindClose(h); }
};

struct Library {
  using Type = HMODULE;
  static Type None() { return nullptr; }
  static void Release(Type h) { FreeLibrary(h); }
};

template <typename T>
struct HeapMemory {
  using Type = T*;
  static Type None() { return nullptr; }
  static void Release(Type p) { HeapFree(GetProcessHeap(), 0, const_cast<void*>(static_cast<const void*>(p))); }
};

// What the system allocated with LocalAlloc for the caller (security descriptors from SDDL,
// CommandLineToArgvW's list, FormatMessageW's text).
template <typename T>
struct LocalMemory {
  using Type = T;
  static Type None() { return nullptr; }
  static void Release(Type p) { LocalFree(reinterpret_cast<HLOCAL>(p)); }
};

template <typename T>
struct GdiObject {
  using Type = T;
  static Type None() { return nullptr; }
  static void Release(Type h) { DeleteObject(h); }
};

// A device context of CreateCompatibleDC (not one of GetDC: see WindowDc).
struct MemoryDc {
  using Type = HDC;
  static Type None() { return nullptr; }
  static void Release(Type h) { DeleteDC(h); }
};

}  // namespace unique_traits

// null is "none": processes, threads, events, mutexes, tokens.
using UniqueKernelHandle = Unique<unique_traits::KernelHandle>;
// INVALID_HANDLE_VALUE is "none": only for what CreateFileW returns.
using UniqueCreateFileHandle = Unique<unique_traits::CreateFileHandle>;
using UniqueKey = Unique<unique_traits::Key>;
using UniqueFind = Unique<unique_traits::Find>;
using UniqueLibrary = Unique<unique_traits::Library>;
// A block of the process heap holding T (or an array of T); see HeapAllocate.
template <typename T>
using UniqueHeap = Unique<unique_traits::HeapMemory<T>>;
// LocalAlloc memory, by its pointer type: UniqueLocal<PSECURITY_DESCRIPTOR>, UniqueLocal<LPWSTR*>.
template <typename T>
using UniqueLocal = Unique<unique_traits::LocalMemory<T>>;
using UniqueGdiObject = Unique<unique_traits::GdiObject<HGDIOBJ>>;
using UniqueFont = Unique<unique_traits::GdiObject<HFONT>>;
using UniqueBrush = Unique<unique_traits::GdiObject<HBRUSH>>;
using UniqueRegion = Unique<unique_traits::GdiObject<HRGN>>;
using UniqueBitmap = Unique<unique_traits::GdiObject<HBITMAP>>;
using UniqueMemoryDc = Unique<unique_traits::MemoryDc>;

// count elements of T on the process heap, zeroed when zero is true; the owner holds null when
// the heap has no room or count * sizeof(T) does not fit a SIZE_T.
template <typename T>
inline UniqueHeap<T> HeapAllocate(SIZE_T count = 1, bool zero = true) {
  if (count > static_cast<SIZE_T>(-1) / sizeof(T)) return UniqueHeap<T>();
  return UniqueHeap<T>(static_cast<T*>(
      HeapAlloc(GetProcessHeap(), zero ? HEAP_ZERO_MEMORY : 0, count * sizeof(T))));
}

// A device context of GetDC, released to its window with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  HDC get() const { return dc_; }
  bool valid() const { return dc_ != nullptr; }
  explicit operator bool() const { return valid(); }

 private:
  HWND window_;
  HDC dc_;
};
