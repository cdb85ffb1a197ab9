// The thread's message processing and the clocks.
#pragma once

#include <cstdint>

namespace t2::platform {

// One turn of the thread's pending work: runs the calls other apartments
// carried to this thread, then the host's hook (without one,
// gives up the rest of the time slice).  It never sleeps: a writer that turns
// the loop every ten rows must not wait each time.
void DoEvents();

// For waiting loops: one turn of DoEvents, then a pause of up to a millisecond,
// so a loop that waits for the clock does not spin a core.
void DoEventsAndWait();

// Milliseconds since an arbitrary start, wrapping at 2^32 (timeGetTime).
uint32_t timeGetTime();

// Seconds since local midnight, with fractions (the runtime's Timer).
double Timer();
// Tests put a clock of their own behind Timer (nullptr restores the real one).
void set_timer_source(double (*seconds_since_midnight)());

// A seed from the time of day for the runtime's random generator.
uint32_t time_seed();

}  // namespace t2::platform
