// String resources of the DLL through LoadStringA.
#include "platform/resstring.hpp"

#include "platform/win/wide.hpp"

namespace t2::platform {

std::optional<std::string> load_string(unsigned id) {
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&load_string), &self);
    char buffer[4096];
    int n = ::LoadStringA(self, id, buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace t2::platform
