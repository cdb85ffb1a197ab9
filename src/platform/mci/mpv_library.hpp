// libmpv, opened the first time media is opened rather than when the library
// loads: libmpv brings some two hundred shared libraries of its own, whose
// binding cost every program that loads us tens of milliseconds at start,
// media or not.  A machine without libmpv gets no real player (the channel
// simulates and says so) instead of a library that does not load.
#pragma once
#ifdef TAVOLIN2_HAVE_MPV
#include <mpv/client.h>

namespace t2::mci {

// clang-format off
#define T2_MPV_FUNCTIONS(X) \
    X(client_api_version) \
    X(create) \
    X(initialize) \
    X(terminate_destroy) \
    X(set_option_string) \
    X(set_property) \
    X(set_property_string) \
    X(get_property) \
    X(command) \
    X(command_node) \
    X(wait_event)
// clang-format on

struct MpvLibrary {
#define T2_MPV_POINTER(name) decltype(&::mpv_##name) name = nullptr;
    T2_MPV_FUNCTIONS(T2_MPV_POINTER)
#undef T2_MPV_POINTER
};

// The loaded library, or null when it is missing, lacks a function or speaks another major
// version of the client interface.  Loaded once; never unloaded (its threads may outlive a player).
const MpvLibrary* mpv_library();

}  // namespace t2::mci
#endif
