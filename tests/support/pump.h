#pragma once
// Waiting in tests: pump the calling thread's window messages until a
// condition holds or a bound passes. Never a bare sleep.

#include <functional>

// Creates the socket window on the calling thread once per process.
void EnsureSockWnd();

// True when cond held before timeoutMs passed.
bool PumpUntil(const std::function<bool()>& cond, int timeoutMs = 5000);

// Handles everything that arrives during ms milliseconds, for checks that
// something does not happen.
void PumpFor(int ms);
