// UTF-8 <-> UTF-16 for the platform's wide calls, and handle conversions.
// Handles of the platform's kernel and graphics objects keep their value in 32
// bits on 64-bit Windows (so 32- and 64-bit processes can share them), which is
// why the layer can hand them out as the 32-bit values the classes store.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace t2::platform::win {

inline std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

inline std::string narrow(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

template <class H>
inline H handle(int32_t value) {
    return reinterpret_cast<H>(static_cast<intptr_t>(value));
}
template <class H>
inline int32_t value_of(H h) {
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(h));
}

}  // namespace t2::platform::win
