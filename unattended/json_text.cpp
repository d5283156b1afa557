#include "unattended/json_text.h"

#include <windows.h>

namespace {

void Put(wchar_t* out, size_t cap, size_t& used, const wchar_t* text) {
  for (size_t i = 0; text[i] && used + 1 < cap; ++i) out[used++] = text[i];
  out[used] = 0;
}

}  // namespace

void PutJsonString(wchar_t* out, size_t cap, size_t& used, const wchar_t* text) {
  Put(out, cap, used, L"\"");
  for (size_t i = 0; text[i]; ++i) {
    wchar_t c = text[i];
    wchar_t escaped[8] = {};
    switch (c) {
      case L'"': Put(out, cap, used, L"\\\""); continue;
      case L'\\': Put(out, cap, used, L"\\\\"); continue;
      case L'\n': Put(out, cap, used, L"\\n"); continue;
      case L'\r': Put(out, cap, used, L"\\r"); continue;
      case L'\t': Put(out, cap, used, L"\\t"); continue;
      default: break;
    }
    if (c < 0x20) {
      wsprintfW(escaped, L"\\u%04x", static_cast<unsigned>(c));
    } else {
      escaped[0] = c;
    }
    Put(out, cap, used, escaped);
  }
  Put(out, cap, used, L"\"");
}
