// BSTR allocation (exported) and UTF-8/UTF-16 conversion.
#include "base/strings.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

#ifndef _WIN32
// The BSTR runtime; on Windows it is the platform's (OLEAUT32).
namespace {

// [uint32 pad][uint32 byte length][UTF-16 characters][u'\0']; the BSTR points
// at the first character, 8 bytes in, so it stays 8-byte aligned.
constexpr size_t kHeader = 8;

BSTR alloc_bytes(const void* data, UINT bytes) {
    if (bytes > 0x7FFFFFF0u) return nullptr;
    auto* base = static_cast<unsigned char*>(std::malloc(kHeader + bytes + sizeof(OLECHAR)));
    if (!base) return nullptr;
    uint32_t len = bytes;
    std::memset(base, 0, 4);
    std::memcpy(base + 4, &len, 4);
    if (data)
        std::memcpy(base + kHeader, data, bytes);
    else
        std::memset(base + kHeader, 0, bytes);
    std::memset(base + kHeader + bytes, 0, sizeof(OLECHAR));
    return reinterpret_cast<BSTR>(base + kHeader);
}

}  // namespace

T2_API BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
    if (cch > 0x3FFFFFF0u) return nullptr;
    return alloc_bytes(pch, cch * 2u);
}

T2_API BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    UINT n = 0;
    while (psz[n]) ++n;
    return SysAllocStringLen(psz, n);
}

T2_API void SysFreeString(BSTR bstr) {
    if (bstr) std::free(reinterpret_cast<unsigned char*>(bstr) - kHeader);
}

T2_API UINT SysStringByteLen(BSTR bstr) {
    if (!bstr) return 0;
    uint32_t len;
    std::memcpy(&len, reinterpret_cast<unsigned char*>(bstr) - 4, 4);
    return len;
}

T2_API UINT SysStringLen(BSTR bstr) { return SysStringByteLen(bstr) / 2u; }

#endif

T2_API BSTR SysAllocStringUTF8(const char* utf8) {
    if (!utf8) return nullptr;
    try {
        auto s = t2::from_utf8(utf8);
        return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    } catch (...) {
        return nullptr;
    }
}

T2_API BSTR T2StringFromUTF8(const char* utf8, size_t length) {
    if (!utf8 && length > 0) return nullptr;
    try {
        auto s = t2::from_utf8(std::string_view(utf8 ? utf8 : "", length));
        return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    } catch (...) {
        return nullptr;
    }
}

T2_API char* T2StringToUTF8Length(BSTR bstr, size_t* length) {
    try {
        auto s = t2::to_utf8(t2::bstr_view(bstr));
        char* r = static_cast<char*>(std::malloc(s.size() + 1));
        if (r) std::memcpy(r, s.c_str(), s.size() + 1);
        if (r && length) *length = s.size();
        return r;
    } catch (...) {
        return nullptr;
    }
}

T2_API char* T2StringToUTF8(BSTR bstr) { return T2StringToUTF8Length(bstr, nullptr); }

namespace t2 {

BSTR to_bstr(std::u16string_view s) {
    if (s.size() > 0x3FFFFFF0u) throw std::bad_alloc();
    BSTR b = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    if (!b) throw std::bad_alloc();
    return b;
}

namespace {

// A byte that is not part of valid UTF-8 becomes the lone surrogate U+DC80-U+DCFF
// of its value, and to_utf8 gives the byte back: a file name in another encoding
// (caf\xE9) survives the trip through a String and names the same file.
char16_t escaped(unsigned char byte) { return static_cast<char16_t>(0xDC00 + byte); }

}  // namespace

String from_utf8(std::string_view in) {
    String out;
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        auto c = static_cast<unsigned char>(in[i]);
        uint32_t cp;
        size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else {
            out.push_back(escaped(c));  // stray byte
            ++i;
            continue;
        }
        bool ok = i + len <= in.size();
        for (size_t k = 1; ok && k < len; ++k) {
            auto cc = static_cast<unsigned char>(in[i + k]);
            if ((cc & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || (len == 2 && cp < 0x80) ||
            (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000)) {
            out.push_back(escaped(c));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string to_utf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        uint32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
            out.push_back(static_cast<char>(cp - 0xDC00));  // a byte that was no UTF-8, given back
            continue;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // unpaired surrogate
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

bool equal_nocase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
        if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
        if (x != y) return false;
    }
    return true;
}

}  // namespace t2
