// Text: the UTF-16 String, the BSTR runtime and UTF-8 conversion; below both
// the platform and the frame, so either can use them.
#pragma once

#include <string>
#include <string_view>

#include "tavolin2/abi.h"

namespace t2 {

using String = std::u16string;

// UTF-8 to UTF-16 and back.  A byte of no valid sequence becomes U+DC80-U+DCFF
// (its value + 0xDC00) and goes back as that byte, so any byte string, such as
// a file name in another encoding, survives the round trip; other unpaired
// surrogates become U+FFFD.
String from_utf8(std::string_view utf8);
std::string to_utf8(std::u16string_view text);

// BSTR <-> String; a null BSTR is the empty string.
inline std::u16string_view bstr_view(BSTR b) {
    return b ? std::u16string_view(b, SysStringLen(b)) : std::u16string_view();
}
inline String from_bstr(BSTR b) { return String(bstr_view(b)); }
BSTR to_bstr(std::u16string_view s);  // throws std::bad_alloc

// Owns one BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::u16string_view s) : b_(to_bstr(s)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(b_); }
    BSTR get() const { return b_; }
    BSTR* out() {
        SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }
    BSTR release() {
        BSTR r = b_;
        b_ = nullptr;
        return r;
    }
    String str() const { return from_bstr(b_); }

private:
    BSTR b_ = nullptr;
};

// ASCII-only case folding used for member names.
bool equal_nocase(std::u16string_view a, std::u16string_view b);

}  // namespace t2
