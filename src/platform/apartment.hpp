// Apartments: each thread that uses the library has a queue of calls that
// other threads hand it; the thread runs them when it turns its message loop
// (DoEvents, the waits inside members, or the host's pump).
//
// A member that turns the loop while it runs (SaveGIF does, every ten rows)
// must not have its own object entered by an unrelated call from another
// apartment: that call would work on the half-done state of the first.  So an
// object is marked busy while one of its members runs, and a carried call to
// a busy object waits in the queue until the member has returned, unless it
// belongs to the same chain of calls (a sink called back by the member, which
// calls the object again), which must get through or both sides would wait.
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
// running the task, when the apartment's thread has ended.  `object` is the
// object the task calls (or nullptr): while it is busy, the task waits.
bool call_in(const ApartmentRef& apartment, const std::function<void()>& task, const void* object = nullptr);

bool is_current(const ApartmentRef& apartment);

// Runs every call queued for the calling thread that may run now; returns how many ran.
int run_pending_calls();

// Waits up to `ms` milliseconds for a call that may run to arrive for the calling thread.
void wait_for_calls(int ms);

// Marks `object` busy on the calling thread while the scope lives (one member running).
// On Windows the platform's own marshalling carries calls between apartments and
// decides when they run, so there is nothing to mark.
class BusyScope {
public:
#ifdef _WIN32
    explicit BusyScope(const void*) {}
#else
    explicit BusyScope(const void* object);
    ~BusyScope();
#endif
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};

}  // namespace t2::platform
