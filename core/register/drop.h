// What a dropped or named file must be before anything is done with it.
#pragma once
#include <cstddef>

#include "core/register/file_kind.h"

// A dropped path holds at most 999 characters; a longer one is refused, never cut.
constexpr size_t DroppedPathCapacity = 1000;

// Converts a path to the ANSI code page for the cabinet interface. False (ansi emptied) when
// it does not fit or holds a character that the code page cannot express exactly, since the
// interface would then open a different file.
bool ConvertToAnsiPath(const wchar_t* path, char* ansi, size_t cap);
