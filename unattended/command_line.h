// The program's command line: none opens the window; one path opens the window with that file
// as if dropped on it; switches in the style of msiexec and regsvr32 run it unattended.
#pragma once
enum class RunMode { Window, OpenFile, Install, Uninstall, List, Verify, Diagnose, Usage, Invalid };
// /list: the ProgIDs one a line, /list /details a tab-separated table, /list /json an array;
// /diagnose: blocks of lines, or with /json an array.
enum class ListFormat { Names, Details, Json };

struct CommandLine {
  RunMode mode = RunMode::Window;
  bool quiet = false;
  bool all = false;                   // /uninstall /all
  ListFormat listFormat = ListFormat::Names;
  const wchar_t* logPath = nullptr;   // /log FILE
  wchar_t* const* items = nullptr;    // the files or ProgIDs, or the one path to open
  int itemCount = 0;
  const wchar_t* fault = nullptr;     // Invalid: what is wrong
  const wchar_t* faultArgument = nullptr;  // the argument it is about, or null
};

// args: the arguments behind the program's name (CommandLineToArgvW's argv + 1). The items
// are moved to the front of args, in their order, and the result points into them.
CommandLine ParseCommandLine(int count, wchar_t** args);

// The usage text: switches, aliases and exit codes.
extern const wchar_t UsageText[];
