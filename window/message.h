// Every message box of the program is raised here. In an unattended run no one could answer
// one (it would hang the deployment until the tool gives up), so the message becomes a line of
// the run's log instead, and the answer is the one a deployment means: OK to a notice, yes to a
// question. A notice counts there as a failure of the item it is about; a question does not.
#pragma once
#include <windows.h>

// subject: the file the message is about (null: the item the run is working on); error: the
// system's error code behind it (0: none). Both go only into the log.
int ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type,
                const wchar_t* subject = nullptr, DWORD error = 0);
