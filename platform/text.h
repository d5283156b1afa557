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

// True when text ends in suffix, compared code unit by code unit (case-sensitive).
inline bool EndsWith(const wchar_t* text, const wchar_t* suffix) {
  size_t n = TextLength(text), k = TextLength(suffix);
  return n >= k && wmemcmp(text + n - k, suffix, k) == 0;
}
