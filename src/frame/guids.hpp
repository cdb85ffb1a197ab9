// GUID comparison and text form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
#pragma once

#include <cstring>
#include <optional>
#include <string>

#include "tavolin2/tavolin2.h"

inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

namespace t2 {
std::string guid_text(const GUID& g);
std::optional<GUID> parse_guid(const std::string& text);
}  // namespace t2
