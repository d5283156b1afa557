#include "window/window_job.h"

#include "window/session_end.h"

namespace {
// The job's thread reaches the window's thread through a message-only window of that thread:
// sent for progress (the work waits for the answer), posted for the end (the job is the window
// thread's again once the work is done with it).
constexpr UINT RelayMessage = WM_APP + 1;     // wParam: the event, lParam: the job
constexpr UINT FinishedMessage = WM_APP + 3;  // lParam: the job

HWND Messenger = nullptr;

void EndJob(WindowJob& job) {
  job.thread.reset();
  job.calls.finish(job.data);
  job.running = false;
  ClearShutdownReason(job.owner);
  // A close asked for during the job takes effect now that nothing is half done.
  if (job.closeDeferred) {
    job.closeDeferred = false;
    if (IsWindow(job.owner)) PostMessageW(job.owner, WM_CLOSE, 0, 0);
  }
}

LRESULT CALLBACK MessengerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* job = reinterpret_cast<WindowJob*>(lParam);
  switch (message) {
    case RelayMessage:
      if (job->stop || !job->calls.progress) return !job->stop;
      return job->calls.progress(job->data, reinterpret_cast<const void*>(wParam)) && !job->stop;
    case FinishedMessage:
      EndJob(*job);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

bool EnsureMessenger() {
  if (Messenger) return true;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW cls = {};
  cls.lpfnWndProc = MessengerProc;
  cls.hInstance = instance;
  cls.lpszClassName = L"CtlwardenJobMessenger";
  RegisterClassW(&cls);  // fails harmlessly when already registered
  Messenger = CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              instance, nullptr);
  return Messenger != nullptr;
}

DWORD WINAPI RunJob(void* parameter) {
  auto& job = *static_cast<WindowJob*>(parameter);
  job.calls.work(job.data);
  PostMessageW(Messenger, FinishedMessage, 0, reinterpret_cast<LPARAM>(&job));
  return 0;
}
}  // namespace

bool StartJob(WindowJob& job, HWND owner, const JobCalls& calls, void* data) {
  if (job.running || !EnsureMessenger()) return false;
  job.calls = calls;
  job.data = data;
  job.owner = owner;
  job.stop = 0;
  job.closeDeferred = false;
  job.running = true;
  job.thread.reset(CreateThread(nullptr, 0, RunJob, &job, 0, nullptr));
  if (!job.thread) job.running = false;
  return job.running;
}

bool RelayProgress(WindowJob& job, const void* event) {
  return SendMessageW(Messenger, RelayMessage, reinterpret_cast<WPARAM>(event),
                      reinterpret_cast<LPARAM>(&job)) != 0;
}

bool StopRequested(const WindowJob& job) { return job.stop != 0; }

bool DeferClose(WindowJob& job) {
  if (!job.running) return false;
  InterlockedExchange(&job.stop, 1);
  job.closeDeferred = true;
  return true;
}

bool StopAndWait(WindowJob& job, DWORD bound) {
  if (!job.running || !job.thread) return true;
  InterlockedExchange(&job.stop, 1);
  DWORD start = GetTickCount();
  for (;;) {
    DWORD spent = GetTickCount() - start;
    if (spent >= bound) return false;
    HANDLE thread = job.thread.get();
    DWORD woke = MsgWaitForMultipleObjects(1, &thread, FALSE, bound - spent, QS_SENDMESSAGE);
    if (woke == WAIT_OBJECT_0) return true;
    if (woke != WAIT_OBJECT_0 + 1) return false;
    MSG message;  // handles the relays that were sent (answered "stop"), nothing posted
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}
