// The graphics layer: raster operations against their truth tables, clipping,
// exact colour matching, scan-line reads, rectangles, objects, text, clipboard.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "platform/errtext.hpp"
#include "base/colormatch.hpp"
#include "platform/gdi/font.hpp"
#include "platform/gdi/gdi.hpp"

using namespace t2::gdi;
using t2::color_entries;
using t2::ColorMatcher;

namespace {

// A memory context holding a new section of w x h (24 or 8 bits).
struct Canvas {
    HGDI dc = 0, bm = 0, prev = 0;
    Surface s;
    Canvas(int w, int h, int bpp = 24, const RGBQUAD* colors = nullptr) {
        BITMAPINFO bi{};
        bi.bmiHeader = {40, w, h, 1, static_cast<uint16_t>(bpp), BI_RGB, 0, 0, 0, 0, 0};
        if (colors) std::memcpy(bi.bmiColors, colors, sizeof bi.bmiColors);
        int32_t bits = 0;
        bm = CreateDIBSection(0, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        dc = CreateCompatibleDC(0);
        prev = SelectObject(dc, bm);
        surface_of(bm, s);
    }
    ~Canvas() {
        SelectObject(dc, prev);
        DeleteObject(bm);
        DeleteDC(dc);
    }
    uint8_t* px(int x, int y) { return s.top + y * s.step + x * (s.bpp / 8); }
    void fill(uint8_t b, uint8_t g, uint8_t r) {
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                px(x, y)[0] = b;
                px(x, y)[1] = g;
                px(x, y)[2] = r;
            }
    }
};

// The definition: result bit = bit (p<<2 | s<<1 | d) of the operation's index.
uint8_t truth(uint8_t op, uint8_t p, uint8_t s, uint8_t d) {
    uint8_t out = 0;
    for (int i = 0; i < 8; ++i) {
        int k = (((p >> i) & 1) << 2) | (((s >> i) & 1) << 1) | ((d >> i) & 1);
        out |= static_cast<uint8_t>(((op >> k) & 1) << i);
    }
    return out;
}

TEST(RasterOps, AllTwoHundredFiftySixAgreeWithTheirTruthTables) {
    Canvas src(1, 1), dst(1, 1);
    const uint8_t S[3] = {0x0F, 0x35, 0xC6}, D[3] = {0x33, 0xA9, 0x5C};
    const COLORREF P = 0x00F0617A;  // blue 0xF0, green 0x61, red 0x7A
    const uint8_t Pb[3] = {0xF0, 0x61, 0x7A};
    HGDI brush = CreateSolidBrush(P);
    HGDI old_brush = SelectObject(dst.dc, brush);
    for (int op = 0; op < 256; ++op) {
        std::memcpy(src.px(0, 0), S, 3);
        std::memcpy(dst.px(0, 0), D, 3);
        uint32_t rop = static_cast<uint32_t>(op) << 16;
        ASSERT_EQ(BitBlt(dst.dc, 0, 0, 1, 1, src.dc, 0, 0, rop), 1);
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(dst.px(0, 0)[c], truth(static_cast<uint8_t>(op), Pb[c], S[c], D[c])) << op;
    }
    SelectObject(dst.dc, old_brush);
    DeleteObject(brush);
}

TEST(RasterOps, NamedCodes) {
    struct {
        uint32_t rop;
        uint8_t op;
    } named[] = {
        {SRCCOPY, 0xCC},   {SRCPAINT, 0xEE},  {SRCAND, 0x88},    {SRCINVERT, 0x66}, {NOTSRCCOPY, 0x33},
        {DSTINVERT, 0x55}, {BLACKNESS, 0x00}, {WHITENESS, 0xFF}, {PATCOPY, 0xF0},   {PATINVERT, 0x5A},
    };
    Canvas src(3, 2), dst(3, 2);
    HGDI brush = CreateSolidBrush(0x0000FF00);
    HGDI old = SelectObject(dst.dc, brush);
    for (auto n : named) {
        src.fill(0x12, 0x34, 0x56);
        dst.fill(0xF0, 0x0F, 0xAA);
        BitBlt(dst.dc, 0, 0, 3, 2, src.dc, 0, 0, n.rop);
        EXPECT_EQ(dst.px(2, 1)[0], truth(n.op, 0x00, 0x12, 0xF0)) << std::hex << n.rop;
        EXPECT_EQ(dst.px(2, 1)[1], truth(n.op, 0xFF, 0x34, 0x0F)) << std::hex << n.rop;
        EXPECT_EQ(dst.px(0, 0)[2], truth(n.op, 0x00, 0x56, 0xAA)) << std::hex << n.rop;
    }
    SelectObject(dst.dc, old);
    DeleteObject(brush);
}

TEST(BitBlt, ClipsToBothSurfaces) {
    Canvas src(4, 4), dst(5, 5);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) src.px(x, y)[0] = static_cast<uint8_t>(10 * y + x);
    dst.fill(0xEE, 0xEE, 0xEE);
    // partly left of and above the destination
    BitBlt(dst.dc, -1, -2, 4, 4, src.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(dst.px(0, 0)[0], 21);  // source (1, 2)
    EXPECT_EQ(dst.px(2, 1)[0], 33);
    EXPECT_EQ(dst.px(3, 0)[0], 0xEE);
    // past the right and bottom edges, and a source rectangle leaving the source
    dst.fill(0xEE, 0xEE, 0xEE);
    BitBlt(dst.dc, 3, 3, 10, 10, src.dc, 2, 2, SRCCOPY);
    EXPECT_EQ(dst.px(3, 3)[0], 22);
    EXPECT_EQ(dst.px(4, 4)[0], 33);
    BitBlt(dst.dc, 0, 0, 3, 3, src.dc, -2, -2, SRCCOPY);
    EXPECT_EQ(dst.px(2, 2)[0], 0);
    EXPECT_EQ(dst.px(1, 1)[0], 0xEE);
    EXPECT_EQ(BitBlt(dst.dc, 0, 0, 3, 3, src.dc, 100, 100, SRCCOPY), 1);  // nothing overlaps
    EXPECT_EQ(BitBlt(dst.dc, 0, 0, 3, 3, 12345, 0, 0, SRCCOPY), 0);       // no such context
    // a transfer inside one surface reads its source first
    for (int x = 0; x < 5; ++x) dst.px(x, 0)[0] = static_cast<uint8_t>(x);
    BitBlt(dst.dc, 1, 0, 4, 1, dst.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(dst.px(4, 0)[0], 3);
}

std::vector<RGBQUAD> random_table(std::mt19937& rng, int n) {
    std::vector<RGBQUAD> t(256, RGBQUAD{0, 0, 0, 0});
    for (int i = 0; i < n; ++i)
        t[i] = {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), 0};
    return t;
}

TEST(ColorMatch, CellsAgreeWithTheStraightSearch) {
    std::mt19937 rng(42);
    std::vector<std::vector<RGBQUAD>> tables;
    tables.push_back(random_table(rng, 256));
    tables.push_back(random_table(rng, 7));
    std::vector<RGBQUAD> cube(256, RGBQUAD{0, 0, 0, 0});
    for (int i = 0; i < 216; ++i)
        cube[i] = {uint8_t(51 * (i % 6)), uint8_t(51 * (i / 6 % 6)), uint8_t(51 * (i / 36)), 0};
    tables.push_back(cube);
    std::vector<RGBQUAD> ties(256, RGBQUAD{128, 128, 128, 0});  // every entry the same: index 0 wins
    ties[200] = {0, 0, 0, 0};
    ties[100] = {0, 0, 0, 0};  // a duplicate below 200: 100 wins for black
    tables.push_back(ties);
    for (auto& t : tables) {
        ColorMatcher m(color_entries(t.data()), 256);
        for (int k = 0; k < 200000; ++k) {
            uint8_t r = static_cast<uint8_t>(rng()), g = static_cast<uint8_t>(rng()), b = static_cast<uint8_t>(rng());
            ASSERT_EQ(m.nearest(r, g, b), ColorMatcher::brute_force(color_entries(t.data()), 256, r, g, b));
        }
        for (int c = 0; c < 32768; ++c) {  // the corners of every cell
            uint8_t r = static_cast<uint8_t>((c >> 10) * 8 + 7), g = static_cast<uint8_t>(((c >> 5) & 31) * 8),
                    b = static_cast<uint8_t>((c & 31) * 8 + 7);
            ASSERT_EQ(m.nearest(r, g, b), ColorMatcher::brute_force(color_entries(t.data()), 256, r, g, b));
        }
    }
    EXPECT_EQ(ColorMatcher(color_entries(ties.data()), 256).nearest(0, 0, 0), 100);
    EXPECT_EQ(ColorMatcher(color_entries(ties.data()), 256).nearest(200, 200, 200), 0);
}

TEST(BitBlt, TwentyFourToEightBitMatchesAndScanLinesReadBack) {
    std::mt19937 rng(7);
    auto table = random_table(rng, 256);
    Canvas src(37, 5), dst(37, 5, 8, table.data());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 37; ++x)
            for (int c = 0; c < 3; ++c) src.px(x, y)[c] = static_cast<uint8_t>(rng());
    BitBlt(dst.dc, 0, 0, 37, 5, src.dc, 0, 0, SRCCOPY);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 37; ++x) {
            const uint8_t* p = src.px(x, y);
            ASSERT_EQ(*dst.px(x, y), ColorMatcher::brute_force(color_entries(table.data()), 256, p[2], p[1], p[0]));
        }
    // scan line 0 is the bottom row of a bottom-up picture
    BITMAPINFO bi{};
    bi.bmiHeader = {40, 37, 5, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint8_t> line(40, 0xCD);
    ASSERT_EQ(GetDIBits(dst.dc, dst.bm, 0, 1, line.data(), &bi, DIB_RGB_COLORS), 1);
    EXPECT_EQ(std::memcmp(line.data(), dst.px(0, 4), 37), 0);
    EXPECT_EQ(line[38], 0xCD);  // nothing beyond the row
    EXPECT_EQ(bi.bmiColors[9].rgbRed, table[9].rgbRed);
    bi.bmiHeader.biBitCount = 24;
    std::vector<uint8_t> rgb(37 * 3 + 1);
    ASSERT_EQ(GetDIBits(dst.dc, dst.bm, 4, 1, rgb.data(), &bi, DIB_RGB_COLORS), 1);
    EXPECT_EQ(rgb[0], table[*dst.px(0, 0)].rgbBlue);
    EXPECT_EQ(GetDIBits(dst.dc, dst.bm, 5, 1, rgb.data(), &bi, DIB_RGB_COLORS), 0);  // past the top
    // back to 24 bits through the colour table
    Canvas back(37, 5);
    BitBlt(back.dc, 0, 0, 37, 5, dst.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(back.px(3, 2)[2], table[*dst.px(3, 2)].rgbRed);
}

TEST(Rectangle, PenAndNullPenRules) {
    Canvas c(12, 8);
    c.fill(0, 0, 0);
    HGDI brush = CreateSolidBrush(0x0000FF);      // red
    HGDI pen = CreatePen(PS_SOLID, 1, 0xFF0000);  // blue
    HGDI ob = SelectObject(c.dc, brush), op = SelectObject(c.dc, pen);
    Rectangle(c.dc, 1, 1, 6, 5);
    EXPECT_EQ(c.px(1, 1)[0], 0xFF);  // outline on the first column and row
    EXPECT_EQ(c.px(5, 4)[0], 0xFF);  // and on the last ones (right and bottom exclusive)
    EXPECT_EQ(c.px(6, 4)[0], 0);
    EXPECT_EQ(c.px(3, 2)[2], 0xFF);  // the inside is the brush
    EXPECT_EQ(c.px(3, 2)[0], 0);
    SelectObject(c.dc, GetStockObject(NULL_PEN));
    Rectangle(c.dc, 7, 1, 11, 6);  // filled 7..9 x 1..4: one narrower and one lower
    EXPECT_EQ(c.px(9, 4)[2], 0xFF);
    EXPECT_EQ(c.px(10, 4)[2], 0);
    EXPECT_EQ(c.px(9, 5)[2], 0);
    SelectObject(c.dc, ob);
    SelectObject(c.dc, op);
    DeleteObject(brush);
    DeleteObject(pen);
}

TEST(Objects, SelectionDeletionAndCounts) {
    size_t before = object_count();
    HGDI dc = CreateCompatibleDC(0);
    HGDI brush = CreateSolidBrush(0x123456);
    HGDI old = SelectObject(dc, brush);
    EXPECT_EQ(old, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(DeleteObject(brush), 0);  // still selected
    EXPECT_EQ(SelectObject(dc, old), brush);
    EXPECT_EQ(DeleteObject(brush), 1);
    EXPECT_EQ(DeleteObject(brush), 0);
    EXPECT_EQ(DeleteObject(GetStockObject(BLACK_PEN)), 1);  // stock objects stay
    EXPECT_NE(GetObjectType(GetStockObject(BLACK_PEN)), 0);
    HGDI bm = CreateCompatibleBitmap(dc, 0, 5);
    BITMAP info{};
    ASSERT_EQ(GetObjectA(bm, sizeof info, &info), 24);
    EXPECT_EQ(info.bmWidth, 1);  // a zero size gives a 1x1 bitmap
    EXPECT_EQ(GetObjectA(bm, 23, &info), 0);
    DeleteObject(bm);
    HGDI display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    EXPECT_NE(display, 0);
    EXPECT_EQ(CreateDCA("PRINTER", nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(GetDeviceCaps(display, LOGPIXELSY), 96);
    EXPECT_EQ(GetDeviceCaps(display, LOGPIXELSX), 96);
    EXPECT_EQ(GetDeviceCaps(display, BITSPIXEL), 24);
    DeleteDC(display);
    DeleteDC(dc);
    EXPECT_EQ(object_count(), before);

    BITMAPINFO bi{};
    bi.bmiHeader = {40, 100000, 100000, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    int32_t bits = 5;
    EXPECT_EQ(CreateDIBSection(0, &bi, DIB_RGB_COLORS, &bits, nullptr, 0), 0);  // beyond 2 GiB
    EXPECT_EQ(bits, 0);
    bi.bmiHeader.biWidth = 3;
    bi.bmiHeader.biHeight = 2;
    HGDI s = CreateDIBSection(0, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(s, 0);
    EXPECT_NE(bits, 0);
    EXPECT_EQ(address_of(bits, 24), bitmap_bits(s));  // the published address leads to the memory
    EXPECT_EQ(address_of(bits, 25), nullptr);
    DeleteObject(s);
}

TEST(Arithmetic, MulDiv) {
    struct {
        int32_t a, b, c, r;
    } cases[] = {
        {10, 96, 72, 13}, {8, 96, 72, 11},       {1, 1, 2, 1},       {-1, 1, 2, -1},  {3, 1, 2, 2},
        {5, 5, 0, -1},    {INT32_MAX, 2, 1, -1}, {-10, 96, 72, -13}, {7, -3, 2, -11},
    };
    for (auto c : cases) EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.r) << c.a << "*" << c.b << "/" << c.c;
}

TEST(Text, FacesMetricsAndLayout) {
    LOGFONTA lf{};
    lf.lfHeight = -MulDiv(10, 96, 72);
    lf.lfWeight = 400;
    std::strcpy(lf.lfFaceName, "Courier New");
    HGDI courier = CreateFontIndirectA(&lf);
    EXPECT_NE(font_file(courier).find("LiberationMono"), std::string::npos) << font_file(courier);
    Canvas c(200, 60);
    HGDI old = SelectObject(c.dc, courier);
    TEXTMETRICA tm{};
    ASSERT_EQ(GetTextMetricsA(c.dc, &tm), 1);
    EXPECT_EQ(tm.tmAveCharWidth, 8);
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_EQ(tm.tmInternalLeading, tm.tmHeight - 13);
    SIZE sz{};
    ASSERT_EQ(GetTextExtentPoint32A(c.dc, "ABCD", 4, &sz), 1);
    EXPECT_EQ(sz.cx, 32);  // monospaced: 8 a character
    SetTextCharacterExtra(c.dc, 3);
    GetTextExtentPoint32A(c.dc, "ABCD", 4, &sz);
    EXPECT_EQ(sz.cx, 44);
    SetTextCharacterExtra(c.dc, 0);
    RECT r{5, 5, 5, 5};
    EXPECT_EQ(DrawTextA(c.dc, "Hi", -1, &r, DT_CALCRECT), tm.tmHeight);
    EXPECT_EQ(r.right, 21);
    EXPECT_EQ(r.bottom, 5 + tm.tmHeight);
    c.fill(255, 255, 255);
    SetBkMode(c.dc, TRANSPARENT);
    RECT box{0, 0, 200, 30};
    DrawTextA(c.dc, "W", 1, &box, DT_RIGHT);
    int dark_left = 200;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 200; ++x)
            if (c.px(x, y)[0] == 0) dark_left = std::min(dark_left, x);
    EXPECT_GE(dark_left, 192);  // drawn in the last cell, bitmap-exact black on white
    SelectObject(c.dc, old);
    DeleteObject(courier);
}

TEST(Text, SyntheticFacesHaveTheirSetMetrics) {
    register_synthetic_font("T2 Boxes", 16, 3, 7, 7);
    LOGFONTA lf{};
    std::strcpy(lf.lfFaceName, "t2 boxes");
    HGDI f = CreateFontIndirectA(&lf);
    Canvas c(100, 40);
    HGDI old = SelectObject(c.dc, f);
    TEXTMETRICA tm{};
    GetTextMetricsA(c.dc, &tm);
    EXPECT_EQ(tm.tmHeight, 16);
    EXPECT_EQ(tm.tmInternalLeading, 3);
    EXPECT_EQ(tm.tmAveCharWidth, 7);
    SIZE sz{};
    GetTextExtentPoint32A(c.dc, "Hi", 2, &sz);
    EXPECT_EQ(sz.cx, 14);
    EXPECT_EQ(sz.cy, 16);
    RECT r{10, 0, 60, 20};
    c.fill(255, 255, 255);
    DrawTextA(c.dc, "Hi", 2, &r, DT_CENTER);
    EXPECT_EQ(c.px(28, 10)[0], 255);  // the cells start at 10 + (50 - 14) / 2 = 28; a box fills 29..33
    EXPECT_EQ(c.px(29, 10)[0], 0);
    EXPECT_EQ(c.px(33, 10)[0], 0);
    EXPECT_EQ(c.px(34, 10)[0], 255);
    SelectObject(c.dc, old);
    DeleteObject(f);
}

TEST(Clipboard, OwnsTheBitmapItIsGiven) {
    HGDI dc = CreateCompatibleDC(0);
    HGDI bm = CreateCompatibleBitmap(dc, 2, 2);
    ASSERT_EQ(OpenClipboard(0), 1);
    EXPECT_EQ(OpenClipboard(0), 0);
    EmptyClipboard();
    EXPECT_EQ(SetClipboardData(CF_BITMAP, bm), bm);
    CloseClipboard();
    EXPECT_EQ(IsClipboardFormatAvailable(CF_BITMAP), 1);
    EXPECT_EQ(DeleteObject(bm), 0);  // the clipboard's now
    OpenClipboard(0);
    EXPECT_EQ(GetClipboardData(CF_BITMAP), bm);
    EmptyClipboard();
    CloseClipboard();
    EXPECT_EQ(GetObjectType(bm), 0);  // released with the clipboard's contents
    DeleteDC(dc);
}

TEST(ErrorTexts, SystemCodesTheLibraryMeets) {
    for (uint32_t code : {2u, 3u, 5u, 32u, 80u, 87u, 112u, 123u, 206u}) {
        char buf[256];
        uint32_t n = t2::platform::FormatMessageA(0x1200, nullptr, code, 0, buf, sizeof buf, nullptr);
        ASSERT_GT(n, 2u) << code;
        EXPECT_EQ(std::string(buf + n - 2), "\r\n") << code;
    }
    char buf[8];
    EXPECT_EQ(t2::platform::FormatMessageA(0x1200, nullptr, 99999, 0, buf, sizeof buf, nullptr), 0u);
    EXPECT_EQ(t2::platform::FormatMessageA(0x1200, nullptr, 2, 0, buf, sizeof buf, nullptr), 0u);  // too small
}

}  // namespace

// Regression: pixel memory aliased between sections once it lay past the 32-bit window.
TEST(Bitmaps, PixelMemoryAliasedBetweenSections) {
    BITMAPINFO bi{};
    bi.bmiHeader = {40, 200, 200, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    int32_t low = 0, high = 5;
    HGDI a = CreateDIBSection(0, &bi, DIB_RGB_COLORS, &low, nullptr, 0);
    use_32bit_window(false);
    HGDI b = CreateDIBSection(0, &bi, DIB_RGB_COLORS, &high, nullptr, 0);
    use_32bit_window(true);
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    EXPECT_EQ(high, 0);  // memory outside the window has no 32-bit address
    EXPECT_EQ(address_of(0, 1), nullptr);
    if (addresses_fit_32_bits()) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(bitmap_bits(a)), static_cast<uintptr_t>(low));  // the real address
        EXPECT_EQ(address_of(low, 120000), bitmap_bits(a));
        EXPECT_EQ(address_of(low, 120001), nullptr);         // more than the section holds
        EXPECT_EQ(address_of(low + 64 * 1024, 1), nullptr);  // an address inside resolves to nothing
    }
    EXPECT_EQ(bitmap_bits(b, 120000), bitmap_bits(b));
    EXPECT_EQ(bitmap_bits(b, 120001), nullptr);
    DeleteObject(a);
    DeleteObject(b);
    EXPECT_EQ(address_of(low, 1), nullptr);  // a released section's address leads nowhere
}
