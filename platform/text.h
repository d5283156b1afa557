// Bounded text helpers: every write stays inside its buffer, and a text that does not fit
// is refused whole (the buffer keeps its old content), so no caller ever acts on a cut text.
#pragma once
#include <cstddef>
#include <cwchar>
#include <cstring>

template <typename Char>
inline size_t TextLength(const Char* text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

// Appends src behind the text in dst (capacity cap, terminator included).
template <typename Char>
inline bool AppendText(Char* dst, size_t cap, const Char* src) {
  size_t used = TextLength(dst);
  size_t add = TextLength(src);
  if (used + add + 1 > cap) return false;
  memcpy(dst + used, src, (add + 1) * sizeof(Char));
  return true;
}

template <typename Char>
inline bool CopyText(Char* dst, size_t cap, const Char* src) {
  size_t add = TextLength(src);
  if (add + 1 > cap) return false;
  memcpy(dst, src, (add + 1) * sizeof(Char));
  return true;
}

template <typename Char, size_t N>
inline bool AppendText(Char (&dst)[N], const Char* src) { return AppendText(dst, N, src); }

template <typename Char, size_t N>
inline bool CopyText(Char (&dst)[N], const Char* src) { return CopyText(dst, N, src); }

// Appends the decimal digits of value (with '-' when negative).
inline bool AppendNumber(wchar_t* dst, size_t cap, long long value) {
  wchar_t digits[24];
  size_t at = sizeof digits / sizeof digits[0];
  digits[--at] = 0;
  unsigned long long rest = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                      : static_cast<unsigned long long>(value);
  do {
    digits[--at] = static_cast<wchar_t>(L'0' + rest % 10);
    rest /= 10;
  } while (rest);
  if (value < 0) digits[--at] = L'-';
  return AppendText(dst, cap, digits + at);
}

template <size_t N>
inline bool AppendNumber(wchar_t (&dst)[N], long long value) { return AppendNumber(dst, N, value); }

// True when text ends in suffix, compared code unit by code unit (case-sensitive).
inline bool EndsWith(const wchar_t* text, const wchar_t* suffix) {
  size_t n = TextLength(text), k = TextLength(suffix);
  return n >= k && wmemcmp(text + n - k, suffix, k) == 0;
}
