#include "unattended/log_line.h"

#include <windows.h>

#include "platform/text.h"

namespace {
const wchar_t CutMark[] = L" [...]";
// Room kept back for the mark and the line break.
constexpr size_t Reserve = sizeof CutMark / sizeof CutMark[0] - 1 + 2;
constexpr size_t ContentRoom = LogLineCapacity - 1 - Reserve;

// Adds count characters as one piece (an escape or a surrogate pair is never split), or
// marks the line cut and adds nothing more.
void AddPiece(LogLine& line, const wchar_t* piece, size_t count) {
  if (line.cut) return;
  if (line.used + count > ContentRoom) {
    line.cut = true;
    return;
  }
  for (size_t i = 0; i < count; ++i) line.text[line.used++] = piece[i];
  line.text[line.used] = 0;
}

bool IsControl(wchar_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// A backslash that the reader would take for the start of an escape: "\x" and two hex digits
// that name a control character or the backslash.
bool LooksLikeEscape(const wchar_t* at) {
  if (at[0] != L'\\' || (at[1] != L'x' && at[1] != L'X')) return false;
  int high = HexDigit(at[2]);
  int low = high < 0 ? -1 : HexDigit(at[3]);
  if (low < 0) return false;
  wchar_t value = static_cast<wchar_t>(high * 16 + low);
  return IsControl(value) || value == L'\\';
}
}  // namespace

void AddText(LogLine& line, const wchar_t* text) {
  for (size_t i = 0; text[i]; ++i) {
    bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    AddPiece(line, text + i, pair ? 2 : 1);
    if (pair) ++i;
  }
}

void AddEscaped(LogLine& line, const wchar_t* text) {
  static const wchar_t Hex[] = L"0123456789ABCDEF";
  for (size_t i = 0; text[i]; ++i) {
    wchar_t c = text[i];
    if (IsControl(c) || LooksLikeEscape(text + i)) {
      wchar_t escape[4] = {L'\\', L'x', Hex[(c >> 4) & 0xF], Hex[c & 0xF]};
      AddPiece(line, escape, 4);
    } else {
      bool pair = c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
      AddPiece(line, text + i, pair ? 2 : 1);
      if (pair) ++i;
    }
  }
}

void AddNumber(LogLine& line, unsigned long number) {
  wchar_t digits[24] = {};
  AppendNumber(digits, number);
  AddText(line, digits);
}

const wchar_t* EndLine(LogLine& line) {
  const wchar_t* tail = line.cut ? L" [...]\r\n" : L"\r\n";
  for (size_t i = 0; tail[i]; ++i) line.text[line.used++] = tail[i];
  line.text[line.used] = 0;
  return line.text;
}
