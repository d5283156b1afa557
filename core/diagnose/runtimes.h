// The libraries of Microsoft's runtimes that controls commonly import, and which package
// supplies each: what an administrator installs when one is missing.
#pragma once
#include <windows.h>

#include <cstddef>

struct KnownRuntime {
  const char* name;     // lower case, with ".dll"
  const wchar_t* year;  // "2013", "2015-2022"; null: it ships with Windows
  bool sideBySide;      // installed into WinSxS, found through the control's manifest
};

// The runtime a library name (any letter case) belongs to, or null.
const KnownRuntime* FindKnownRuntime(const char* library);

// "x86", "x64" or "ARM64" for a Machine field; null for any other.
const wchar_t* ProcessorText(WORD machine);

constexpr size_t RuntimeHintCapacity = 64;

// The window's hint behind a missing library: "（请安装 Visual C++ 2013 运行库 x86）"; empty
// for a library of no known redistributable (or one that ships with Windows).
void RuntimeHint(const char* library, WORD machine, wchar_t (&hint)[RuntimeHintCapacity]);
