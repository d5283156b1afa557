// StatusText: the running report of a cabinet drop. It grows as needed, so a report of
// thousands of unpacked files is kept whole; it reaches the screen only through StatusBox.
#pragma once
#include <cstddef>

// Always a terminated text; initially L"拖入文件路径:".
extern const wchar_t* StatusText;

extern const wchar_t StatusTextInitial[];

size_t StatusTextLength();
// Appends text at the end. False (and StatusText unchanged) only when memory runs out.
bool StatusTextAppend(const wchar_t* text);
// Empties StatusText and writes text into it.
bool StatusTextReset(const wchar_t* text);
