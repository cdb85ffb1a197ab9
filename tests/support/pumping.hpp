// Work on another thread while this one serves the calls it sends here.
#pragma once

#include <functional>
#include <thread>

#include "tavolin2/tavolin2.h"

namespace t2test {

// Runs `work` on a new thread while this thread turns its message loop for the
// calls that thread carries here (through proxies of this thread's objects).
inline void on_worker_while_pumping(const std::function<void()>& work) {
    volatile LONG stop = 0;
    std::thread worker([&] {
        work();
        __atomic_store_n(const_cast<LONG*>(&stop), 1, __ATOMIC_RELEASE);  // read by the loop on this thread
    });
    T2RunMessageLoop(&stop);
    worker.join();
}

}  // namespace t2test
