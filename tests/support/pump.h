#pragma once
// Waiting in tests: pump the calling thread's window messages until a
// condition holds or a bound passes. Never a bare sleep.

#include <cstdint>
#include <functional>

// Creates the socket window on the calling thread once per process.
void EnsureSockWnd();

// True when cond held before timeoutMs passed.
bool PumpUntil(const std::function<bool()>& cond, int timeoutMs = 5000);

// Handles everything that arrives during ms milliseconds, for checks that
// something does not happen.
void PumpFor(int ms);

// Turns of the loop above so far. A game thread that waits for the window's
// thread to act (flush a send buffer, say) sleeps until the next turn
// instead of spinning against it for the processor.
uint64_t PumpTurns();
// Returns when the loop has turned past seen, or after timeoutMs.
void WaitForPumpTurn(uint64_t seen, int timeoutMs);
