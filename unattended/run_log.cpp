#include "unattended/run_log.h"

namespace {
EventWriter Writer = nullptr;
}

void SetEventWriter(EventWriter writer) { Writer = writer; }

void LogEvent(const wchar_t* action, const wchar_t* subject, Outcome outcome,
              const wchar_t* detail, DWORD error) {
  if (Writer) Writer(action, subject, outcome, detail, error);
}
