// The cabinet decompression interface of the system's cabinet.dll, loaded at run time from
// the system directory. An import of cabinet.dll would be resolved by the loader before the
// program runs, and cabinet.dll is not one of the system's known DLLs: the program's own
// folder (the user's Downloads folder) would be searched for it first.
#pragma once
#include <windows.h>
#include <fdi.h>

struct CabinetFunctions {
  decltype(&FDICreate) create;          // ordinal 20
  decltype(&FDIIsCabinet) isCabinet;    // ordinal 21
  decltype(&FDICopy) copy;              // ordinal 22
  decltype(&FDIDestroy) destroy;        // ordinal 23
};

// The four functions, looked up by ordinal once the library is loaded (on first use; it
// stays loaded). Null when the library or one of the functions cannot be had.
const CabinetFunctions* CabinetLibrary();
