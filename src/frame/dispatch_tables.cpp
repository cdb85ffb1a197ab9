// The dispatch table of each interface, expanded from the member rows.
#include "com.hpp"

namespace t2 {

#define T2_TABLE(cls, iface, inst, ev)                                                                     \
    namespace {                                                                                            \
    struct Rows##iface {                                                                                   \
        using I = iface;                                                                                   \
        T2_MEMBERS_##iface(T2_PARAMARRAY) static constexpr MemberSpec rows[] = {                           \
            T2_MEMBERS_##iface(T2_SPECROW) MemberSpec{nullptr, 0, Kind::Method, Type::None, {}, nullptr}}; \
    };                                                                                                     \
    const InterfaceSpec kSpec##iface{u"" #iface, &IID_##iface, Rows##iface::rows,                          \
                                     sizeof Rows##iface::rows / sizeof(MemberSpec) - 1};                   \
    }                                                                                                      \
    template <>                                                                                            \
    const InterfaceSpec& interface_spec<iface>() {                                                         \
        return kSpec##iface;                                                                               \
    }
T2_CLASSES(T2_TABLE)
#undef T2_TABLE

}  // namespace t2
