// One owned VARIANT and UTF-8 texts, for the kit's objects.
#pragma once

#include <cstdlib>
#include <string>

#include "tavolin2/cpp.hpp"
#include "tavolin2/tavolin2.h"

namespace kit {

// One owned VARIANT: the public C++ holder.
using Value = t2::Variant;

inline std::string utf8(BSTR b) {  // the whole text, NUL characters included
    size_t n = 0;
    char* p = T2StringToUTF8Length(b, &n);
    std::string s = p ? std::string(p, n) : std::string();
    std::free(p);
    return s;
}

}  // namespace kit
