// The 8-bit file name of a member's String argument.  A name holding a NUL
// would end early at the platform and reach another file: error 52.
#pragma once

#include <string>

#include "frame/com.hpp"

namespace t2 {

inline std::string file_name(const String& name) {
    if (name.find(u'\0') != String::npos) raise(err::BadFileName, u"Bad file name or number: the name holds a NUL");
    return to_utf8(name);
}

}  // namespace t2
