// Observes and answers every message box that the code under test raises on this thread.
// A CBT hook sees each box as it is activated, records what it shows, and presses a button.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct SeenMessageBox {
  std::wstring text;
  std::wstring caption;
  HWND owner;
  bool hasOk, hasYes, hasNo, hasCancel, hasIcon;
};

// Installs the hook for the lifetime of the object. Answers are taken in order; when none is
// left, the box is answered with IDOK if it has that button, otherwise IDNO.
struct MessageBoxWatcher {
  MessageBoxWatcher();
  ~MessageBoxWatcher();
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

  void Answer(int button) { answers.push_back(button); }

  std::vector<SeenMessageBox> seen;
  std::vector<int> answers;
  HHOOK hook = nullptr;
};

// For the whole run of a test executable, on the calling thread: a message box raised while no
// MessageBoxWatcher is alive is one that no case expects. It is answered at once (OK, else
// Cancel, else No) and fails the case that raised it, instead of waiting for an answer until
// the run's time-out.
void GuardAgainstUnexpectedMessageBoxes();
