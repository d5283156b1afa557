// Probe of the platform's multi-line EDIT control: the cost of one EM_REPLACESEL append at
// the end of the text, for the styles and states the status box can be in. Tells which
// property of the box makes the report of a large cabinet slow.
#include <windows.h>

#include <cstdio>

#include "bench/benches.h"
#include "bench/host_window.h"
#include "bench/timing.h"
#include "window/globals.h"

namespace {

constexpr char Section[] = "editprobe";
constexpr wchar_t Line[] = L"C:/VornActiveX/1765090000/f0000.txt\r\n";

double AppendCost(HWND box, int lines) {
  SetWindowTextW(box, L"");
  SendMessageW(box, EM_SETLIMITTEXT, 0, 0);
  double t0 = NowMs();
  for (int i = 0; i < lines; ++i) {
    int end = GetWindowTextLengthW(box);
    SendMessageW(box, EM_SETSEL, end, end);
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Line));
  }
  return (NowMs() - t0) / lines;
}

// The scroll bar alone: SetScrollInfo as the edit control calls it after a change.
void ProbeScrollBar(HWND window, int lines) {
  HWND box = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VSCROLL | ES_MULTILINE, 176, 220,
                             370, 200, window, nullptr, GetModuleHandleW(nullptr), nullptr);
  ShowWindow(box, SW_SHOW);
  PumpPending();
  for (BOOL redraw : {TRUE, FALSE}) {
    double t0 = NowMs();
    for (int i = 0; i < lines; ++i) {
      SCROLLINFO info = {sizeof info, SIF_PAGE | SIF_POS | SIF_RANGE | SIF_DISABLENOSCROLL,
                         0, 20 + i, 12, static_cast<int>(i), 0};
      SetScrollInfo(box, SB_VERT, &info, redraw);
    }
    Note(Section, "SetScrollInfo, redraw %-5s %.3f ms a call", redraw ? "TRUE" : "FALSE",
         (NowMs() - t0) / lines);
  }
  DestroyWindow(box);
}

// The list of the uninstall view: LB_ADDSTRING as the query fills it.
void ProbeList(HWND window, int lines) {
  struct ListVariant {
    const char* name;
    int show;
    bool noRedraw;
  } lists[] = {{"list as ControlList (visible)", SW_SHOW, false},
               {"list, WM_SETREDRAW FALSE", SW_SHOW, true},
               {"list hidden", SW_HIDE, false}};
  for (const ListVariant& v : lists) {
    HWND list = CreateWindowExW(0, L"LISTBOX", L"",
                                WS_CHILD | WS_BORDER | WS_VSCROLL | LBS_NOTIFY, 40, 220, 380,
                                200, window, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(list, LB_SETITEMHEIGHT, 0, 30);
    ShowWindow(list, v.show);
    PumpPending();
    double t0 = NowMs();
    if (v.noRedraw) SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (int i = 0; i < lines; ++i)
      SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"VORN.BenchCtl000"));
    double added = NowMs();
    for (int i = 0; i < lines; ++i) SendMessageW(list, LB_DELETESTRING, 0, 0);
    if (v.noRedraw) {
      SendMessageW(list, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(list, nullptr, TRUE);
    }
    double deleted = NowMs();
    Note(Section, "%-30s LB_ADDSTRING %.3f ms, LB_DELETESTRING %.3f ms a call", v.name,
         (added - t0) / lines, (deleted - added) / lines);
    DestroyWindow(list);
    PumpPending();
  }
}

}  // namespace

int RunEditProbe(int lines) {
  HWND window = CreateHostWindow(true);
  struct Variant {
    const char* name;
    DWORD style;
    int show;
    bool noRedraw;
    bool focus;
  } variants[] = {
      {"as StatusBox (visible)", WS_CHILD | WS_VSCROLL | ES_MULTILINE, SW_SHOW, false, false},
      {"as StatusBox, focused", WS_CHILD | WS_VSCROLL | ES_MULTILINE, SW_SHOW, false, true},
      {"+ ES_AUTOVSCROLL", WS_CHILD | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL, SW_SHOW, false,
       false},
      {"without WS_VSCROLL", WS_CHILD | ES_MULTILINE, SW_SHOW, false, false},
      {"visible, WM_SETREDRAW FALSE", WS_CHILD | WS_VSCROLL | ES_MULTILINE, SW_SHOW, true, false},
      {"hidden", WS_CHILD | WS_VSCROLL | ES_MULTILINE, SW_HIDE, false, false},
  };
  ShowWindow(StatusBox, SW_HIDE);
  for (const Variant& v : variants) {
    HWND box = CreateWindowExW(0, L"EDIT", L"", v.style, 176, 220, 370, 200, window, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    ShowWindow(box, v.show);
    if (v.focus) SetFocus(box);
    PumpPending();
    if (v.noRedraw) SendMessageW(box, WM_SETREDRAW, FALSE, 0);
    double cost = AppendCost(box, lines);
    Note(Section, "%-28s %.3f ms a line (%d lines appended)", v.name, cost, lines);
    DestroyWindow(box);
    PumpPending();
  }
  ProbeScrollBar(window, lines);
  ProbeList(window, lines);
  return 0;
}
