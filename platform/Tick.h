#pragma once

// The millisecond tick and sleeping.

#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start, from the steady clock, as a 32-bit count that
// wraps to 0 after 2^32 - 1 (about 49.7 days), exactly like the system's tick. Code that
// measures intervals must subtract ticks in unsigned 32-bit arithmetic so a wrap between
// two readings still gives the right difference.
uint32_t TickCount();

// The same clock without the wrap.
uint64_t TickCount64();

// Adds `offset_ms` to every later TickCount()/TickCount64() reading of the process, so tests
// can place the tick just before the wrap. 0 restores the real tick. Not for the programs.
void SetTickOffsetForTesting(uint64_t offset_ms);

// Blocks the calling thread for at least `milliseconds` (steady clock). 0 gives up the rest
// of the time slice. INFINITE (0xFFFFFFFF) blocks for good.
void Sleep(uint32_t milliseconds);

}  // namespace platform
