// Message boxes and the end-of-program request, through host-installed handlers.
#include "platform/msgbox.hpp"

#include <cstdio>
#include <cstdlib>

#include "platform/hooks.hpp"

namespace {
struct Handlers {
    T2MessageBoxHandler box = nullptr;
    void* box_ctx = nullptr;
    T2Hook end = nullptr;
    void* end_ctx = nullptr;
};
// Process-wide, like the platform's own windowing: a host installs these once.
Handlers g_handlers;
}  // namespace

T2_API void T2SetMessageBoxHandler(T2MessageBoxHandler handler, void* context) {
    g_handlers.box = handler;
    g_handlers.box_ctx = context;
}

T2_API void T2SetEndProgramHandler(T2Hook hook, void* context) {
    g_handlers.end = hook;
    g_handlers.end_ctx = context;
}

namespace t2::platform {

int MsgBox(const std::string& text, int style, const std::string& head) {
    if (g_handlers.box) {
        int answer = g_handlers.box(g_handlers.box_ctx, text.c_str(), head.c_str(), style);
        return answer ? answer : default_button(style);
    }
    std::fprintf(stderr, "[%s] %s\n", head.c_str(), text.c_str());
    return default_button(style);
}

void EndProgram() {
    if (g_handlers.end) {
        g_handlers.end(g_handlers.end_ctx);
        return;
    }
    std::fflush(nullptr);
    std::exit(1);
}

}  // namespace t2::platform
