#include "window/status_text.h"

#include <cstdlib>
#include <cstring>

#include "platform/text.h"

const wchar_t StatusTextInitial[] = L"拖入文件路径:";

namespace {
wchar_t* Buffer = nullptr;  // heap storage once the first write happens
size_t Capacity = 0;        // in characters, terminator included
size_t Length = 0;

bool Reserve(size_t needed) {
  if (needed <= Capacity) return true;
  size_t grown = Capacity ? Capacity : 1024;
  while (grown < needed) {
    if (grown > (static_cast<size_t>(-1) / sizeof(wchar_t)) / 2) return false;
    grown *= 2;
  }
  auto* bigger = static_cast<wchar_t*>(realloc(Buffer, grown * sizeof(wchar_t)));
  if (!bigger) return false;
  if (!Buffer) {
    memcpy(bigger, StatusTextInitial, sizeof StatusTextInitial);
    Length = TextLength(StatusTextInitial);
  }
  Buffer = bigger;
  Capacity = grown;
  StatusText = Buffer;
  return true;
}
}  // namespace

const wchar_t* StatusText = StatusTextInitial;

size_t StatusTextLength() { return Buffer ? Length : TextLength(StatusTextInitial); }

bool StatusTextAppend(const wchar_t* text) {
  size_t add = TextLength(text);
  size_t base = StatusTextLength();
  if (!Reserve(base + add + 1)) return false;
  memcpy(Buffer + Length, text, (add + 1) * sizeof(wchar_t));
  Length += add;
  return true;
}

bool StatusTextReset(const wchar_t* text) {
  size_t len = TextLength(text);
  if (!Reserve(len + 1)) return false;
  memcpy(Buffer, text, (len + 1) * sizeof(wchar_t));
  Length = len;
  return true;
}
