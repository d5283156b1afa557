#include "window/main_window_paint.h"

#include "platform/unique.h"
#include "window/draw_label.h"
#include "window/globals.h"

namespace {

constexpr int LabelCharWidth = 10;
constexpr int LabelCharHeight = 20;
constexpr COLORREF EditTextColour = RGB(0, 0, 255);

// The colour messages come for every repaint of a control, so their fonts and brushes are
// made on first use and kept (all on the one GUI thread).
UniqueFont EditFontHandle;
UniqueFont ListFontHandle;
UniqueFont ButtonFontHandle;
UniqueBrush ListBrushHandle;
UniqueBrush BodyBrushHandle;
UniqueBrush PressedBrushHandle;

HFONT ChildFont(UniqueFont& kept, int height) {
  if (!kept) {
    LOGFONTW font = {};
    font.lfHeight = height;
    font.lfCharSet = GB2312_CHARSET;
    lstrcpynW(font.lfFaceName, L"宋体", LF_FACESIZE);
    kept.reset(CreateFontIndirectW(&font));
  }
  return kept.get();
}

HBRUSH KeptBrush(UniqueBrush& kept, COLORREF colour) {
  if (!kept) kept.reset(CreateSolidBrush(colour));
  return kept.get();
}

void DrawButton(const DRAWITEMSTRUCT& item, const wchar_t* caption) {
  UniqueRegion region(CreateRoundRectRgn(item.rcItem.left + 1, item.rcItem.top + 1,
                                         item.rcItem.right, item.rcItem.bottom, 0, 0));
  FillRgn(item.hDC, region.get(), KeptBrush(BodyBrushHandle, BodyColour));
  bool pressed = (item.itemState & ODS_SELECTED) && (item.itemAction & (ODA_DRAWENTIRE | ODA_SELECT));
  if (caption && pressed) FillRgn(item.hDC, region.get(), KeptBrush(PressedBrushHandle, BarColour));
  if (!caption) return;
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, TextColour);
  RECT area = item.rcItem;
  DrawTextW(item.hDC, caption, 4, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

}  // namespace

// The children of the view are shown by SetView; a paint draws the labels only.
void PaintMainWindow(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  DrawLabel(dc, L"使用帮助:", 40, 100, LabelCharWidth, LabelCharHeight);
  if (ViewMode == RegisterView) {
    DrawLabel(dc, L"        请将后缀为.cab/.ocx/.dll文件拖入到此处窗口！", 40, 140, LabelCharWidth,
              LabelCharHeight);
    DrawLabel(dc, L"拖入文件路径:", 40, 180, LabelCharWidth, LabelCharHeight);
    DrawLabel(dc, L"文件处理信息:", 40, 220, LabelCharWidth, LabelCharHeight);
  } else {
    DrawLabel(dc, L"        点击查询，双击列表中的项即可卸载该项,点击卸", 40, 140, LabelCharWidth,
              LabelCharHeight);
    DrawLabel(dc, L"        载全部即可卸载列表中的全部.", 40, 180, LabelCharWidth,
              LabelCharHeight);
  }
  EndPaint(window, &paint);
}

void DrawMainButton(const DRAWITEMSTRUCT& item) {
  if (item.CtlType != ODT_BUTTON) return;
  const wchar_t* caption = nullptr;
  if (item.hwndItem == QueryButton) caption = L"查询安装";
  else if (item.hwndItem == RemoveAllButton) caption = L"卸载全部";
  DrawButton(item, caption);
}

LRESULT ColourEdit(HDC dc) {
  SelectObject(dc, ChildFont(EditFontHandle, 16));
  SetTextColor(dc, EditTextColour);
  return 0;
}

LRESULT ColourList(HDC dc) {
  SetBkMode(dc, TRANSPARENT);
  SelectObject(dc, ChildFont(ListFontHandle, 25));
  return reinterpret_cast<LRESULT>(KeptBrush(ListBrushHandle, RGB(255, 255, 255)));
}

LRESULT ColourButton(HDC dc) {
  SelectObject(dc, ChildFont(ButtonFontHandle, 14));
  return 0;
}
