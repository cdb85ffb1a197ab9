// Object: a caller's object (picture box, list box, picture) called by member
// name at run time.  Calls through an unset reference raise 91; a member the
// object does not have raises 438; the member's own errors come back numbered.
#pragma once

#include <initializer_list>
#include <vector>

#include "comptr.hpp"
#include "variant.hpp"

namespace t2 {

class Object {
public:
    Object() = default;
    Object(std::nullptr_t) {}
    explicit Object(IDispatch* d) : d_(d) {}  // AddRefs
    static Object adopt(IDispatch* d) {
        Object o;
        o.d_ = ComPtr<IDispatch>::adopt(d);
        return o;
    }

    IDispatch* get() const { return d_.get(); }
    IDispatch* detach() { return d_.detach(); }

    // Late-bound calls.  Arguments are given in call order.
    Variant call(const String& member, std::vector<Variant> args = {}) const;
    Variant get(const String& member, std::vector<Variant> args = {}) const;
    void put(const String& member, const Variant& value) const;
    // The default member (member id 0), read as a property.
    Variant value() const;

    bool operator==(const Object& o) const { return d_ == o.d_; }

private:
    Variant invoke(const String& member, WORD flags, std::vector<Variant>& args, bool put) const;
    Variant invoke_id(DISPID id, WORD flags, std::vector<Variant>& args, bool put) const;
    ComPtr<IDispatch> d_;
};

}  // namespace t2
