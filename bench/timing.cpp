#include "bench/timing.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

double NowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void Report(const char* section, const char* key, const char* label, const char* unit,
            const std::vector<double>& samples) {
  printf("RESULT\t%s\t%s\t%s\t%s\t", section, key, label, unit);
  for (size_t i = 0; i < samples.size(); ++i) printf(i ? ",%.3f" : "%.3f", samples[i]);
  printf("\n");
  fflush(stdout);
}

void Note(const char* section, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  printf("NOTE\t%s\t%s\n", section, text);
  fflush(stdout);
}
