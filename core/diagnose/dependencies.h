// The libraries a control needs, looked for as the loader looks for them for that control's
// processor: API sets, the known DLLs, the control's folder, the system directory of that
// bitness, the Windows directory and the machine's PATH. Libraries found outside the system's
// folders are followed in turn, to a bounded depth and count. Nothing is loaded.
#pragma once
#include <windows.h>

#include "core/diagnose/pe_imports.h"
#include "core/diagnose/runtimes.h"

enum class Verdict { Ok, Problem, Unknown };

constexpr int DependencyDepthBound = 8;   // levels of libraries below the control
constexpr int DependencyCountBound = 64;  // libraries whose tables are read, the control included
constexpr int MissingBound = 8;           // missing libraries named

struct MissingLibrary {
  char name[ImportNameCapacity];
  char importer[ImportNameCapacity];  // the file name of the library (or control) importing it
  bool delayed;                       // delay-loaded: missed only when first called
  bool sideBySide;                    // a side-by-side runtime not decided either way
};

struct DependencyReport {
  Verdict verdict;
  WORD machine;        // the control's processor, 0 when its headers could not be read
  ImportRead read;     // the control's own tables
  int libraries;       // distinct libraries looked for
  int missingCount;    // all of them; the first MissingBound are named
  MissingLibrary missing[MissingBound];
  // A library found whose tables could not be read (a damaged image), or empty.
  char unreadable[ImportNameCapacity];
  bool bounded;        // the depth or count bound stopped the walk
};

// Resolves the control's dependencies. Problem: a library it imports directly (or through a
// library it imports) is found nowhere. Unknown: a table could not be read, or only
// delay-loaded or side-by-side libraries are missing.
void ResolveDependencies(const wchar_t* control, DependencyReport& report);

// For the window's report on a control that did not load: the first library imported (not
// delay-loaded) that the loader finds nowhere, and for a known runtime the hint
// "（请安装 Visual C++ 2013 运行库 x86）" (else empty). False when none is missing or the
// control's tables cannot be read.
bool FindMissingLibrary(const wchar_t* control, wchar_t (&library)[ImportNameCapacity],
                        wchar_t (&hint)[RuntimeHintCapacity]);
