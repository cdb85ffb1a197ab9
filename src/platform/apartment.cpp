// Per-thread call queues for calls carried between apartments.
#include "platform/apartment.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace t2::platform {

// One pending call: its task, the object it enters, the chain of calls it
// belongs to, and whether it has run (guarded by the caller's apartment, whose
// thread waits for it).
struct Call {
    std::function<void()> task;
    ApartmentRef caller;
    const void* object = nullptr;
    uint64_t chain = 0;
    bool done = false;
};

namespace {

// What the calling thread is inside: the objects whose members run (with the
// chain each started in), and the chain of the carried call it runs (0 when it
// runs its own code: then the chain is the thread's own).
struct Busy {
    const void* object;
    uint64_t chain;
};
thread_local std::vector<Busy> t_busy;
thread_local uint64_t t_chain = 0;

uint64_t own_chain();

uint64_t current_chain() { return t_chain ? t_chain : own_chain(); }

// A carried call may run now unless it enters an object busy in another chain.
bool may_run(const Call& c) {
    if (!c.object) return true;
    for (const Busy& b : t_busy)
        if (b.object == c.object && b.chain != c.chain) return false;
    return true;
}

}  // namespace

class Apartment {
public:
    // Queues a call; false when the thread has ended.
    bool post(const std::shared_ptr<Call>& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (ended_) return false;
        queue_.push_back(call);
        wake_.notify_all();
        return true;
    }
    // The first queued call that may run now (called by the apartment's own thread).
    std::shared_ptr<Call> next() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = queue_.begin(); it != queue_.end(); ++it)
            if (may_run(**it)) {
                auto c = *it;
                queue_.erase(it);
                return c;
            }
        return nullptr;
    }
    // Marks a call of this apartment's thread as done and wakes the thread.
    void finish(Call& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        call.done = true;
        wake_.notify_all();
    }
    // Waits until the call is done or a call that may run arrives.
    void wait(const Call& call) {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return call.done || runnable(); });
    }
    bool done(const Call& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        return call.done;
    }
    void wait_for(int ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return runnable(); });
    }
    // The thread ends: later posts fail; calls still queued are answered as not run.
    std::deque<std::shared_ptr<Call>> end() {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        return std::move(queue_);
    }
    const uint64_t chain = next_chain_++;  // the chain of the thread's own calls

private:
    bool runnable() const {
        for (auto& c : queue_)
            if (may_run(*c)) return true;
        return false;
    }
    static inline std::atomic<uint64_t> next_chain_{1};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Call>> queue_;
    bool ended_ = false;
};

namespace {

struct ThreadApartment {
    ApartmentRef apartment = std::make_shared<Apartment>();
    ~ThreadApartment() {
        // calls that will never run: their callers get "not run" (the task stays unrun)
        for (auto& c : apartment->end()) c->caller->finish(*c);
    }
};

ThreadApartment& this_thread_apartment() {
    thread_local ThreadApartment t;
    return t;
}

uint64_t own_chain() { return this_thread_apartment().apartment->chain; }

void run_one(Call& c) {
    const uint64_t outer = t_chain;
    t_chain = c.chain;  // what the task calls belongs to the caller's chain
    c.task();
    t_chain = outer;
    c.caller->finish(c);
}

}  // namespace

BusyScope::BusyScope(const void* object) { t_busy.push_back({object, current_chain()}); }
BusyScope::~BusyScope() { t_busy.pop_back(); }

ApartmentRef current_apartment() { return this_thread_apartment().apartment; }

bool is_current(const ApartmentRef& apartment) { return apartment == current_apartment(); }

int run_pending_calls() {
    Apartment& self = *current_apartment();
    int n = 0;
    while (auto c = self.next()) {
        run_one(*c);
        ++n;
    }
    return n;
}

void wait_for_calls(int ms) { current_apartment()->wait_for(ms); }

bool call_in(const ApartmentRef& apartment, const std::function<void()>& task, const void* object) {
    if (!apartment) return false;
    if (is_current(apartment)) {
        task();
        return true;
    }
    auto call = std::make_shared<Call>();
    bool ran = false;
    call->task = [&] {
        task();
        ran = true;
    };
    call->caller = current_apartment();
    call->object = object;
    call->chain = current_chain();
    if (!apartment->post(call)) return false;
    Apartment& self = *call->caller;
    while (!self.done(*call)) {
        run_pending_calls();
        self.wait(*call);
    }
    return ran;
}

}  // namespace t2::platform
