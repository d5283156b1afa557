#include "bench/message_counter.h"

#include "bench/timing.h"

namespace {

struct Stat {
  UINT message;
  const char* name;
  int calls;
  double ms;
};

std::vector<Stat> Stats;
Stat Other = {0, "other messages", 0, 0};
std::vector<double> FirstMessageTimes;
WNDPROC Original;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  double t0 = NowMs();
  LRESULT result = CallWindowProcW(Original, window, message, wParam, lParam);
  double spent = NowMs() - t0;
  Stat* stat = &Other;
  for (Stat& s : Stats) {
    if (s.message == message) stat = &s;
  }
  ++stat->calls;
  stat->ms += spent;
  if (!Stats.empty() && message == Stats[0].message) FirstMessageTimes.push_back(spent);
  return result;
}

}  // namespace

void StartCounting(HWND window, const CountedMessage* messages, size_t count) {
  Stats.clear();
  for (size_t i = 0; i < count; ++i) Stats.push_back({messages[i].message, messages[i].name, 0, 0});
  Other.calls = 0;
  Other.ms = 0;
  FirstMessageTimes.clear();
  Original = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
}

std::vector<double> StopCounting(HWND window, const char* section, const char* controlName) {
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Original));
  for (const Stat& s : Stats) {
    if (s.calls) Note(section, "%s %s: %d calls, %.1f ms", controlName, s.name, s.calls, s.ms);
  }
  if (Other.calls)
    Note(section, "%s other messages: %d calls, %.1f ms", controlName, Other.calls, Other.ms);
  return FirstMessageTimes;
}
