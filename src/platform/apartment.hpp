// Apartments: each thread that uses the library has a queue of calls that
// other threads hand it; the thread runs them when it turns its message loop
// (DoEvents, the waits inside members, or the host's pump).
#pragma once

#include <functional>
#include <memory>

namespace t2::platform {

class Apartment;
using ApartmentRef = std::shared_ptr<Apartment>;

// The calling thread's apartment, made on first use; it ends with the thread.
ApartmentRef current_apartment();

// Runs `task` on the apartment's thread and waits for it, running the calling
// thread's own queue meanwhile (so a call back into the caller's apartment,
// such as an event to a sink that lives here, gets through).  On the
// apartment's own thread the task runs at once.  Returns false, without
// running the task, when the apartment's thread has ended.
bool call_in(const ApartmentRef& apartment, const std::function<void()>& task);

bool is_current(const ApartmentRef& apartment);

// Runs every call queued for the calling thread; returns how many ran.
int run_pending_calls();

// Waits up to `ms` milliseconds for a call to arrive for the calling thread.
void wait_for_calls(int ms);

}  // namespace t2::platform
