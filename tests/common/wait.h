#pragma once
#include <functional>

// Dispatches this thread's messages for the given time.
void PumpMessages(unsigned milliseconds);
// Polls condition (pumping messages between tries) until it holds or the bound passes.
bool WaitUntil(const std::function<bool()>& condition, unsigned boundMilliseconds);
