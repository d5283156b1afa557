#include "core/register/file_kind.h"

#include <windows.h>

#include "platform/text.h"

namespace {
// The ordinal comparison that the file system uses for names, ignoring case.
bool EndsWithIgnoringCase(const wchar_t* text, const wchar_t* suffix) {
  size_t n = TextLength(text), k = TextLength(suffix);
  return n >= k && CompareStringOrdinal(text + n - k, static_cast<int>(k), suffix,
                                        static_cast<int>(k), TRUE) == CSTR_EQUAL;
}
}  // namespace

bool IsControl(const wchar_t* path) {
  return EndsWithIgnoringCase(path, L".ocx") || EndsWithIgnoringCase(path, L".dll");
}

bool IsCabinet(const wchar_t* path) { return EndsWithIgnoringCase(path, L".cab"); }
