// Per-thread call queues for calls carried between apartments.
#include "platform/apartment.hpp"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace t2::platform {

// One pending call: its task, and whether it has run (guarded by the caller's
// apartment, whose thread waits for it).
struct Call {
    std::function<void()> task;
    ApartmentRef caller;
    bool done = false;
};

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
    std::shared_ptr<Call> next() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.empty()) return nullptr;
        auto c = queue_.front();
        queue_.pop_front();
        return c;
    }
    // Marks a call of this apartment's thread as done and wakes the thread.
    void finish(Call& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        call.done = true;
        wake_.notify_all();
    }
    // Waits until the call is done or another call arrives.
    void wait(const Call& call) {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return call.done || !queue_.empty(); });
    }
    bool done(const Call& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        return call.done;
    }
    void wait_for(int ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !queue_.empty(); });
    }
    // The thread ends: later posts fail; calls still queued are answered as not run.
    std::deque<std::shared_ptr<Call>> end() {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        return std::move(queue_);
    }

private:
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

void run_one(Call& c) {
    c.task();
    c.caller->finish(c);
}

}  // namespace

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

bool call_in(const ApartmentRef& apartment, const std::function<void()>& task) {
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
    if (!apartment->post(call)) return false;
    Apartment& self = *call->caller;
    while (!self.done(*call)) {
        run_pending_calls();
        self.wait(*call);
    }
    return ran;
}

}  // namespace t2::platform
