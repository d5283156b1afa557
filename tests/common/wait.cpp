#include "tests/common/wait.h"

#include <windows.h>

void PumpMessages(unsigned milliseconds) {
  DWORD end = GetTickCount() + milliseconds;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  } while (static_cast<int>(end - GetTickCount()) > 0);
}

bool WaitUntil(const std::function<bool()>& condition, unsigned boundMilliseconds) {
  DWORD end = GetTickCount() + boundMilliseconds;
  for (;;) {
    if (condition()) return true;
    if (static_cast<int>(end - GetTickCount()) <= 0) return false;
    PumpMessages(50);
  }
}
