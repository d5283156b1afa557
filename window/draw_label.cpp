#include "window/draw_label.h"

#include "window/globals.h"
#include "platform/text.h"
#include "platform/unique.h"

void DrawLabel(HDC dc, const wchar_t* text, int x, int y, int charWidth, int charHeight) {
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, TextColour);
  UniqueFont font(CreateFontW(charHeight, charWidth, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                              GB2312_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                              0x71, L"宋体"));
  // Selected out again before the owner deletes it.
  HGDIOBJ previous = SelectObject(dc, font.get());
  TextOutW(dc, x, y, text, static_cast<int>(TextLength(text)));
  SelectObject(dc, previous);
}
