// Windows-1252 to and from UTF-16.
#include "base/codepage.hpp"

namespace t2 {

namespace {
// Windows-1252 0x80..0x9F; 0 marks the five bytes the code page leaves undefined
// (they map to the C1 control of the same number, as the platform does).
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
}  // namespace

uint8_t to_cp1252(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<uint8_t>(c);
    for (int k = 0; k < 32; ++k) {
        char16_t m = kCp1252High[k] ? kCp1252High[k] : static_cast<char16_t>(0x80 + k);
        if (kCp1252High[k] == 0 && c == 0x80 + k) return static_cast<uint8_t>(0x80 + k);
        if (kCp1252High[k] != 0 && c == m) return static_cast<uint8_t>(0x80 + k);
    }
    return 63;
}

char16_t from_cp1252(uint8_t b) {
    if (b < 0x80 || b >= 0xA0) return b;
    char16_t m = kCp1252High[b - 0x80];
    return m ? m : static_cast<char16_t>(b);
}

std::string to_code_page(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char16_t c : s) out.push_back(static_cast<char>(to_cp1252(c)));
    return out;
}

std::u16string from_code_page(const char* p, size_t n) {
    std::u16string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) out.push_back(from_cp1252(static_cast<uint8_t>(p[i])));
    return out;
}

}  // namespace t2
