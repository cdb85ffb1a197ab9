// The library's string-table resource and its loader (error 326 for a missing entry).
#pragma once

#include <optional>

#include "base/strings.hpp"

namespace t2::vendor {

struct ResourceString {
    int id;
    const char16_t* text;
};

// The string table compiled into the library (defined with the vendor texts).
extern const ResourceString kStringTable[];
extern const int kStringTableSize;

// The runtime's resource-string loader: the entry's text, or error 326
// ("Resource with identifier 'N' not found").
String LoadResString(int32_t id);

}  // namespace t2::vendor
