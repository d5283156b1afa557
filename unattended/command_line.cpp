// Parsing the command line. Switches are case-insensitive and begin with '/' or '-', as
// msiexec's and regsvr32's do; everything else is a file or a ProgID.
#include "unattended/command_line.h"

#include <windows.h>

#include <initializer_list>

namespace {

bool IsSwitch(const wchar_t* arg) { return (arg[0] == L'/' || arg[0] == L'-') && arg[1]; }

bool Same(const wchar_t* a, const wchar_t* b) {
  return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

bool IsOneOf(const wchar_t* name, std::initializer_list<const wchar_t*> names) {
  for (const wchar_t* n : names)
    if (Same(name, n)) return true;
  return false;
}

// "/log", and msiexec's "/l" with any of its logging flags ("/l*v", "/l+"): the file comes next.
bool IsLogSwitch(const wchar_t* name) {
  if (Same(name, L"log")) return true;
  if (name[0] != L'l' && name[0] != L'L') return false;
  for (const wchar_t* p = name + 1; *p; ++p)
    if (!wcschr(L"iwearucmopvxIWEARUCMOPVX+!*", *p)) return false;
  return true;
}

CommandLine Fault(CommandLine line, const wchar_t* fault, const wchar_t* argument = nullptr) {
  line.mode = RunMode::Invalid;
  line.fault = fault;
  line.faultArgument = argument;
  return line;
}

// The first fault of the switches is kept, and the rest are still read: /quiet and /log hold
// for the report of an invalid command line too.
void NoteFault(CommandLine& line, const wchar_t* fault, const wchar_t* argument) {
  if (line.fault) return;
  line.fault = fault;
  line.faultArgument = argument;
}

// The action a switch names; RunMode::Window for a switch that names none.
RunMode ActionOf(const wchar_t* name) {
  if (IsOneOf(name, {L"install", L"i"})) return RunMode::Install;
  if (IsOneOf(name, {L"uninstall", L"x", L"u"})) return RunMode::Uninstall;
  if (Same(name, L"list")) return RunMode::List;
  if (Same(name, L"verify")) return RunMode::Verify;
  if (Same(name, L"diagnose")) return RunMode::Diagnose;
  return RunMode::Window;
}

// A switch that names no action: a format, /quiet, /all, the usage, /log with its file. i moves
// past the file that /log takes.
void ReadOption(CommandLine& line, wchar_t** args, int count, int& i, bool& usage) {
  wchar_t* arg = args[i];
  const wchar_t* name = arg + 1;
  if (IsOneOf(name, {L"details", L"json"})) {
    ListFormat format = Same(name, L"json") ? ListFormat::Json : ListFormat::Details;
    if (line.listFormat != ListFormat::Names && line.listFormat != format)
      NoteFault(line, L"/details 和 /json 只能选一个", arg);
    line.listFormat = format;
  } else if (IsOneOf(name, {L"quiet", L"q", L"qn", L"s", L"silent", L"passive"})) {
    line.quiet = true;
  } else if (Same(name, L"norestart")) {
    // Accepted: nothing the program does ever needs a restart.
  } else if (Same(name, L"all")) {
    line.all = true;
  } else if (IsOneOf(name, {L"?", L"h", L"help"})) {
    usage = true;
  } else if (IsLogSwitch(name)) {
    // "/log /quiet": the switch is no file name, and is still read as a switch.
    if (i + 1 >= count || !args[i + 1][0] || IsSwitch(args[i + 1])) {
      NoteFault(line, L"/log 后面缺少日志文件", arg);
    } else if (line.logPath) {
      NoteFault(line, L"/log 只能给出一次", arg);
      ++i;
    } else {
      line.logPath = args[++i];
    }
  } else {
    NoteFault(line, L"未知的开关", arg);
  }
}

// The line whose switches were all read, with its mode, or with the fault of a combination
// that does not go together.
CommandLine Settle(CommandLine line, RunMode action, bool usage) {
  if (line.fault) return Fault(line, line.fault, line.faultArgument);
  if (usage) {
    line.mode = RunMode::Usage;
    return line;
  }
  if (action == RunMode::Diagnose && line.listFormat == ListFormat::Details)
    return Fault(line, L"/details 只能用于 /list");
  if (action != RunMode::List && action != RunMode::Diagnose && line.listFormat != ListFormat::Names)
    return Fault(line, L"/details 和 /json 只能用于 /list");
  if (action != RunMode::Uninstall && action != RunMode::Window && line.all)
    return Fault(line, L"/all 只能用于 /uninstall");
  switch (action) {
    case RunMode::Install:
      if (line.itemCount == 0) return Fault(line, L"/install 后面缺少文件");
      break;
    case RunMode::Uninstall:
      if (line.all && line.itemCount > 0) return Fault(line, L"/uninstall /all 不能再给出 ProgID");
      if (!line.all && line.itemCount == 0) return Fault(line, L"/uninstall 后面缺少 ProgID、文件或 /all");
      break;
    case RunMode::List:
      if (line.itemCount > 0) return Fault(line, L"/list 不接受其他参数", line.items[0]);
      break;
    case RunMode::Verify:
      if (line.itemCount == 0) return Fault(line, L"/verify 后面缺少 ProgID");
      break;
    case RunMode::Diagnose:
      break;
    default:
      return Fault(line, L"缺少 /install、/uninstall、/list、/verify 或 /diagnose");
  }
  line.mode = action;
  return line;
}

}  // namespace

CommandLine ParseCommandLine(int count, wchar_t** args) {
  CommandLine line;
  if (count <= 0) return line;
  // What Explorer passes for a file dropped on the program's icon or opened with it.
  if (count == 1 && !IsSwitch(args[0])) {
    line.mode = RunMode::OpenFile;
    line.items = args;
    line.itemCount = 1;
    return line;
  }
  RunMode action = RunMode::Window;
  bool usage = false;
  line.items = args;
  for (int i = 0; i < count; ++i) {
    wchar_t* arg = args[i];
    if (!IsSwitch(arg)) {
      args[line.itemCount++] = arg;  // never ahead of i: the items stay in their order
      continue;
    }
    RunMode named = ActionOf(arg + 1);
    if (named == RunMode::Window) {
      ReadOption(line, args, count, i, usage);
      continue;
    }
    if (action != RunMode::Window && action != named)
      NoteFault(line, L"/install、/uninstall、/list、/verify 和 /diagnose 只能选一个", arg);
    action = named;
  }
  return Settle(line, action, usage);
}

const wchar_t UsageText[] =
    L"用法:\r\n"
    L"  ctlwarden.exe                    打开窗口\r\n"
    L"  ctlwarden.exe 文件               打开窗口并处理该文件，同拖入\r\n"
    L"  ctlwarden.exe /install 文件... [/quiet] [/log 日志文件]\r\n"
    L"      注册 .ocx、.dll 控件；解压 .cab 并注册其中的控件\r\n"
    L"  ctlwarden.exe /uninstall ProgID... [/quiet] [/log 日志文件]\r\n"
    L"  ctlwarden.exe /uninstall 文件... [/quiet] [/log 日志文件]\r\n"
    L"  ctlwarden.exe /uninstall /all [/quiet] [/log 日志文件]\r\n"
    L"      卸载控件的注册；给出安装时的 .ocx、.dll 或 .cab 文件，卸载从它注册的控件\r\n"
    L"  ctlwarden.exe /list [/details | /json] [/log 日志文件]\r\n"
    L"      列出已安装的控件 ProgID，每行一个；/details 制表符分隔的明细，/json JSON 数组\r\n"
    L"  ctlwarden.exe /verify ProgID... [/log 日志文件]\r\n"
    L"      检查控件已注册且文件存在：是则退出代码 0，否则 1605\r\n"
    L"  ctlwarden.exe /diagnose [ProgID... | 文件...] [/json] [/log 日志文件]\r\n"
    L"      逐项检查控件为何不能在网页中运行（注册、文件、依赖文件、kill bit、加载项开关、\r\n"
    L"      用户自己的注册、安全类别）：无问题退出代码 0，有问题 1，未安装 1605\r\n"
    L"别名: /i = /install; /x、/u = /uninstall; /q、/qn、/s、/silent、/passive = /quiet;\r\n"
    L"      /norestart 可以给出，本程序从不重启\r\n"
    L"退出代码: 0 成功; 1 发现问题 (/diagnose); 1603 失败; 1605 未安装 (/verify、/diagnose); 1618 另一个无人值守运行正在进行;\r\n"
    L"      1619 文件不存在、无法读取或路径过长;\r\n"
    L"      1620 不是 .ocx、.dll 或 .cab 文件，或 .cab 包无法打开; 1622 无法写入日志文件;\r\n"
    L"      1639 命令行无效\r\n";
