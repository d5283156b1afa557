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
