// Message pump hook and clocks over POSIX.
#include "platform/pump.hpp"

#include <chrono>
#include <ctime>
#include <thread>

#include "platform/apartment.hpp"
#include "platform/hooks.hpp"

namespace {
T2Hook g_pump = nullptr;
double (*g_timer)() = nullptr;
void* g_pump_ctx = nullptr;
}  // namespace

T2_API void T2SetDoEventsHook(T2Hook hook, void* context) {
    g_pump = hook;
    g_pump_ctx = context;
}

namespace t2::platform {

void DoEvents() {
    run_pending_calls();  // calls other apartments carried to this thread
    if (g_pump)
        g_pump(g_pump_ctx);
    else
        std::this_thread::yield();
}

void DoEventsAndWait() {
    DoEvents();
    std::this_thread::sleep_for(std::chrono::microseconds(500));
}

uint32_t timeGetTime() {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(ms);
}

void set_timer_source(double (*seconds_since_midnight)()) { g_timer = seconds_since_midnight; }

double Timer() {
    if (g_timer) return g_timer();
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    time_t secs = ts.tv_sec;
    localtime_r(&secs, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + ts.tv_nsec / 1e9;
}

uint32_t time_seed() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<uint32_t>(ts.tv_sec * 1000003u) ^ static_cast<uint32_t>(ts.tv_nsec);
}

}  // namespace t2::platform
