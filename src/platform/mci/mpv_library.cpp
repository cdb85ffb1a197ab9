#ifdef TAVOLIN2_HAVE_MPV
#include "platform/mci/mpv_library.hpp"

#include <dlfcn.h>

namespace t2::mci {

namespace {

const MpvLibrary* load() {
    // the library this was built against first, then other names it is known by
    static const char* const kNames[] = {TAVOLIN2_MPV_SONAME, "libmpv.so.2", "libmpv.so.1", "libmpv.so"};
    void* handle = nullptr;
    for (const char* name : kNames)
        if ((handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL)) != nullptr) break;
    if (!handle) return nullptr;
    static MpvLibrary lib;
    bool complete = true;
#define T2_MPV_RESOLVE(name)                                                        \
    lib.name = reinterpret_cast<decltype(lib.name)>(::dlsym(handle, "mpv_" #name)); \
    complete = complete && lib.name != nullptr;
    T2_MPV_FUNCTIONS(T2_MPV_RESOLVE)
#undef T2_MPV_RESOLVE
    if (!complete || (lib.client_api_version() >> 16) != (MPV_CLIENT_API_VERSION >> 16)) return nullptr;
    return &lib;
}

}  // namespace

const MpvLibrary* mpv_library() {
    static const MpvLibrary* const lib = load();
    return lib;
}

}  // namespace t2::mci
#endif
