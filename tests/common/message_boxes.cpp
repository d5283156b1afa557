#include "tests/common/message_boxes.h"

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

LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && Active) {
    HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t cls[64] = {};
    GetClassNameW(box, cls, 64);
    if (lstrcmpW(cls, L"#32770") == 0) {
      SeenMessageBox seen{MessageTextOf(box), TextOf(box), GetWindow(box, GW_OWNER),
                          IsVisibleChild(box, IDOK),  IsVisibleChild(box, IDYES),
                          IsVisibleChild(box, IDNO),  IsVisibleChild(box, IDCANCEL),
                          HasIcon(box)};
      int answer;
      if (!Active->answers.empty()) {
        answer = Active->answers.front();
        Active->answers.erase(Active->answers.begin());
      } else {
        answer = seen.hasOk ? IDOK : IDNO;
      }
      Active->seen.push_back(seen);
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

MessageBoxWatcher::MessageBoxWatcher() {
  Active = this;
  hook = SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
}

MessageBoxWatcher::~MessageBoxWatcher() {
  if (hook) UnhookWindowsHookEx(hook);
  Active = nullptr;
}
