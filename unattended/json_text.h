// JSON strings for the /json outputs: quotes, backslashes and control characters escaped; the
// rest as it is (the output is UTF-8).
#pragma once
#include <cstddef>

// Appends text as a quoted JSON string to out (capacity cap, used characters so far, kept
// terminated); what does not fit is left off at the end.
void PutJsonString(wchar_t* out, size_t cap, size_t& used, const wchar_t* text);
