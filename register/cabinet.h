#pragma once
#include <cstddef>

// The fixed directory under which every cabinet is unpacked.
extern const char UnpackRoot[];        // "C:/VornActiveX/"
extern char UnpackDirAnsi[];           // the current unpack directory, ANSI
extern wchar_t UnpackDir[];            // the same, wide; room for "*.*" behind it

// Unpacks the cabinet at widePath (ansiPath: the same path in the ANSI code page, in a
// writable buffer of AnsiPathCapacity bytes, which is cut to its directory part).
// 1: unpacked (maybe partly); 0: failed, already reported in a message box.
constexpr size_t AnsiPathCapacity = 2000;
int ExtractCabinet(const wchar_t* widePath, char* ansiPath);

// Creates UnpackRoot and the directory for the current second; returns its ANSI path.
const char* CreateUnpackDirectory();
