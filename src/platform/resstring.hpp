// String resources of this module (Windows only): LoadStringA on the DLL.
#pragma once

#include <optional>
#include <string>

namespace t2::platform {

// The text of string resource `id` in the code page of the process, or
// nothing when the module has no such entry.
std::optional<std::string> load_string(unsigned id);

}  // namespace t2::platform
