// The processor a Windows image is built for, read from its headers: what tells a control of
// the other bitness from a file that is no image at all, both of which the loader refuses with
// ERROR_BAD_EXE_FORMAT.
#pragma once
#include <windows.h>

// The Machine field of the file's PE header (IMAGE_FILE_MACHINE_I386, _AMD64, ...), or 0 when
// the file cannot be read or holds no PE header.
WORD ImageMachine(const wchar_t* path);

// This program's own, for which it registers controls.
constexpr WORD OwnMachine = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
