// Clock and result lines of the benchmark driver. Every measurement is printed as one line
// of raw samples, tab-separated, for scripts/bench to turn into the table:
//   RESULT <section> <key> <label> <unit> <sample,sample,...>
//   NOTE <section> <text>
#pragma once
#include <vector>

// Milliseconds from an arbitrary origin, from the performance counter.
double NowMs();

void Report(const char* section, const char* key, const char* label, const char* unit,
            const std::vector<double>& samples);
void Note(const char* section, const char* format, ...);
