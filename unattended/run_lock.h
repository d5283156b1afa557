// The lock that keeps unattended runs one at a time on the machine, across sessions. Only a
// process with administrator rights can create or hold it.
#pragma once
#include <windows.h>

#include "platform/unique.h"

struct RunLock {
  UniqueKernelHandle mutex;
  HANDLE space = nullptr;  // the private namespace the mutex lives in, or null
  RunLock() = default;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  ~RunLock();  // the mutex is closed before its namespace
};

// Creates or opens the lock; false (error set) when it cannot be made.
bool OpenRunLock(RunLock& lock, DWORD* error);
// WaitForSingleObject's result: WAIT_OBJECT_0 or WAIT_ABANDONED when the lock is held by this
// process (ReleaseRunLock gives it back), WAIT_TIMEOUT, or WAIT_FAILED.
DWORD WaitForRunLock(RunLock& lock, DWORD milliseconds);
void ReleaseRunLock(RunLock& lock);
