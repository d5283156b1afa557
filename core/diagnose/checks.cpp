#include "core/diagnose/checks.h"

#include <cwchar>
#include <initializer_list>

#include "core/diagnose/registry_values.h"
#include "core/diagnose/runtimes.h"
#include "core/register/image_machine.h"
#include "core/uninstall/classes_view.h"
#include "platform/unique.h"
#include "platform/text.h"

namespace {

constexpr wchar_t ReinstallFix[] = L" Fix: register the control again (ctlwarden /install FILE).";

const wchar_t* ViewWords(int view) { return view == 64 ? L"the 64-bit view" : L"the 32-bit view"; }

void SetVerdict(CheckResult& out, Verdict verdict, const wchar_t* text) {
  out.verdict = verdict;
  out.detail[0] = 0;
  Say(out, text);
}

// What the other view of 64-bit Windows holds for the class.
void SayOtherView(const InstalledControl& control, CheckResult& out) {
  if (sizeof(void*) == 4 && !DetectWow64()) return;
  int other = OwnRegistryView() == 64 ? 32 : 64;
  wchar_t path[InventoryNameCapacity + 64] = L"Software\\Classes\\CLSID\\";
  wchar_t file[InventoryFileCapacity];
  if (!AppendText(path, control.clsid) || !AppendText(path, L"\\InprocServer32")) return;
  Say(out, L" ");
  Say(out, other == 64 ? L"The 64-bit view: " : L"The 32-bit view: ");
  if (ReadStringValue(HKEY_LOCAL_MACHINE, path, nullptr,
                      other == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY, file)) {
    Say(out, file);
    Say(out, L".");
  } else {
    Say(out, L"no registration.");
  }
}

void CheckRegistration(const InstalledControl& control, CheckResult& out) {
  switch (control.state) {
    case ControlState::NoProgId:
      SetVerdict(out, Verdict::Problem, L"There is no ProgID key.");
      Say(out, ReinstallFix);
      return;
    case ControlState::NoClsid:
      SetVerdict(out, Verdict::Problem, L"The ProgID names no CLSID.");
      Say(out, ReinstallFix);
      return;
    case ControlState::NoServer:
      SetVerdict(out, Verdict::Problem, L"CLSID\\");
      Say(out, control.clsid);
      Say(out, L" has no InprocServer32 in ");
      Say(out, ViewWords(OwnRegistryView()));
      Say(out, L", which this program's browsers read.");
      SayOtherView(control, out);
      Say(out, ReinstallFix);
      return;
    default:
      SetVerdict(out, Verdict::Ok, L"ProgID -> ");
      Say(out, control.clsid);
      Say(out, L" -> InprocServer32 in ");
      Say(out, ViewWords(control.view));
      Say(out, L".");
      SayOtherView(control, out);
  }
}

void CheckFile(const InstalledControl& control, CheckResult& out) {
  if (control.state == ControlState::FileTooLong) {
    SetVerdict(out, Verdict::Unknown, L"The InprocServer32 path is too long to check.");
    return;
  }
  if (!control.file[0]) {
    SetVerdict(out, Verdict::Unknown, L"No file is registered.");
    return;
  }
  if (!control.present) {
    SetVerdict(out, Verdict::Problem, L"The file is missing: ");
    Say(out, control.file);
    Say(out, L".");
    Say(out, ReinstallFix);
    return;
  }
  WORD machine = ImageMachine(control.file);
  WORD wanted = control.view == 64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
  const wchar_t* processor = ProcessorText(machine);
  if (machine == 0) {
    SetVerdict(out, Verdict::Unknown, L"Present, but its headers cannot be read.");
    return;
  }
  SetVerdict(out, machine == wanted ? Verdict::Ok : Verdict::Problem, L"Present, built for ");
  Say(out, processor ? processor : L"another processor");
  Say(out, machine == wanted ? L", as " : L", but registered in ");
  Say(out, ViewWords(control.view));
  Say(out, machine == wanted ? L" needs." : L": a browser process of that bitness never loads it."
                                            L" Fix: register the build for that processor.");
  if (control.version[0]) {
    Say(out, L" Version ");
    Say(out, control.version);
    Say(out, L".");
  }
}

void SayAnsi(CheckResult& out, const char* text) {
  wchar_t wide[ImportNameCapacity];
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, ImportNameCapacity)) Say(out, wide);
}

// One missing library: its name, its importer, and which package supplies it.
void SayMissing(CheckResult& out, const MissingLibrary& missing, WORD machine) {
  SayAnsi(out, missing.name);
  Say(out, L" (imported by ");
  SayAnsi(out, missing.importer);
  Say(out, missing.delayed ? L", delay-loaded: missed when first called" : L"");
  Say(out, missing.sideBySide ? L", side-by-side: WinSxS cannot be read" : L"");
  Say(out, L")");
  const KnownRuntime* runtime = FindKnownRuntime(missing.name);
  const wchar_t* processor = ProcessorText(machine);
  if (runtime && !runtime->year) {
    Say(out, L": it ships with Windows; repair the Windows installation");
  } else if (runtime && processor) {
    Say(out, L": install the Visual C++ ");
    Say(out, runtime->year);
    Say(out, L" Redistributable (");
    Say(out, processor);
    Say(out, L")");
  } else {
    Say(out, L": put it beside the control or install the program that supplies it");
  }
}

void CheckDependencies(const InstalledControl& control, CheckResult& out) {
  if (!control.present) {
    SetVerdict(out, Verdict::Unknown, L"No file to read.");
    return;
  }
  UniqueHeap<DependencyReport> block = HeapAllocate<DependencyReport>(1, false);
  if (!block) {
    SetVerdict(out, Verdict::Unknown, L"Out of memory.");
    return;
  }
  DependencyReport& report = *block.get();
  ResolveDependencies(control.file, report);
  wchar_t count[64] = {};
  AppendNumber(count, report.libraries);
  AppendText(count, L" libraries looked for. ");
  SetVerdict(out, report.verdict, count);
  if (report.read == ImportRead::Unreadable || report.read == ImportRead::NotImage)
    Say(out, L"The control's import tables cannot be read. ");
  if (report.read == ImportRead::Damaged)
    Say(out, L"The control's import tables are damaged; the libraries read before the damage were looked for. ");
  if (report.unreadable[0]) {
    Say(out, L"The import tables of ");
    SayAnsi(out, report.unreadable);
    Say(out, L" cannot be read. ");
  }
  if (report.bounded) Say(out, L"The search stopped at its bound. ");
  int named = report.missingCount < MissingBound ? report.missingCount : MissingBound;
  if (named) Say(out, L"Not found: ");
  for (int i = 0; i < named; ++i) {
    if (i) Say(out, L"; ");
    SayMissing(out, report.missing[i], report.machine);
  }
  if (named) Say(out, L".");
  if (report.missingCount > named) Say(out, L" And more.");
}

}  // namespace

void Say(CheckResult& out, const wchar_t* text) {
  if (!AppendText(out.detail, text)) {
    size_t used = TextLength(out.detail);
    if (used + 2 > CheckDetailCapacity) used = CheckDetailCapacity - 2;
    out.detail[used] = L'…';
    out.detail[used + 1] = 0;
  }
}

const wchar_t* CheckName(Check check) {
  constexpr const wchar_t* Names[] = {L"registration", L"file",     L"dependencies",
                                      L"kill bit",     L"switches", L"per-user registration",
                                      L"safety"};
  return Names[static_cast<int>(check)];
}

const wchar_t* VerdictWord(Verdict verdict) {
  return verdict == Verdict::Ok ? L"ok" : verdict == Verdict::Problem ? L"problem" : L"unknown";
}

void DiagnoseControl(const wchar_t* progId, ControlDiagnosis& out) {
  ReadInstalledControl(progId, false, out.control);
  CheckResult* checks = out.checks;
  CheckRegistration(out.control, checks[static_cast<int>(Check::Registration)]);
  CheckFile(out.control, checks[static_cast<int>(Check::File)]);
  CheckDependencies(out.control, checks[static_cast<int>(Check::Dependencies)]);
  if (!out.control.clsid[0]) {
    for (Check later : {Check::KillBit, Check::Switches, Check::UserRegistration, Check::Safety})
      SetVerdict(checks[static_cast<int>(later)], Verdict::Unknown, L"No CLSID to look for.");
    return;
  }
  CheckKillBit(out.control.clsid, checks[static_cast<int>(Check::KillBit)]);
  CheckSwitches(out.control.clsid, checks[static_cast<int>(Check::Switches)]);
  CheckUserRegistrations(out.control, checks[static_cast<int>(Check::UserRegistration)]);
  CheckSafety(out.control, checks[static_cast<int>(Check::Safety)]);
}
