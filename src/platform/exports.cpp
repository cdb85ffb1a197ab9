// The platform calls hosts make (tavolin2/platform.h): C entry points over the
// drawing surfaces and the media channel, so a host shares the library's
// handle table without reaching its C++ internals.
#include "tavolin2/platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/codepage.hpp"
#include "base/strings.hpp"
#include "platform/errtext.hpp"
#include "platform/files.hpp"
#include "platform/gdi/gdi.hpp"
#include "platform/mci/mci.hpp"

namespace g = t2::gdi;

// The public records are the platform layer's own, field for field.
static_assert(sizeof(T2BITMAPINFO) == sizeof(g::BITMAPINFO));
static_assert(sizeof(T2BITMAP) == sizeof(g::BITMAP));
static_assert(sizeof(T2LOGFONT) == sizeof(g::LOGFONTA));
static_assert(sizeof(T2TEXTMETRIC) == sizeof(g::TEXTMETRICA));
static_assert(sizeof(T2RECT) == sizeof(g::RECT) && sizeof(T2SIZE) == sizeof(g::SIZE));

T2_API T2HGDI T2CreateCompatibleDC(T2HGDI hdc) { return g::CreateCompatibleDC(hdc); }
T2_API int T2DeleteDC(T2HGDI hdc) { return g::DeleteDC(hdc); }
T2_API T2HGDI T2SelectObject(T2HGDI hdc, T2HGDI obj) { return g::SelectObject(hdc, obj); }
T2_API int T2DeleteObject(T2HGDI obj) { return g::DeleteObject(obj); }
T2_API T2HGDI T2GetCurrentObject(T2HGDI hdc, int kind) { return g::GetCurrentObject(hdc, kind); }
T2_API int T2GetObject(T2HGDI obj, int size, void* buffer) { return g::GetObjectA(obj, size, buffer); }
T2_API int T2GetObjectType(T2HGDI obj) { return g::GetObjectType(obj); }
T2_API T2HGDI T2CreateDIBSection(T2HGDI hdc, const T2BITMAPINFO* bmi, uint32_t usage, int32_t* bits32) {
    return g::CreateDIBSection(hdc, reinterpret_cast<const g::BITMAPINFO*>(bmi), usage, bits32, nullptr, 0);
}
T2_API T2HGDI T2CreateCompatibleBitmap(T2HGDI hdc, int32_t width, int32_t height) {
    return g::CreateCompatibleBitmap(hdc, width, height);
}
T2_API int T2BitBlt(T2HGDI dst, int32_t x, int32_t y, int32_t cx, int32_t cy, T2HGDI src, int32_t x1, int32_t y1,
                    uint32_t rop) {
    return g::BitBlt(dst, x, y, cx, cy, src, x1, y1, rop);
}
T2_API T2HGDI T2CreateSolidBrush(T2COLORREF color) { return g::CreateSolidBrush(color); }
T2_API int T2FillRect(T2HGDI hdc, const T2RECT* rect, T2HGDI brush) {
    return g::FillRect(hdc, reinterpret_cast<const g::RECT*>(rect), brush);
}
T2_API T2COLORREF T2SetPixel(T2HGDI hdc, int32_t x, int32_t y, T2COLORREF color) {
    return g::SetPixel(hdc, x, y, color);
}
T2_API T2COLORREF T2GetPixel(T2HGDI hdc, int32_t x, int32_t y) { return g::GetPixel(hdc, x, y); }
T2_API T2HGDI T2CreateFontIndirect(const T2LOGFONT* lf) {
    return g::CreateFontIndirectA(reinterpret_cast<const g::LOGFONTA*>(lf));
}
T2_API int T2GetTextMetrics(T2HGDI hdc, T2TEXTMETRIC* tm) {
    return g::GetTextMetricsA(hdc, reinterpret_cast<g::TEXTMETRICA*>(tm));
}
T2_API int T2GetTextExtentPoint32(T2HGDI hdc, const char* text, int length, T2SIZE* size) {
    return g::GetTextExtentPoint32A(hdc, text, length, reinterpret_cast<g::SIZE*>(size));
}
T2_API int T2TextOut(T2HGDI hdc, int32_t x, int32_t y, const char* text, int length) {
    return g::TextOutA(hdc, x, y, text, length);
}
T2_API T2COLORREF T2SetTextColor(T2HGDI hdc, T2COLORREF color) { return g::SetTextColor(hdc, color); }
T2_API T2COLORREF T2SetBkColor(T2HGDI hdc, T2COLORREF color) { return g::SetBkColor(hdc, color); }
T2_API int T2SetBkMode(T2HGDI hdc, int mode) { return g::SetBkMode(hdc, mode); }
T2_API int T2GetSurface(T2HGDI h, T2SURFACE* out) {
    g::Surface s;
    if (!out || !g::surface_of(h, s)) return 0;
    *out = T2SURFACE{s.width, s.height, s.bpp, s.step, s.top, reinterpret_cast<const T2RGBQUAD*>(s.colors)};
    return 1;
}

T2_API uint32_t T2mciSendString(const char* command, char* reply, uint32_t length, int32_t callback) {
    return t2::mci::mciSendStringA(command, reply, length, callback);
}
T2_API int T2mciGetErrorString(uint32_t code, char* text, uint32_t length) {
    return t2::mci::mciGetErrorStringA(code, text, length);
}
T2_API const char* T2MediaBackend(int* real) {
    if (real) *real = t2::mci::real_backend_available() ? 1 : 0;
    return t2::mci::backend_name();
}

T2_API int T2WriteWholeFile(const char* path, const void* data, size_t bytes) {
    if (!path || (!data && bytes > 0)) {
        t2::platform::SetLastError(87);
        return EINVAL;
    }
    try {
        return t2::platform::write_whole_file(path, data, bytes);
    } catch (...) {
        t2::platform::SetLastError(8);
        return ENOMEM;
    }
}

T2_API uint32_t T2GetLastError(void) { return t2::platform::GetLastError(); }

T2_API uint32_t T2FormatMessage(uint32_t code, char* text, uint32_t length) {
    uint32_t n =
        t2::platform::FormatMessageA(t2::platform::FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text, length, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) text[--n] = '\0';
    return n;
}

T2_API int T2TextToCodePage(const char* utf8, char* out, uint32_t length) {
    if (!utf8) return 0;
    try {
        const std::u16string text = t2::from_utf8(utf8);
        std::string bytes;
        int lost = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (c >= 0xDC80 && c <= 0xDCFF) {  // a byte of no UTF-8 sequence: already the code page's
                bytes.push_back(static_cast<char>(c - 0xDC00));
                continue;
            }
            const uint8_t b = t2::to_cp1252(c);
            lost += b == '?' && c != u'?';
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) ++i;  // one character, two units
            bytes.push_back(static_cast<char>(b));
        }
        if (out && length > 0) {
            const size_t n = std::min<size_t>(bytes.size(), length - 1);
            std::memcpy(out, bytes.data(), n);
            out[n] = '\0';
        }
        return lost;
    } catch (...) {
        return 0;
    }
}
