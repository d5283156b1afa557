// The unattended mode: what deployment tools start. No window and no message box ever; every
// event is a line of the log, and the exit code tells the tool how the run went.
#pragma once
#include "unattended/command_line.h"

// Runs an unattended command line (install, uninstall, list, usage or an invalid one) and
// returns the process exit code.
int RunUnattended(const CommandLine& line);

// False in session 0 and in a window station that is not visible (a service's, SYSTEM's under
// a deployment tool): no one would see a window or a box there.
bool HasInteractiveDesktop();
