// Why a registered control may still not run in a page: each step of the chain a browser
// follows, read from the registry and the control's file, with what was seen and what fixes a
// problem. Reads only.
#pragma once
#include <windows.h>

#include <cstddef>

#include "core/diagnose/dependencies.h"
#include "core/uninstall/inventory.h"

constexpr size_t CheckDetailCapacity = 2048;

// In the order they are run and reported.
enum class Check { Registration, File, Dependencies, KillBit, Switches, UserRegistration, Safety };
constexpr int CheckCount = 7;

struct CheckResult {
  Verdict verdict;
  wchar_t detail[CheckDetailCapacity];  // what was seen; for a problem, what fixes it
};

struct ControlDiagnosis {
  InstalledControl control;  // as the program's own registry view holds it
  CheckResult checks[CheckCount];
};

// "registration", "file", "dependencies", "kill bit", "switches", "per-user registration",
// "safety".
const wchar_t* CheckName(Check check);
const wchar_t* VerdictWord(Verdict verdict);

// Runs every check for one installed ProgID.
void DiagnoseControl(const wchar_t* progId, ControlDiagnosis& out);

// The checks after the file's, for a class (its CLSID text as stored); control: its file.
void CheckKillBit(const wchar_t* clsid, CheckResult& out);
void CheckSwitches(const wchar_t* clsid, CheckResult& out);
void CheckUserRegistrations(const InstalledControl& control, CheckResult& out);
void CheckSafety(const InstalledControl& control, CheckResult& out);

// Appends text to the detail; a text that does not fit ends the detail with "…".
void Say(CheckResult& out, const wchar_t* text);
