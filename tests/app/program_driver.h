// The built program as a separate process, driven from outside as a user would: started,
// its window found, texts read with WM_GETTEXT, list entries double-clicked, its message
// boxes seen and answered. Bounds are the caller's: an emulated 32-bit program is far slower.
#pragma once
#include <windows.h>

#include <string>

struct Program {
  PROCESS_INFORMATION process = {};
  HWND window = nullptr;

  // Starts exe (in directory, when one is named, else in this process's current directory;
  // with arguments behind its name, if any) and waits, at most bound milliseconds, until its
  // window is shown.
  bool Start(const std::wstring& exe, unsigned bound, const wchar_t* directory = nullptr,
             const std::wstring& arguments = L"");
  // Waits for the program to end by itself; false if it does not within the bound.
  bool Ended(DWORD* exitCode, unsigned bound);
  ~Program();
  HWND Bar() const;
  HWND CloseButton() const;
  HWND PathBox() const;
  HWND StatusBox() const;
  HWND ControlList() const;
  HWND QueryButton() const;
  HWND RemoveAllButton() const;
  // Presses a tab of the title bar; the press on the register tab also starts moving the
  // window, the release ends that.
  void ShowRegisterView() const;
  void ShowUninstallView() const;
};

std::wstring TextOf(HWND window);
// Entries of the program's list box; LB_ERR (-1) when it does not answer within seconds.
int ListCount(HWND list);
// Index of the entry with exactly this text, or -1.
int ListIndexOf(HWND list, const wchar_t* entry);
// Double-clicks an entry of the program's list box.
void DoubleClickEntry(HWND list, int index);

struct Box {
  HWND window = nullptr;
  std::wstring text, caption;
};

// The message box the process shows now (window null when there is none).
Box ShownBox(DWORD processId);
// The message box the process shows, if one appears within the bound.
Box WaitForBox(DWORD processId, unsigned bound);
void Answer(const Box& box, int button);
