#include "app/main_window.h"

// Placeholder until the main window lands.
int RunApplication(HINSTANCE) { return 0; }
LRESULT CALLBACK MainWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }
