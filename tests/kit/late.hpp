// Late-bound calls for the kit's tests, through tavolin2/cpp.hpp.
#pragma once

#include <string>
#include <vector>

#include "kit/value.hpp"
#include "tavolin2/cpp.hpp"

namespace kit {

struct Arg {
    std::string name;
    Value value;
};
struct CallError {
    long number;
    std::string description;
    HRESULT status;
};

inline bool invoke(IDispatch* obj, const std::string& member, WORD flags, std::vector<Arg>& args, Value& result,
                   CallError& error) {
    try {
        std::vector<t2::Dispatch::Arg> a;
        for (Arg& x : args) {
            a.push_back({x.name, x.value, nullptr});
        }
        t2::Variant r = t2::Dispatch(obj).invoke(member, flags, std::move(a));
        result = std::move(r);
        return true;
    } catch (const t2::ComError& e) {
        error = {e.number(), e.description(), e.hresult()};
        return false;
    }
}

}  // namespace kit
