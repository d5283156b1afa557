#include "core/diagnose/runtimes.h"

#include <iterator>

#include "platform/text.h"

namespace {

// Visual C++ .NET 2003 had no redistributable package of its own: its runtime came beside the
// programs that used it, and the name is what its users know it by.
constexpr KnownRuntime Runtimes[] = {
    {"msvcr71.dll", L".NET 2003", false},  {"msvcp71.dll", L".NET 2003", false},
    {"mfc71.dll", L".NET 2003", false},    {"mfc71u.dll", L".NET 2003", false},
    {"msvcr80.dll", L"2005", true},        {"msvcp80.dll", L"2005", true},
    {"mfc80.dll", L"2005", true},          {"mfc80u.dll", L"2005", true},
    {"msvcr90.dll", L"2008", true},        {"msvcp90.dll", L"2008", true},
    {"mfc90.dll", L"2008", true},          {"mfc90u.dll", L"2008", true},
    {"msvcr100.dll", L"2010", false},      {"msvcp100.dll", L"2010", false},
    {"mfc100.dll", L"2010", false},        {"mfc100u.dll", L"2010", false},
    {"msvcr110.dll", L"2012", false},      {"msvcp110.dll", L"2012", false},
    {"mfc110.dll", L"2012", false},        {"mfc110u.dll", L"2012", false},
    {"msvcr120.dll", L"2013", false},      {"msvcp120.dll", L"2013", false},
    {"mfc120.dll", L"2013", false},        {"mfc120u.dll", L"2013", false},
    {"vcruntime140.dll", L"2015-2022", false},   {"vcruntime140_1.dll", L"2015-2022", false},
    {"msvcp140.dll", L"2015-2022", false},       {"msvcp140_1.dll", L"2015-2022", false},
    {"msvcp140_2.dll", L"2015-2022", false},     {"mfc140.dll", L"2015-2022", false},
    {"mfc140u.dll", L"2015-2022", false},        {"concrt140.dll", L"2015-2022", false},
    {"vcomp140.dll", L"2015-2022", false},
    {"mfc42.dll", nullptr, false},         {"mfc42u.dll", nullptr, false},
    {"msvcrt.dll", nullptr, false},        {"msvcp60.dll", nullptr, false},
};

}  // namespace

const KnownRuntime* FindKnownRuntime(const char* library) {
  for (const KnownRuntime& runtime : Runtimes)
    if (lstrcmpiA(runtime.name, library) == 0) return &runtime;
  return nullptr;
}

const wchar_t* ProcessorText(WORD machine) {
  switch (machine) {
    case IMAGE_FILE_MACHINE_I386: return L"x86";
    case IMAGE_FILE_MACHINE_AMD64: return L"x64";
    case 0xAA64: return L"ARM64";  // IMAGE_FILE_MACHINE_ARM64
    default: return nullptr;
  }
}

void RuntimeHint(const char* library, WORD machine, wchar_t (&hint)[RuntimeHintCapacity]) {
  hint[0] = 0;
  const KnownRuntime* runtime = FindKnownRuntime(library);
  const wchar_t* processor = ProcessorText(machine);
  if (!runtime || !runtime->year || !processor) return;
  if (!CopyText(hint, L"（请安装 Visual C++ ") || !AppendText(hint, runtime->year) ||
      !AppendText(hint, L" 运行库 ") || !AppendText(hint, processor) || !AppendText(hint, L"）"))
    hint[0] = 0;
}
