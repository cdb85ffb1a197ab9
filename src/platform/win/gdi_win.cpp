// The graphics device interface is the platform's own: each call goes to GDI
// (and the clipboard to USER) with the 32-bit handle values the classes keep.
// Only the 24-byte BITMAP record is translated: the classes read the one of a
// 32-bit platform, whose pixel address is a 32-bit value.
//
// Colour matching is the library's own: a transfer or a scan-line read from a
// picture into an 8-bit one with another colour table takes the exact nearest
// colour of that table (colormatch.hpp), as the Linux build does, so the GIF
// files of both builds are the same bytes.  That holds for pictures of more
// than 256 colours and for those of 8 bits and fewer with a colour table of
// their own (a picture the platform loaded from an 8-bit file): the platform
// would hand out those pictures' own indices, or match by a rule of its own
// that trades exactness for speed and differs between platform versions.
// Only a picture whose colour table is the destination's keeps its indices.
#include "platform/gdi/gdi.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "base/colormatch.hpp"
#include "platform/gdi/clip.hpp"

#include "platform/win/wide.hpp"

namespace t2::gdi {

using platform::win::handle;
using platform::win::value_of;

namespace {
HDC dc(HGDI h) { return handle<HDC>(h); }
HGDIOBJ obj(HGDI h) { return handle<HGDIOBJ>(h); }

// The matchers of the last two colour tables (a save matches a whole picture against one).
std::shared_ptr<ColorMatcher> matcher_for(const ::RGBQUAD* colors, int count) {
    struct Kept {
        std::vector<::RGBQUAD> table;
        std::shared_ptr<ColorMatcher> matcher;
    };
    static std::mutex lock;
    static std::vector<Kept> kept;  // most recent last
    std::lock_guard<std::mutex> hold(lock);
    for (size_t i = 0; i < kept.size(); ++i)
        if (static_cast<int>(kept[i].table.size()) == count &&
            std::memcmp(kept[i].table.data(), colors, sizeof(::RGBQUAD) * static_cast<size_t>(count)) == 0) {
            std::rotate(kept.begin() + static_cast<std::ptrdiff_t>(i),
                        kept.begin() + static_cast<std::ptrdiff_t>(i) + 1, kept.end());
            return kept.back().matcher;
        }
    auto m = std::make_shared<ColorMatcher>(color_entries(colors), count);
    if (kept.size() == 2) kept.erase(kept.begin());
    kept.push_back({std::vector<::RGBQUAD>(colors, colors + count), m});
    return m;
}

// The colour table of an 8-bit picture: through the context it is
// selected into, else one of our own, else the description the platform gives
// of it.  Empty when it has none.
std::vector<::RGBQUAD> own_colours(HDC hdc, HBITMAP b) {
    std::vector<::RGBQUAD> colors(256);
    UINT n = 0;
    if (hdc && ::GetCurrentObject(hdc, OBJ_BITMAP) == b) {
        n = ::GetDIBColorTable(hdc, 0, 256, colors.data());
    } else if (HDC own = ::CreateCompatibleDC(hdc)) {
        if (HGDIOBJ old = ::SelectObject(own, b)) {
            n = ::GetDIBColorTable(own, 0, 256, colors.data());
            ::SelectObject(own, old);
        }
        ::DeleteDC(own);
    }
    if (n == 0) {  // selected into a context of somebody else's
        struct {
            ::BITMAPINFOHEADER h;
            ::RGBQUAD c[256];
        } info{};
        info.h = {sizeof(::BITMAPINFOHEADER), 0, 0, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
        ::BITMAP bm{};
        if (::GetObjectA(b, sizeof bm, &bm) == sizeof bm) {
            info.h.biWidth = bm.bmWidth;
            info.h.biHeight = bm.bmHeight;
            if (::GetDIBits(hdc, b, 0, 0, nullptr, reinterpret_cast<::BITMAPINFO*>(&info), DIB_RGB_COLORS)) {
                n = 256;
                std::memcpy(colors.data(), info.c, sizeof(::RGBQUAD) * n);
            }
        }
    }
    colors.resize(n);
    return colors;
}

// Whether a picture's pixels go into an 8-bit picture with colour table
// `colors` (`count` entries) by the library's matching: always from more than
// 256 colours (their rows read as 24 bits are exact on every platform), and
// from 8 bits or fewer unless the picture's colour table is that one.
bool matched_by_colour(HDC hdc, HBITMAP b, const ::RGBQUAD* colors, int count) {
    ::BITMAP bm{};
    if (::GetObjectA(b, sizeof bm, &bm) != sizeof bm) return false;
    if (bm.bmBitsPixel != 8) return true;  // many colours, or 1 or 4 bits: a table of fewer entries
    const std::vector<::RGBQUAD> own = own_colours(hdc, b);
    if (own.empty()) return true;
    const size_t n = std::min(own.size(), static_cast<size_t>(count));
    return own.size() != static_cast<size_t>(count) || std::memcmp(own.data(), colors, sizeof(::RGBQUAD) * n) != 0;
}

int64_t stride_of(int32_t width, int bits) { return ((static_cast<int64_t>(width) * bits + 31) / 32) * 4; }

// `lines` scan lines from `start` (bottom-up) of a bitmap as 24-bit rows.
int rows_24(HDC hdc, HBITMAP b, int32_t width, uint32_t start, uint32_t lines, std::vector<uint8_t>& out) {
    ::BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(::BITMAPINFOHEADER), width, 0, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    ::BITMAP bm{};
    if (::GetObjectA(b, sizeof bm, &bm) != sizeof bm) return 0;
    bi.bmiHeader.biHeight = bm.bmHeight;
    out.resize(static_cast<size_t>(stride_of(width, 24)) * lines);
    return ::GetDIBits(hdc, b, start, lines, out.data(), &bi, DIB_RGB_COLORS);
}

// A copy from a picture of many colours into an 8-bit DIB section, matched by the library's rule;
// false when the transfer is not of that kind (the platform does it then).
bool copy_matched(HDC to, int32_t x, int32_t y, int32_t cx, int32_t cy, HDC from, int32_t sx, int32_t sy) {
    HBITMAP db = static_cast<HBITMAP>(::GetCurrentObject(to, OBJ_BITMAP));
    HBITMAP sb = static_cast<HBITMAP>(::GetCurrentObject(from, OBJ_BITMAP));
    DIBSECTION ds{};
    ::BITMAP sbm{};
    if (!db || !sb || db == sb || ::GetObjectA(db, sizeof ds, &ds) != sizeof ds || !ds.dsBm.bmBits ||
        ds.dsBmih.biBitCount != 8 || ds.dsBmih.biCompression != BI_RGB ||
        ::GetObjectA(sb, sizeof sbm, &sbm) != sizeof sbm)
        return false;
    ::RGBQUAD colors[256];
    const int count = static_cast<int>(::GetDIBColorTable(to, 0, 256, colors));
    if (count <= 0 || !matched_by_colour(from, sb, colors, count)) return false;
    const int32_t dw = ds.dsBm.bmWidth, dh = ds.dsBm.bmHeight;
    // clip to the destination, then to the source
    clip_span(x, sx, cx, dw);
    clip_span(y, sy, cy, dh);
    clip_span(sx, x, cx, sbm.bmWidth);
    clip_span(sy, y, cy, sbm.bmHeight);
    if (cx <= 0 || cy <= 0) return true;
    std::vector<uint8_t> rows;
    // the source's scan lines count from its bottom
    const uint32_t first = static_cast<uint32_t>(sbm.bmHeight - (sy + cy));
    if (rows_24(from, sb, sbm.bmWidth, first, static_cast<uint32_t>(cy), rows) != cy) return false;
    ::GdiFlush();  // the platform's drawing into the section is done before its pixels are written here
    auto matcher = matcher_for(colors, count);
    const int64_t in_stride = stride_of(sbm.bmWidth, 24);
    const bool top_down = ds.dsBmih.biHeight < 0;
    for (int32_t r = 0; r < cy; ++r) {
        // row r from the top of the copy is scan line cy-1-r of what was read
        const uint8_t* in = rows.data() + (cy - 1 - r) * in_stride + static_cast<int64_t>(sx) * 3;
        const int32_t dy = y + r;
        uint8_t* out = static_cast<uint8_t*>(ds.dsBm.bmBits) +
                       static_cast<int64_t>(top_down ? dy : dh - 1 - dy) * ds.dsBm.bmWidthBytes + x;
        matcher->row(in, cx, out);
    }
    return true;
}
}  // namespace

HGDI CreateCompatibleDC(HGDI hdc) { return value_of(::CreateCompatibleDC(dc(hdc))); }
HGDI CreateDCA(const char* driver, const char* device, const char* output, const void* init) {
    return value_of(::CreateDCA(driver, device, output, static_cast<const DEVMODEA*>(init)));
}
int DeleteDC(HGDI hdc) { return ::DeleteDC(dc(hdc)); }
HGDI SelectObject(HGDI hdc, HGDI o) { return value_of(::SelectObject(dc(hdc), obj(o))); }
int DeleteObject(HGDI o) { return ::DeleteObject(obj(o)); }
HGDI GetStockObject(int which) { return value_of(::GetStockObject(which)); }
HGDI GetCurrentObject(HGDI hdc, int kind) { return value_of(::GetCurrentObject(dc(hdc), static_cast<UINT>(kind))); }
int GetObjectType(HGDI o) { return static_cast<int>(::GetObjectType(obj(o))); }

int GetObjectA(HGDI o, int size, void* buffer) {
    if (::GetObjectType(obj(o)) == OBJ_BITMAP && buffer && size == static_cast<int>(sizeof(BITMAP))) {
        ::BITMAP bm{};
        if (!::GetObjectA(obj(o), sizeof bm, &bm)) return 0;
        BITMAP out{bm.bmType, bm.bmWidth, bm.bmHeight, bm.bmWidthBytes, bm.bmPlanes, bm.bmBitsPixel, 0};
        const auto address = reinterpret_cast<uintptr_t>(bm.bmBits);
        if (address <= 0x7FFFFFFFu) out.bmBits = static_cast<int32_t>(address);
        std::memcpy(buffer, &out, sizeof out);
        return static_cast<int>(sizeof out);
    }
    return ::GetObjectA(obj(o), size, buffer);
}

HGDI CreateDIBSection(HGDI hdc, const BITMAPINFO* bmi, uint32_t usage, int32_t* bits32, void* section,
                      uint32_t offset) {
    void* bits = nullptr;
    HBITMAP b = ::CreateDIBSection(dc(hdc), reinterpret_cast<const ::BITMAPINFO*>(bmi), usage, &bits,
                                   static_cast<HANDLE>(section), offset);
    if (bits32) {
        const auto address = reinterpret_cast<uintptr_t>(bits);
        *bits32 = address <= 0x7FFFFFFFu ? static_cast<int32_t>(address) : 0;
    }
    return value_of(b);
}

HGDI CreateCompatibleBitmap(HGDI hdc, int32_t width, int32_t height) {
    return value_of(::CreateCompatibleBitmap(dc(hdc), width, height));
}

int GetDIBits(HGDI hdc, HGDI bitmap, uint32_t start, uint32_t lines, void* bits, BITMAPINFO* bmi, uint32_t usage) {
    HBITMAP b = handle<HBITMAP>(bitmap);
    // 8-bit rows in the caller's colour table of a picture of many colours, or of
    // one with a colour table of its own: matched by the library's rule
    const uint32_t used = bmi ? bmi->bmiHeader.biClrUsed : 0;
    const int count = used && used < 256 ? static_cast<int>(used) : 256;
    if (bits && bmi && usage == DIB_RGB_COLORS && bmi->bmiHeader.biBitCount == 8 &&
        bmi->bmiHeader.biCompression == BI_RGB && bmi->bmiHeader.biWidth > 0 &&
        matched_by_colour(dc(hdc), b, reinterpret_cast<const ::RGBQUAD*>(bmi->bmiColors), count)) {
        const int32_t w = bmi->bmiHeader.biWidth;
        std::vector<uint8_t> rows;
        const int got = rows_24(dc(hdc), b, w, start, lines, rows);
        if (got <= 0) return got;
        auto matcher = matcher_for(reinterpret_cast<const ::RGBQUAD*>(bmi->bmiColors), count);
        const int64_t in_stride = stride_of(w, 24), out_stride = stride_of(w, 8);
        for (int k = 0; k < got; ++k) {
            uint8_t* out = static_cast<uint8_t*>(bits) + k * out_stride;
            matcher->row(rows.data() + k * in_stride, w, out);
            std::fill(out + w, out + out_stride, uint8_t{0});
        }
        return got;
    }
    return ::GetDIBits(dc(hdc), handle<HBITMAP>(bitmap), start, lines, bits, reinterpret_cast<::BITMAPINFO*>(bmi),
                       usage);
}

int SetDIBits(HGDI hdc, HGDI bitmap, uint32_t start, uint32_t lines, const void* bits, const BITMAPINFO* bmi,
              uint32_t usage) {
    return ::SetDIBits(dc(hdc), handle<HBITMAP>(bitmap), start, lines, bits, reinterpret_cast<const ::BITMAPINFO*>(bmi),
                       usage);
}

uint8_t* bitmap_bits(HGDI bitmap) {
    DIBSECTION ds{};
    if (::GetObjectA(obj(bitmap), sizeof ds, &ds) != sizeof ds) return nullptr;
    return static_cast<uint8_t*>(ds.dsBm.bmBits);
}

uint8_t* bitmap_bits(HGDI bitmap, size_t bytes) {
    DIBSECTION ds{};
    if (::GetObjectA(obj(bitmap), sizeof ds, &ds) != sizeof ds || !ds.dsBm.bmBits) return nullptr;
    const size_t size = static_cast<size_t>(ds.dsBm.bmWidthBytes) * static_cast<size_t>(ds.dsBm.bmHeight);
    return size >= bytes ? static_cast<uint8_t*>(ds.dsBm.bmBits) : nullptr;
}

bool addresses_fit_32_bits() { return sizeof(void*) == 4; }

int BitBlt(HGDI dst, int32_t x, int32_t y, int32_t cx, int32_t cy, HGDI src, int32_t x1, int32_t y1, uint32_t rop) {
    if (rop == SRCCOPY && src && copy_matched(dc(dst), x, y, cx, cy, dc(src), x1, y1)) return 1;
    return ::BitBlt(dc(dst), x, y, cx, cy, dc(src), x1, y1, rop);
}
int PatBlt(HGDI dst, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t rop) {
    return ::PatBlt(dc(dst), x, y, cx, cy, rop);
}

HGDI CreateSolidBrush(COLORREF color) { return value_of(::CreateSolidBrush(color)); }
HGDI CreatePen(int style, int width, COLORREF color) { return value_of(::CreatePen(style, width, color)); }
int Rectangle(HGDI hdc, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return ::Rectangle(dc(hdc), left, top, right, bottom);
}
int FillRect(HGDI hdc, const RECT* rect, HGDI brush) {
    return ::FillRect(dc(hdc), reinterpret_cast<const ::RECT*>(rect), handle<HBRUSH>(brush));
}
COLORREF SetPixel(HGDI hdc, int32_t x, int32_t y, COLORREF color) { return ::SetPixel(dc(hdc), x, y, color); }
COLORREF GetPixel(HGDI hdc, int32_t x, int32_t y) { return ::GetPixel(dc(hdc), x, y); }
int SetRect(RECT* rect, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return ::SetRect(reinterpret_cast<::RECT*>(rect), left, top, right, bottom);
}
int GetDeviceCaps(HGDI hdc, int index) { return ::GetDeviceCaps(dc(hdc), index); }
int32_t MulDiv(int32_t a, int32_t b, int32_t c) { return ::MulDiv(a, b, c); }

HGDI CreateFontIndirectA(const LOGFONTA* lf) {
    return value_of(::CreateFontIndirectA(reinterpret_cast<const ::LOGFONTA*>(lf)));
}
int GetTextMetricsA(HGDI hdc, TEXTMETRICA* tm) {
    ::TEXTMETRICA t{};
    if (!::GetTextMetricsA(dc(hdc), &t)) return 0;
    *tm = TEXTMETRICA{t.tmHeight,           t.tmAscent,       t.tmDescent,   t.tmInternalLeading, t.tmExternalLeading,
                      t.tmAveCharWidth,     t.tmMaxCharWidth, t.tmWeight,    t.tmOverhang,        t.tmDigitizedAspectX,
                      t.tmDigitizedAspectY, t.tmFirstChar,    t.tmLastChar,  t.tmDefaultChar,     t.tmBreakChar,
                      t.tmItalic,           t.tmUnderlined,   t.tmStruckOut, t.tmPitchAndFamily,  t.tmCharSet};
    return 1;
}
int GetTextExtentPoint32A(HGDI hdc, const char* text, int length, SIZE* size) {
    return ::GetTextExtentPoint32A(dc(hdc), text, length, reinterpret_cast<::SIZE*>(size));
}
int DrawTextA(HGDI hdc, const char* text, int length, RECT* rect, uint32_t format) {
    return ::DrawTextA(dc(hdc), text, length, reinterpret_cast<::RECT*>(rect), format);
}
int TextOutA(HGDI hdc, int32_t x, int32_t y, const char* text, int length) {
    return ::TextOutA(dc(hdc), x, y, text, length);
}
COLORREF SetTextColor(HGDI hdc, COLORREF color) { return ::SetTextColor(dc(hdc), color); }
COLORREF SetBkColor(HGDI hdc, COLORREF color) { return ::SetBkColor(dc(hdc), color); }
int SetBkMode(HGDI hdc, int mode) { return ::SetBkMode(dc(hdc), mode); }
int SetTextCharacterExtra(HGDI hdc, int extra) { return ::SetTextCharacterExtra(dc(hdc), extra); }

int OpenClipboard(int32_t owner) { return ::OpenClipboard(handle<HWND>(owner)); }
int CloseClipboard() { return ::CloseClipboard(); }
int EmptyClipboard() { return ::EmptyClipboard(); }
int32_t SetClipboardData(uint32_t format, int32_t h) { return value_of(::SetClipboardData(format, handle<HANDLE>(h))); }
int32_t GetClipboardData(uint32_t format) { return value_of(::GetClipboardData(format)); }
int IsClipboardFormatAvailable(uint32_t format) { return ::IsClipboardFormatAvailable(format); }

}  // namespace t2::gdi
