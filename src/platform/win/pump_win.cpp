// DoEvents as the platform's message loop: every message waiting in the
// thread's queue, among them the calls other apartments send this one through
// the platform's proxies.
#include "platform/pump.hpp"

#include "platform/win/wide.hpp"

#include <mmsystem.h>

namespace {
double (*g_timer)() = nullptr;
}  // namespace

namespace t2::platform {

void DoEvents() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // for the host's own loop
            break;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void DoEventsAndWait() {
    DoEvents();
    // wakes at once for a new message, else after a millisecond
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
}

uint32_t timeGetTime() { return ::timeGetTime(); }

void set_timer_source(double (*seconds_since_midnight)()) { g_timer = seconds_since_midnight; }

double Timer() {
    if (g_timer) return g_timer();
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond + t.wMilliseconds / 1000.0;
}

uint32_t time_seed() {
    LARGE_INTEGER c;
    ::QueryPerformanceCounter(&c);
    FILETIME f;
    ::GetSystemTimeAsFileTime(&f);
    return static_cast<uint32_t>(c.QuadPart) ^ f.dwLowDateTime ^ (f.dwHighDateTime * 1000003u);
}

}  // namespace t2::platform
