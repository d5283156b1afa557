#pragma once
#include <windows.h>

// Probes the control at path by loading it, then starts "cmd.exe /c regsvr32 /s "path"",
// hidden, without waiting. True when the command was launched.
bool RegisterControlFile(const wchar_t* path, HWND window);
