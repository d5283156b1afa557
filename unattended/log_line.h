// One line of the run's log, built in a fixed buffer. Whatever the fields hold, the line ends
// with "\r\n": a line whose fields do not fit is cut, marked " [...]", and still ended, so the
// summary stays the last line and no field runs into the next line.
#pragma once
#include <cstddef>


// A log line's room: a path of up to 999 characters, a message and the system's error text.
constexpr size_t LogLineCapacity = 4096;

struct LogLine {
  wchar_t text[LogLineCapacity] = {};
  size_t used = 0;
  bool cut = false;
};

// The program's own words, as they are.
void AddText(LogLine& line, const wchar_t* text);
// Names, paths, details and the command line: a control character (U+0000 to U+001F, U+007F,
// U+0080 to U+009F) becomes \xNN with two upper-case hex digits (tab \x09, CR \x0D, LF \x0A).
// A backslash that would read as such an escape ("\x" and two hex digits naming a control
// character or 5C, in either case) becomes \x5C. So "\xNN" with NN a control character or 5C
// is always an escape, every other backslash is the text's own, and paths stay as written
// ("C:\drivers\x64" too).
void AddEscaped(LogLine& line, const wchar_t* text);
void AddNumber(LogLine& line, unsigned long number);
// Appends the mark when the line was cut, then "\r\n"; returns the finished text.
const wchar_t* EndLine(LogLine& line);
