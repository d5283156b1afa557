// Counting and timing the messages a control handles while the program works on it, from a
// subclass of the control (the time is inclusive of what the control does in return).
#pragma once
#include <windows.h>

#include <vector>

struct CountedMessage {
  UINT message;
  const char* name;
};

// Starts counting the listed messages of window (everything else is summed as "other").
void StartCounting(HWND window, const CountedMessage* messages, size_t count);
// Stops, prints one NOTE per message seen, and returns the times of each call of the first
// listed message in order (to show whether its cost grows).
std::vector<double> StopCounting(HWND window, const char* section, const char* controlName);
