// The class table of the nine public classes, the object and lock counts.
#include <atomic>
#include <cctype>

#include "com.hpp"

namespace t2 {

namespace {
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
}  // namespace

void object_created() noexcept { ++g_objects; }
void object_destroyed() noexcept { --g_objects; }
long live_objects() noexcept { return g_objects.load(); }
void server_lock(bool lock) noexcept {
    if (lock)
        ++g_locks;
    else if (g_locks > 0)
        --g_locks;
}
long server_locks() noexcept { return g_locks.load(); }

#define T2_EVENTS_0(iface) nullptr
#define T2_EVENTS_1(iface) &DIID__##iface
#define T2_CLASS_ROW(cls, iface, inst, ev)                 \
    const ClassInfo kClass_##cls{u"" #cls,                 \
                                 "TAVOLIN2." #cls,         \
                                 &CLSID_##cls,             \
                                 &IID_##iface,             \
                                 T2_APPOBJ_##inst,         \
                                 T2_EVENTS_##ev(iface),    \
                                 &interface_spec<iface>(), \
                                 &create_##cls};
#define T2_APPOBJ_CREATABLE false
#define T2_APPOBJ_APPOBJECT true
T2_CLASSES(T2_CLASS_ROW)
#undef T2_CLASS_ROW

#define T2_CLASS_PTR(cls, iface, inst, ev) &kClass_##cls,
const ClassInfo* const kClasses[] = {T2_CLASSES(T2_CLASS_PTR)};
#undef T2_CLASS_PTR

const ClassInfo* const* all_classes(size_t& count) {
    count = sizeof kClasses / sizeof kClasses[0];
    return kClasses;
}

const ClassInfo* find_class(const CLSID& clsid) {
    for (const ClassInfo* c : kClasses)
        if (*c->clsid == clsid) return c;
    return nullptr;
}

const ClassInfo* find_class(std::string_view progid) {
    for (const ClassInfo* c : kClasses) {
        std::string_view p = c->progid;
        if (p.size() != progid.size()) continue;
        bool same = true;
        for (size_t i = 0; i < p.size() && same; ++i)
            same =
                std::tolower(static_cast<unsigned char>(p[i])) == std::tolower(static_cast<unsigned char>(progid[i]));
        if (same) return c;
    }
    return nullptr;
}

}  // namespace t2
