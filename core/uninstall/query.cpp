// The list of the maker's controls that are registered on this machine.
#include "core/uninstall/query.h"

#include <windows.h>

#include <cstring>

#include "window/globals.h"

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

int ForEachInstalledControl(void (*found)(const wchar_t* progId, void* context), void* context) {
  int count = 0;
  wchar_t name[KeyNameCapacity];
  for (DWORD index = 0;; ++index) {
    DWORD length = KeyNameCapacity;
    LONG result = RegEnumKeyExW(HKEY_CLASSES_ROOT, index, name, &length, nullptr, nullptr,
                                nullptr, nullptr);
    // A name longer than a key name may be (Wine allows 256 characters) is no ProgID; it is
    // passed over, so that it cannot hide the controls enumerated after it.
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) break;
    if (!HasVendorPrefix(name)) continue;
    found(name, context);
    ++count;
  }
  return count;
}

namespace {
void AddToList(const wchar_t* progId, void* list) {
  SendMessageW(static_cast<HWND>(list), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(progId));
}
}  // namespace

int QueryInstalledControls() {
  HWND list = ControlList;
  // Each change of a visible list redraws its scroll bar at once (milliseconds apiece under
  // Wine); the list is drawn once, complete.
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  LRESULT entries = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < entries; ++i) SendMessageW(list, LB_DELETESTRING, 0, 0);
  int count = ForEachInstalledControl(AddToList, list);
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  return count;
}
