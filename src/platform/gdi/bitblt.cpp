// Bit-block transfers: the 256 ternary raster operations over pattern (the
// selected brush), source and destination, with clipping to both surfaces and
// colour conversion between 24-bit and 8-bit surfaces; scan-line reads.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/gdi/internal.hpp"

namespace t2::gdi {

namespace {

// The operation's index byte is its truth table: bit (p<<2 | s<<1 | d) of it is
// the result for pattern bit p, source bit s and destination bit d (so the
// pattern alone is 0xF0, the source 0xCC, the destination 0xAA).  Applied to
// whole bytes, each set bit contributes the minterm of its three inputs.
inline uint8_t rop3(uint8_t index, uint8_t p, uint8_t s, uint8_t d) {
    uint8_t r = 0;
    for (int k = 0; k < 8; ++k)
        if (index & (1 << k))
            r |= static_cast<uint8_t>(((k & 4) ? p : ~p) & ((k & 2) ? s : ~s) & ((k & 1) ? d : ~d));
    return r;
}
inline bool uses_source(uint8_t i) { return ((i >> 2) ^ i) & 0x33; }
inline bool uses_pattern(uint8_t i) { return ((i >> 4) ^ i) & 0x0F; }
inline bool uses_dest(uint8_t i) { return ((i >> 1) ^ i) & 0x55; }

// One source row converted to the destination's format.
void convert_row(BitmapObj* dst, BitmapObj* src, const uint8_t* in, int32_t w, uint8_t* out) {
    if (dst->bpp == 24 && src->bpp == 24) {
        std::memcpy(out, in, static_cast<size_t>(w) * 3);
    } else if (dst->bpp == 24) {  // 8 -> 24
        for (int32_t i = 0; i < w; ++i) {
            const RGBQUAD& q = src->colors[in[i]];
            out[i * 3] = q.rgbBlue;
            out[i * 3 + 1] = q.rgbGreen;
            out[i * 3 + 2] = q.rgbRed;
        }
    } else if (src->bpp == 24) {  // 24 -> 8: nearest colour of the destination's table
        ColorMatcher& m = dst->match();
        uint32_t last = 0xFFFFFFFFu;
        uint8_t last_index = 0;
        for (int32_t i = 0; i < w; ++i) {
            const uint8_t* px = in + i * 3;
            uint32_t key = px[0] | (px[1] << 8) | (px[2] << 16);
            if (key != last) {
                last = key;
                last_index = m.nearest(px[2], px[1], px[0]);
            }
            out[i] = last_index;
        }
    } else if (std::memcmp(dst->colors.data(), src->colors.data(), sizeof(RGBQUAD) * 256) == 0 &&
               dst->ncolors == src->ncolors) {
        std::memcpy(out, in, static_cast<size_t>(w));
    } else {  // 8 -> 8 with another table: through the colours
        ColorMatcher& m = dst->match();
        for (int32_t i = 0; i < w; ++i) {
            const RGBQUAD& q = src->colors[in[i]];
            out[i] = m.nearest(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
    }
}

// The pattern as bytes of the destination's format (a solid brush).
void pattern_bytes(BitmapObj* dst, DCObj* dc, uint8_t pat[3]) {
    COLORREF c = 0;
    if (Object* b = find(dc->brush); b && b->kind == Kind::Brush && !b->brush->hollow) c = b->brush->color;
    if (dst->bpp == 24) {
        pat[0] = blue(c);
        pat[1] = green(c);
        pat[2] = red(c);
    } else {
        pat[0] = pat[1] = pat[2] = dst->match().nearest(red(c), green(c), blue(c));
    }
}

int blit(HGDI hdst, int32_t x, int32_t y, int32_t cx, int32_t cy, HGDI hsrc, int32_t sx, int32_t sy, uint32_t rop) {
    DCObj* ddc = find_dc(hdst);
    BitmapObj* dst = dc_bitmap(ddc);
    if (!dst) return 0;
    const uint8_t op = static_cast<uint8_t>(rop >> 16);
    const bool need_src = uses_source(op);
    BitmapObj* src = nullptr;
    if (need_src) {
        src = dc_bitmap(find_dc(hsrc));
        if (!src) return 0;
    }
    if (cx <= 0 || cy <= 0) return 1;
    // clip to the destination, then to the source
    auto clip = [](int32_t& a, int32_t& b, int32_t& len, int32_t limit) {
        if (a < 0) {
            b -= a;
            len += a;
            a = 0;
        }
        if (len > 0 && static_cast<int64_t>(a) + len > limit) len = limit - a;
    };
    clip(x, sx, cx, dst->width);
    clip(y, sy, cy, dst->height);
    if (need_src) {
        clip(sx, x, cx, src->width);
        clip(sy, y, cy, src->height);
    }
    if (cx <= 0 || cy <= 0) return 1;

    const int bpp = dst->bpp / 8;
    const size_t row_bytes = static_cast<size_t>(cx) * bpp;
    // a transfer within one surface reads its source before writing
    std::vector<uint8_t> snapshot;
    if (src == dst) {
        snapshot.resize(static_cast<size_t>(cx) * (src->bpp / 8) * cy);
        for (int32_t r = 0; r < cy; ++r)
            std::memcpy(&snapshot[r * static_cast<size_t>(cx) * (src->bpp / 8)], src->row(sy + r) + sx * (src->bpp / 8),
                        static_cast<size_t>(cx) * (src->bpp / 8));
    }
    std::vector<uint8_t> converted(need_src ? row_bytes : 0);
    uint8_t pat[3] = {0, 0, 0};
    if (uses_pattern(op)) pattern_bytes(dst, ddc, pat);

    for (int32_t r = 0; r < cy; ++r) {
        uint8_t* d = dst->row(y + r) + static_cast<size_t>(x) * bpp;
        const uint8_t* s = nullptr;
        if (need_src) {
            const uint8_t* in = src == dst ? &snapshot[r * static_cast<size_t>(cx) * (src->bpp / 8)]
                                           : src->row(sy + r) + static_cast<size_t>(sx) * (src->bpp / 8);
            if (src->bpp == dst->bpp && (src->bpp == 24 || src == dst)) {
                s = in;
            } else {
                convert_row(dst, src, in, cx, converted.data());
                s = converted.data();
            }
        }
        switch (op) {  // the common operations directly; every other through the truth table
            case 0xCC: std::memcpy(d, s, row_bytes); break;
            case 0x00: std::memset(d, 0, row_bytes); break;
            case 0xFF: std::memset(d, 0xFF, row_bytes); break;
            case 0x55: for (size_t i = 0; i < row_bytes; ++i) d[i] = static_cast<uint8_t>(~d[i]); break;
            case 0x33: for (size_t i = 0; i < row_bytes; ++i) d[i] = static_cast<uint8_t>(~s[i]); break;
            case 0xEE: for (size_t i = 0; i < row_bytes; ++i) d[i] |= s[i]; break;
            case 0x88: for (size_t i = 0; i < row_bytes; ++i) d[i] &= s[i]; break;
            case 0x66: for (size_t i = 0; i < row_bytes; ++i) d[i] ^= s[i]; break;
            case 0xF0: for (size_t i = 0; i < row_bytes; ++i) d[i] = pat[i % bpp]; break;
            default:
                for (size_t i = 0; i < row_bytes; ++i)
                    d[i] = rop3(op, pat[i % bpp], s ? s[i] : 0, uses_dest(op) ? d[i] : 0);
        }
    }
    return 1;
}

ColorMatcher& matcher_for(const RGBQUAD* colors) { return *shared_matcher(colors, 256); }

}  // namespace

std::shared_ptr<ColorMatcher> shared_matcher(const RGBQUAD* colors, int count) {
    struct Kept {
        std::vector<RGBQUAD> table;
        std::shared_ptr<ColorMatcher> matcher;
    };
    static std::vector<Kept> kept;  // most recent last; the graphics lock is held
    constexpr size_t kKeep = 2;     // each holds up to 16 MiB of worked-out colours
    auto same = [&](const Kept& k) {
        return static_cast<int>(k.table.size()) == count &&
               std::memcmp(k.table.data(), colors, sizeof(RGBQUAD) * static_cast<size_t>(count)) == 0;
    };
    for (size_t i = 0; i < kept.size(); ++i)
        if (same(kept[i])) {
            Kept k = std::move(kept[i]);
            kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(i));
            kept.push_back(std::move(k));
            return kept.back().matcher;
        }
    auto m = std::make_shared<ColorMatcher>(colors, count);
    if (kept.size() == kKeep) kept.erase(kept.begin());
    kept.push_back({std::vector<RGBQUAD>(colors, colors + count), m});
    return m;
}

int BitBlt(HGDI dst, int32_t x, int32_t y, int32_t cx, int32_t cy, HGDI src, int32_t x1, int32_t y1, uint32_t rop) {
    auto& t = table();
    Lock lock(t.lock);
    return blit(dst, x, y, cx, cy, src, x1, y1, rop);
}

int PatBlt(HGDI dst, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t rop) {
    auto& t = table();
    Lock lock(t.lock);
    if (uses_source(static_cast<uint8_t>(rop >> 16))) return 0;
    return blit(dst, x, y, cx, cy, 0, 0, 0, rop);
}

int nearest_color_index(const RGBQUAD* table, int count, uint8_t r, uint8_t g, uint8_t b) {
    return ColorMatcher::brute_force(table, count, r, g, b);
}

int GetDIBits(HGDI hdc, HGDI hbm, uint32_t start, uint32_t lines, void* bits, BITMAPINFO* bmi, uint32_t usage) {
    auto& t = table();
    Lock lock(t.lock);
    BitmapObj* bm = find_bitmap(hbm);
    if (!bm || !bmi || usage != DIB_RGB_COLORS || (hdc && !find_dc(hdc))) return 0;
    BITMAPINFOHEADER& h = bmi->bmiHeader;
    if (!bits) {  // describe the bitmap
        h.biSize = 40;
        h.biWidth = bm->width;
        h.biHeight = bm->height;
        h.biPlanes = 1;
        if (h.biBitCount == 0) h.biBitCount = static_cast<uint16_t>(bm->bpp);
        h.biCompression = BI_RGB;
        h.biSizeImage = static_cast<uint32_t>(((bm->width * h.biBitCount + 31) / 32) * 4 * bm->height);
        if (h.biBitCount == 8 && bm->bpp == 8) std::memcpy(bmi->bmiColors, bm->colors.data(), sizeof bmi->bmiColors);
        return 1;
    }
    if ((h.biBitCount != 8 && h.biBitCount != 24) || h.biWidth <= 0) return 0;
    const int32_t w = std::min(h.biWidth, bm->width);
    const int64_t out_stride = ((static_cast<int64_t>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
    const bool out_top_down = h.biHeight < 0;
    if (start >= static_cast<uint32_t>(bm->height)) return 0;
    lines = std::min<uint32_t>(lines, static_cast<uint32_t>(bm->height) - start);
    if (h.biBitCount == 8 && bm->bpp == 8) std::memcpy(bmi->bmiColors, bm->colors.data(), sizeof bmi->bmiColors);
    for (uint32_t k = 0; k < lines; ++k) {
        // scan line `start + k` counts from the bottom of a bottom-up picture, from the top of a top-down one
        uint32_t scan = start + k;
        int32_t y = out_top_down ? static_cast<int32_t>(scan) : bm->height - 1 - static_cast<int32_t>(scan);
        const uint8_t* in = bm->row(y);
        uint8_t* out = static_cast<uint8_t*>(bits) + k * out_stride;
        if (h.biBitCount == 24 && bm->bpp == 24) {
            std::memcpy(out, in, static_cast<size_t>(w) * 3);
        } else if (h.biBitCount == 24) {
            for (int32_t i = 0; i < w; ++i) {
                const RGBQUAD& q = bm->colors[in[i]];
                out[i * 3] = q.rgbBlue;
                out[i * 3 + 1] = q.rgbGreen;
                out[i * 3 + 2] = q.rgbRed;
            }
        } else if (bm->bpp == 8) {
            std::memcpy(out, in, static_cast<size_t>(w));
        } else {
            ColorMatcher& m = matcher_for(bmi->bmiColors);
            for (int32_t i = 0; i < w; ++i) out[i] = m.nearest(in[i * 3 + 2], in[i * 3 + 1], in[i * 3]);
        }
    }
    return static_cast<int>(lines);
}

int SetDIBits(HGDI hdc, HGDI hbm, uint32_t start, uint32_t lines, const void* bits, const BITMAPINFO* bmi,
              uint32_t usage) {
    auto& t = table();
    Lock lock(t.lock);
    BitmapObj* bm = find_bitmap(hbm);
    if (!bm || !bmi || !bits || usage != DIB_RGB_COLORS || (hdc && !find_dc(hdc))) return 0;
    const BITMAPINFOHEADER& h = bmi->bmiHeader;
    if (h.biBitCount != 24 || h.biWidth <= 0) return 0;
    const int32_t w = std::min(h.biWidth, bm->width);
    const int64_t in_stride = ((static_cast<int64_t>(h.biWidth) * 24 + 31) / 32) * 4;
    if (start >= static_cast<uint32_t>(bm->height)) return 0;
    lines = std::min<uint32_t>(lines, static_cast<uint32_t>(bm->height) - start);
    for (uint32_t k = 0; k < lines; ++k) {
        uint32_t scan = start + k;
        int32_t y = h.biHeight < 0 ? static_cast<int32_t>(scan) : bm->height - 1 - static_cast<int32_t>(scan);
        const uint8_t* in = static_cast<const uint8_t*>(bits) + k * in_stride;
        uint8_t* out = bm->row(y);
        if (bm->bpp == 24) {
            std::memcpy(out, in, static_cast<size_t>(w) * 3);
        } else {
            for (int32_t i = 0; i < w; ++i) out[i] = bm->match().nearest(in[i * 3 + 2], in[i * 3 + 1], in[i * 3]);
        }
    }
    return static_cast<int>(lines);
}

void put_pixel(BitmapObj* bm, int32_t x, int32_t y, COLORREF c) {
    if (!bm || x < 0 || y < 0 || x >= bm->width || y >= bm->height) return;
    uint8_t* p = bm->row(y);
    if (bm->bpp == 24) {
        p[x * 3] = blue(c);
        p[x * 3 + 1] = green(c);
        p[x * 3 + 2] = red(c);
    } else {
        p[x] = bm->match().nearest(red(c), green(c), blue(c));
    }
}

void fill_rect(BitmapObj* bm, int32_t x0, int32_t y0, int32_t x1, int32_t y1, COLORREF c) {
    if (!bm) return;
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, bm->width);
    y1 = std::min(y1, bm->height);
    if (x0 >= x1 || y0 >= y1) return;
    if (bm->bpp == 8) {
        uint8_t idx = bm->match().nearest(red(c), green(c), blue(c));
        for (int32_t y = y0; y < y1; ++y) std::memset(bm->row(y) + x0, idx, static_cast<size_t>(x1 - x0));
        return;
    }
    for (int32_t y = y0; y < y1; ++y) {
        uint8_t* p = bm->row(y) + x0 * 3;
        for (int32_t x = x0; x < x1; ++x, p += 3) {
            p[0] = blue(c);
            p[1] = green(c);
            p[2] = red(c);
        }
    }
}

}  // namespace t2::gdi
