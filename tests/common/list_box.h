#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Every entry of a list box, in list order.
std::vector<std::wstring> ListBoxEntries(HWND list);
