// Benchmark driver, run under Wine by scripts/bench. One measurement per invocation:
//   ctlwarden_bench query <keys> <runs> <tool runs>
//   ctlwarden_bench drop <cabinet> <section> <runs> <tool runs> <files in the cabinet> [analyse]
//   ctlwarden_bench register <cabinet of controls> <runs> <controls in the cabinet>
//   ctlwarden_bench editprobe <lines>
//   ctlwarden_bench remove <runs>
//   ctlwarden_bench startup <ctlwarden.exe> <bench_minwindow.exe> <runs>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "bench/benches.h"

namespace {

int Usage() {
  fprintf(stderr,
          "usage: ctlwarden_bench query <keys> <runs> <tool runs>\n"
          "       ctlwarden_bench drop <cabinet> <section> <runs> <tool runs> <files> [analyse]\n"
          "       ctlwarden_bench register <cabinet> <runs> <controls>\n"
          "       ctlwarden_bench remove <runs>\n"
          "       ctlwarden_bench startup <ctlwarden.exe> <minimal.exe> <runs>\n");
  return 2;
}

int Number(const wchar_t* text) { return static_cast<int>(wcstol(text, nullptr, 10)); }

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) return Usage();
  const wchar_t* command = argv[1];
  if (!wcscmp(command, L"query") && argc == 5)
    return RunQueryBench(static_cast<DWORD>(Number(argv[2])), Number(argv[3]), Number(argv[4]));
  if (!wcscmp(command, L"drop") && (argc == 7 || (argc == 8 && !wcscmp(argv[7], L"analyse")))) {
    char section[64];
    WideCharToMultiByte(CP_ACP, 0, argv[3], -1, section, sizeof section, nullptr, nullptr);
    return RunDropBench(argv[2], section, Number(argv[4]), Number(argv[5]),
                        static_cast<unsigned>(Number(argv[6])), argc == 8);
  }
  if (!wcscmp(command, L"register") && argc == 5)
    return RunRegisterBench(argv[2], Number(argv[3]), static_cast<unsigned>(Number(argv[4])));
  if (!wcscmp(command, L"editprobe") && argc == 3) return RunEditProbe(Number(argv[2]));
  if (!wcscmp(command, L"remove") && argc == 3) return RunRemoveBench(Number(argv[2]));
  if (!wcscmp(command, L"startup") && argc == 5)
    return RunStartupBench(argv[2], argv[3], Number(argv[4]));
  return Usage();
}
