// Which cabinet entry names may be written into the unpack directory. The destination is the
// directory followed directly by the name, so a name must not climb out of it, start at a
// root, name a drive or a ':' stream, or open a device instead of a file.
#include <cwctype>

#include "core/register/entry_name.h"

namespace {
constexpr const wchar_t* Devices[] = {L"CON", L"PRN", L"AUX", L"NUL"};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "..", and any other component of dots and blanks with two dots or more, which the file
// system may trim to "..".
bool ClimbsUp(const wchar_t* part, size_t length) {
  size_t dots = 0;
  for (size_t i = 0; i < length; ++i) {
    if (part[i] == L'.') ++dots;
    else if (part[i] != L' ') return false;
  }
  return dots >= 2;
}

bool SameLetters(const wchar_t* part, size_t length, const wchar_t* word) {
  size_t i = 0;
  for (; i < length && word[i]; ++i)
    if (towupper(part[i]) != word[i]) return false;
  return i == length && word[i] == 0;
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9 (also with the superscript digits ¹²³): the part before
// the first dot, blanks at its end ignored, is what the system compares.
bool NamesDevice(const wchar_t* part, size_t length) {
  size_t base = 0;
  while (base < length && part[base] != L'.') ++base;
  while (base > 0 && part[base - 1] == L' ') --base;
  for (const wchar_t* device : Devices)
    if (SameLetters(part, base, device)) return true;
  if (base != 4) return false;
  if (!SameLetters(part, 3, L"COM") && !SameLetters(part, 3, L"LPT")) return false;
  wchar_t digit = part[3];
  return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
         digit == L'\u00B3';
}
}  // namespace

bool IsSafeEntryName(const wchar_t* name) {
  if (name[0] == 0 || IsSeparator(name[0])) return false;
  for (const wchar_t* p = name; *p; ++p)
    if (*p == L':') return false;
  const wchar_t* part = name;
  for (;;) {
    const wchar_t* end = part;
    while (*end && !IsSeparator(*end)) ++end;
    size_t length = static_cast<size_t>(end - part);
    if (ClimbsUp(part, length) || NamesDevice(part, length)) return false;
    if (!*end) return true;
    part = end + 1;
  }
}
