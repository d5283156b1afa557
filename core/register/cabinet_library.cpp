#include "core/register/cabinet_library.h"

#include "platform/system_library.h"

const CabinetFunctions* CabinetLibrary() {
  static SystemLibrary cabinet(L"cabinet.dll");
  static CabinetFunctions functions = {};
  static volatile LONG ready = 0;
  if (InterlockedCompareExchange(&ready, 0, 0)) return &functions;
  CabinetFunctions found = {
      cabinet.Find<decltype(&FDICreate)>(WORD{20}),
      cabinet.Find<decltype(&FDIIsCabinet)>(WORD{21}),
      cabinet.Find<decltype(&FDICopy)>(WORD{22}),
      cabinet.Find<decltype(&FDIDestroy)>(WORD{23}),
  };
  if (!found.create || !found.isCabinet || !found.copy || !found.destroy) return nullptr;
  // Two threads that get here at once write the same addresses.
  functions = found;
  InterlockedExchange(&ready, 1);
  return &functions;
}
