// The thread's message processing and the clocks.
#pragma once

#include <cstdint>

namespace t2::platform {

// One turn of the thread's pending work: runs the host's hook, and when there is
// nothing to do waits up to a millisecond so waiting loops do not spin a core.
void DoEvents();

// Milliseconds since an arbitrary start, wrapping at 2^32 (timeGetTime).
uint32_t timeGetTime();

// Seconds since local midnight, with fractions (the runtime's Timer).
double Timer();

// A seed from the time of day for the runtime's random generator.
uint32_t time_seed();

}  // namespace t2::platform
