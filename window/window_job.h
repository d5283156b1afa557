// Work beside the window's thread, one job at a time. The job's thread does the work and hands
// each piece of progress to the window's thread, which shows it and answers whether to go on;
// the end is shown on the window's thread too. The window's thread never waits for the work,
// except for a bounded time when the session ends.
#pragma once
#include <windows.h>

#include "platform/unique.h"

// What a job does with its data, which its starter owns and releases in finish.
struct JobCalls {
  void (*work)(void* data);                         // on the job's thread
  bool (*progress)(void* data, const void* event);  // on the window's thread; may be null
  void (*finish)(void* data);                       // on the window's thread, once, after work
};

// The job under way; it lives in the main window's state (window/globals.h).
struct WindowJob {
  JobCalls calls;
  void* data;
  HWND owner;  // the main window: a close put off is sent to it, its shutdown reason cleared
  UniqueKernelHandle thread;
  volatile LONG stop;  // set on the window's thread, read on the job's
  bool running;        // from the start until finish has returned
  bool closeDeferred;
};

// Starts work on a thread of its own. False (nothing started, finish never called) when a job
// runs already or no thread could be had.
bool StartJob(WindowJob& job, HWND owner, const JobCalls& calls, void* data);
// On the job's thread: shows event on the window's thread and waits for the answer. False when
// the work is to stop: progress said so, or a stop was asked (then progress is not called, so
// nothing more is shown and no box is raised).
bool RelayProgress(WindowJob& job, const void* event);
// On the job's thread, for work without progress: true once a stop was asked.
bool StopRequested(const WindowJob& job);
// WM_CLOSE: true while a job runs; the work is asked to stop at its next step, and the close
// is sent again once the job has ended.
bool DeferClose(WindowJob& job);
// The session ends: asks the work to stop and waits at most bound milliseconds for its thread,
// answering its relays meanwhile. True when the work has returned.
bool StopAndWait(WindowJob& job, DWORD bound);
