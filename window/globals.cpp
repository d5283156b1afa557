#include "window/globals.h"

HWND MainWindow = nullptr;
HWND PathBox = nullptr;
HWND StatusBox = nullptr;
HWND ControlList = nullptr;
HWND QueryButton = nullptr;
HWND RemoveAllButton = nullptr;

int ViewMode = RegisterView;
