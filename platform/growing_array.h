// An array on the process heap that grows by doubling up to a bound, for lists whose length
// only the walk tells. No exceptions: an append that finds no room, or would pass the bound,
// returns false and leaves the array as it was.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "platform/unique.h"

// T is moved as bytes when the array grows: plain data only.
template <typename T>
class GrowingArray {
  static_assert(std::is_trivially_copyable<T>::value, "GrowingArray holds plain data only");

 public:
  // bound: the most elements it may ever hold; first: the capacity of its first block.
  explicit GrowingArray(size_t bound, size_t first = 16) : bound_(bound), first_(first ? first : 1) {}
  GrowingArray(const GrowingArray&) = delete;
  GrowingArray& operator=(const GrowingArray&) = delete;

  // Room for count more elements; false (nothing changed) when the heap has none or the
  // capacity would pass the bound.
  bool Reserve(size_t count) {
    if (count <= capacity_ - size_) return true;
    if (count > bound_ - size_) return false;
    size_t capacity = capacity_ ? capacity_ : first_;
    while (capacity < size_ + count) capacity *= 2;
    if (capacity > bound_) return false;
    T* old = items_.get();
    void* grown = old ? HeapReAlloc(GetProcessHeap(), 0, old, capacity * sizeof(T))
                      : HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(T));
    if (!grown) return false;  // the old block is still there, and still held
    items_.release();          // moved into grown (HeapReAlloc freed it)
    items_.reset(static_cast<T*>(grown));
    capacity_ = capacity;
    return true;
  }
  bool Append(const T& item) { return Append(&item, 1); }
  bool Append(const T* items, size_t count) {
    if (!Reserve(count)) return false;
    if (count) memcpy(items_.get() + size_, items, count * sizeof(T));
    size_ += count;
    return true;
  }
  // Empties the array; its block stays for the next appends.
  void Clear() { size_ = 0; }

  T* Data() { return items_.get(); }
  const T* Data() const { return items_.get(); }
  size_t Size() const { return size_; }
  T& operator[](size_t i) { return items_.get()[i]; }
  const T& operator[](size_t i) const { return items_.get()[i]; }

 private:
  UniqueHeap<T> items_;
  size_t size_ = 0;
  size_t capacity_ = 0;
  size_t bound_;
  size_t first_;
};
