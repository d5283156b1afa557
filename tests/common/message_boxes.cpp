#include "tests/common/message_boxes.h"

#include <gtest/gtest.h>

namespace {
MessageBoxWatcher* Active = nullptr;

std::wstring TextOf(HWND window) {
  wchar_t buffer[2048] = {};
  GetWindowTextW(window, buffer, 2048);
  return buffer;
}

// The message text is the static control with the identifier 0xFFFF.
std::wstring MessageTextOf(HWND box) {
  HWND text = GetDlgItem(box, 0xFFFF);
  return text ? TextOf(text) : std::wstring();
}

// The box may not be shown yet when it is activated, so look at the child's own style.
bool IsVisibleChild(HWND box, int id) {
  HWND child = GetDlgItem(box, id);
  return child && (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE);
}

// The icon lives in the static control stc1; a box without an icon leaves it empty.
bool HasIcon(HWND box) {
  HWND icon = GetDlgItem(box, 0x0440);
  return icon && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
}

bool IsMessageBox(HWND window) {
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  return lstrcmpW(cls, L"#32770") == 0;
}

SeenMessageBox Describe(HWND box) {
  return {MessageTextOf(box),         TextOf(box),
          GetWindow(box, GW_OWNER),   IsVisibleChild(box, IDOK),
          IsVisibleChild(box, IDYES), IsVisibleChild(box, IDNO),
          IsVisibleChild(box, IDCANCEL), HasIcon(box)};
}

void Press(HWND box, int button) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}

LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
  HWND box = reinterpret_cast<HWND>(wParam);
  if (code == HCBT_ACTIVATE && Active && IsMessageBox(box)) {
    SeenMessageBox seen = Describe(box);
    int answer;
    if (!Active->answers.empty()) {
      answer = Active->answers.front();
      Active->answers.erase(Active->answers.begin());
    } else {
      answer = seen.hasOk ? IDOK : IDNO;
    }
    Active->seen.push_back(seen);
    Press(box, answer);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK OnUnexpectedCbt(int code, WPARAM wParam, LPARAM lParam) {
  HWND box = reinterpret_cast<HWND>(wParam);
  if (code == HCBT_ACTIVATE && !Active && IsMessageBox(box)) {
    SeenMessageBox seen = Describe(box);
    ADD_FAILURE() << "a message box that no case expects: caption \"" << seen.caption
                  << "\", text \"" << seen.text << "\"";
    Press(box, seen.hasOk ? IDOK : seen.hasCancel ? IDCANCEL : IDNO);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

void GuardAgainstUnexpectedMessageBoxes() {
  SetWindowsHookExW(WH_CBT, OnUnexpectedCbt, nullptr, GetCurrentThreadId());
}

MessageBoxWatcher::MessageBoxWatcher() {
  Active = this;
  hook = SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
}

MessageBoxWatcher::~MessageBoxWatcher() {
  if (hook) UnhookWindowsHookEx(hook);
  Active = nullptr;
}
