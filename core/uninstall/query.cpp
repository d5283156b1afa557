// The maker's controls that are registered on this machine, as the removal finds them.
#include "core/uninstall/query.h"

#include <windows.h>

#include <cstring>

#include "core/uninstall/classes_view.h"

namespace {
constexpr DWORD KeyNameCapacity = 256;
constexpr int AnsiNameCapacity = 255;
constexpr size_t PrefixLength = 5;
// Compared byte for byte in the ANSI code page, so the letter case counts.
constexpr const char* VendorPrefixes[] = {"VORN.", "PDF.V", "Vorn."};

// Only the first five bytes of the ANSI name take part in the comparison. A long name of
// double-byte characters does not fit a 255-byte buffer whole, so convert no more than a few
// leading characters: each gives at least one byte, and a surrogate pair is kept together.
int LeadingCodeUnits(const wchar_t* name) {
  constexpr int Enough = 2 * PrefixLength;
  int n = 0;
  while (n < Enough && name[n]) ++n;
  if (n > 0 && name[n] != L'\0' && IS_HIGH_SURROGATE(name[n - 1])) ++n;
  return n;
}

}  // namespace

bool HasVendorPrefix(const wchar_t* name) {
  char ansi[AnsiNameCapacity];
  memset(ansi, 0, sizeof ansi);
  WideCharToMultiByte(CP_ACP, 0, name, LeadingCodeUnits(name), ansi, AnsiNameCapacity, nullptr,
                      nullptr);
  ansi[PrefixLength] = '\0';
  for (const char* prefix : VendorPrefixes)
    if (strcmp(ansi, prefix) == 0) return true;
  return false;
}

namespace {
// Calls found for each of the maker's ProgIDs directly below the view's classes; a name that
// skip already holds (the other view, where the two share the key) is not told twice.
int ForEachIn(const ClassesView& classes, const ClassesView* skip,
              void (*found)(const wchar_t* progId, void* context), void* context) {
  if (!classes.key) return 0;
  int count = 0;
  wchar_t name[KeyNameCapacity];
  for (DWORD index = 0;; ++index) {
    DWORD length = KeyNameCapacity;
    LONG result =
        RegEnumKeyExW(classes.key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    // A name longer than a key name may be (Wine allows 256 characters) is no ProgID; it is
    // passed over, so that it cannot hide the controls enumerated after it.
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) break;
    if (!HasVendorPrefix(name)) continue;
    if (skip && KeyExistsIn(*skip, name)) continue;
    found(name, context);
    ++count;
  }
  return count;
}
}  // namespace

int ForEachInstalledControlInView(bool wow64,
                                  void (*found)(const wchar_t* progId, void* context),
                                  void* context) {
  // The list shows what the removal acts on: the machine's classes in the same views.
  if (!wow64) return ForEachIn(ClassesView(RegistryView::Own), nullptr, found, context);
  ClassesView bits64(RegistryView::Bits64), bits32(RegistryView::Bits32);
  return ForEachIn(bits64, nullptr, found, context) + ForEachIn(bits32, &bits64, found, context);
}

int ForEachInstalledControl(void (*found)(const wchar_t* progId, void* context), void* context) {
  return ForEachInstalledControlInView(DetectWow64(), found, context);
}
