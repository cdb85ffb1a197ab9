// Bit-block transfers: the 256 ternary raster operations over pattern (the
// selected brush), source and destination, with clipping to both surfaces and
// colour conversion between 24-bit and 8-bit surfaces; scan-line reads.
// The pixels of a transfer are worked on without the graphics lock, the
// surfaces held by their shared owners.
#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/gdi/internal.hpp"
#include "platform/gdi/clip.hpp"

namespace t2::gdi {

namespace {

// The operation's index byte is its truth table: bit (p<<2 | s<<1 | d) of it is
// the result for pattern bit p, source bit s and destination bit d (so the
// pattern alone is 0xF0, the source 0xCC, the destination 0xAA).  Applied to
// whole bytes, each set bit contributes the minterm of its three inputs.
inline uint8_t rop3(uint8_t index, uint8_t p, uint8_t s, uint8_t d) {
    uint8_t r = 0;
    for (int k = 0; k < 8; ++k)
        if (index & (1 << k)) r |= static_cast<uint8_t>(((k & 4) ? p : ~p) & ((k & 2) ? s : ~s) & ((k & 1) ? d : ~d));
    return r;
}
inline bool uses_source(uint8_t i) { return ((i >> 2) ^ i) & 0x33; }
inline bool uses_pattern(uint8_t i) { return ((i >> 4) ^ i) & 0x0F; }
inline bool uses_dest(uint8_t i) { return ((i >> 1) ^ i) & 0x55; }

// How the source's rows become rows of the destination's format, worked out
// once per transfer.
struct RowConverter {
    enum { Direct, FromBgr, ToBgr, Table } how = Direct;
    uint8_t table[256] = {};  // 8 to 8 bits with another colour table: index to index
    RowConverter(BitmapObj* dst, BitmapObj* src) {
        if (src->bpp == dst->bpp) {
            if (src->bpp == 24 || src == dst ||
                (std::memcmp(dst->colors.data(), src->colors.data(), sizeof(RGBQUAD) * 256) == 0 &&
                 dst->ncolors == src->ncolors))
                return;
            how = Table;  // through the colours: each of the 256 indices is matched once
            ColorMatcher& m = dst->match();
            for (int i = 0; i < 256; ++i) {
                const RGBQUAD& q = src->colors[static_cast<size_t>(i)];
                table[i] = m.nearest(q.rgbRed, q.rgbGreen, q.rgbBlue);
            }
        } else if (src->bpp == 24) {
            how = FromBgr;
            dst->match();  // made now, under the graphics lock
        } else {
            how = ToBgr;
        }
    }
    // Returns the converted row: `in` itself, or `out` filled.
    const uint8_t* operator()(BitmapObj* dst, BitmapObj* src, const uint8_t* in, int32_t w, uint8_t* out) const {
        switch (how) {
            case Direct: return in;
            case FromBgr: dst->format->from_bgr(*dst, in, w, out); return out;
            case ToBgr: src->format->to_bgr(*src, in, w, out); return out;
            case Table:
                for (int32_t i = 0; i < w; ++i) out[i] = table[in[i]];
                return out;
        }
        return in;
    }
};

// The pattern as bytes of the destination's format (a solid brush).
void pattern_bytes(BitmapObj* dst, DCObj* dc, uint8_t pat[3]) {
    COLORREF c = 0;
    if (Object* b = find(dc->brush); b && b->kind == Kind::Brush && !b->brush->hollow) c = b->brush->color;
    dst->format->encode(*dst, c, pat);
}

// The bitmap selected into a device context, held so that it outlives a transfer that runs unlocked.
std::shared_ptr<BitmapObj> held_bitmap(DCObj* dc) {
    if (!dc) return nullptr;
    Object* o = find(dc->display ? table().screen : dc->bitmap);
    return o && o->kind == Kind::Bitmap ? o->bitmap : nullptr;
}

// Called with the graphics lock held in `lock`; the pixels are worked on with it released,
// so that transfers between other surfaces on other threads go on at the same time.
int blit(std::unique_lock<std::recursive_mutex>& lock, HGDI hdst, int32_t x, int32_t y, int32_t cx, int32_t cy,
         HGDI hsrc, int32_t sx, int32_t sy, uint32_t rop) {
    DCObj* ddc = find_dc(hdst);
    std::shared_ptr<BitmapObj> dst_hold = held_bitmap(ddc), src_hold;
    BitmapObj* dst = dst_hold.get();
    if (!dst) return 0;
    const uint8_t op = static_cast<uint8_t>(rop >> 16);
    const bool need_src = uses_source(op);
    BitmapObj* src = nullptr;
    if (need_src) {
        src_hold = held_bitmap(find_dc(hsrc));
        src = src_hold.get();
        if (!src) return 0;
    }
    if (cx <= 0 || cy <= 0) return 1;
    // clip to the destination, then to the source
    clip_span(x, sx, cx, dst->width);
    clip_span(y, sy, cy, dst->height);
    if (need_src) {
        clip_span(sx, x, cx, src->width);
        clip_span(sy, y, cy, src->height);
    }
    if (cx <= 0 || cy <= 0) return 1;

    const int bpp = dst->format->bytes;
    const size_t row_bytes = static_cast<size_t>(cx) * bpp;
    uint8_t pat[3] = {0, 0, 0};
    if (uses_pattern(op)) pattern_bytes(dst, ddc, pat);
    std::optional<RowConverter> convert;
    if (need_src) convert.emplace(dst, src);
    lock.unlock();

    const int sbpp = need_src ? src->format->bytes : 0;
    // a transfer within one surface reads its source before writing
    std::vector<uint8_t> snapshot;
    if (src == dst) {
        snapshot.resize(static_cast<size_t>(cx) * sbpp * cy);
        for (int32_t r = 0; r < cy; ++r)
            std::memcpy(&snapshot[r * static_cast<size_t>(cx) * sbpp], src->row(sy + r) + sx * sbpp,
                        static_cast<size_t>(cx) * sbpp);
    }
    std::vector<uint8_t> converted(need_src ? row_bytes : 0);
    for (int32_t r = 0; r < cy; ++r) {
        uint8_t* d = dst->row(y + r) + static_cast<size_t>(x) * bpp;
        const uint8_t* s = nullptr;
        if (need_src) {
            const uint8_t* in = src == dst ? &snapshot[r * static_cast<size_t>(cx) * sbpp]
                                           : src->row(sy + r) + static_cast<size_t>(sx) * sbpp;
            // a plain copy converts straight into the destination
            s = (*convert)(dst, src, in, cx, op == 0xCC ? d : converted.data());
            if (op == 0xCC && s == d) continue;
        }
        switch (op) {  // the common operations directly; every other through the truth table
            case 0xCC: std::memcpy(d, s, row_bytes); break;
            case 0x00: std::memset(d, 0, row_bytes); break;
            case 0xFF: std::memset(d, 0xFF, row_bytes); break;
            case 0x55:
                for (size_t i = 0; i < row_bytes; ++i) d[i] = static_cast<uint8_t>(~d[i]);
                break;
            case 0x33:
                for (size_t i = 0; i < row_bytes; ++i) d[i] = static_cast<uint8_t>(~s[i]);
                break;
            case 0xEE:
                for (size_t i = 0; i < row_bytes; ++i) d[i] |= s[i];
                break;
            case 0x88:
                for (size_t i = 0; i < row_bytes; ++i) d[i] &= s[i];
                break;
            case 0x66:
                for (size_t i = 0; i < row_bytes; ++i) d[i] ^= s[i];
                break;
            case 0xF0:
                for (size_t i = 0; i < row_bytes; ++i) d[i] = pat[i % bpp];
                break;
            default:
                for (size_t i = 0; i < row_bytes; ++i)
                    d[i] = rop3(op, pat[i % bpp], s ? s[i] : 0, uses_dest(op) ? d[i] : 0);
        }
    }
    return 1;
}

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
    auto m = std::make_shared<ColorMatcher>(color_entries(colors), count);
    if (kept.size() == kKeep) kept.erase(kept.begin());
    kept.push_back({std::vector<RGBQUAD>(colors, colors + count), m});
    return m;
}

int BitBlt(HGDI dst, int32_t x, int32_t y, int32_t cx, int32_t cy, HGDI src, int32_t x1, int32_t y1, uint32_t rop) {
    std::unique_lock<std::recursive_mutex> lock(table().lock);
    return blit(lock, dst, x, y, cx, cy, src, x1, y1, rop);
}

int PatBlt(HGDI dst, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t rop) {
    std::unique_lock<std::recursive_mutex> lock(table().lock);
    if (uses_source(static_cast<uint8_t>(rop >> 16))) return 0;
    return blit(lock, dst, x, y, cx, cy, 0, 0, 0, rop);
}

int nearest_color_index(const RGBQUAD* table, int count, uint8_t r, uint8_t g, uint8_t b) {
    return ColorMatcher::brute_force(color_entries(table), count, r, g, b);
}

int GetDIBits(HGDI hdc, HGDI hbm, uint32_t start, uint32_t lines, void* bits, BITMAPINFO* bmi, uint32_t usage) {
    auto& t = table();
    std::unique_lock<std::recursive_mutex> lock(t.lock);
    Object* o = find(hbm);
    // held, so that the rows can be read with the lock released (other threads' reads and
    // transfers go on meanwhile) while the bitmap cannot go away under them
    const std::shared_ptr<BitmapObj> hold = o && o->kind == Kind::Bitmap ? o->bitmap : nullptr;
    BitmapObj* bm = hold.get();
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
    std::shared_ptr<ColorMatcher> matcher;  // the caller's colour table, not the bitmap's
    if (h.biBitCount == 8 && bm->bpp != 8) matcher = shared_matcher(bmi->bmiColors, 256);
    lock.unlock();
    for (uint32_t k = 0; k < lines; ++k) {
        // scan line `start + k` counts from the bottom of a bottom-up picture, from the top of a top-down one
        uint32_t scan = start + k;
        int32_t y = out_top_down ? static_cast<int32_t>(scan) : bm->height - 1 - static_cast<int32_t>(scan);
        const uint8_t* in = bm->row(y);
        uint8_t* out = static_cast<uint8_t*>(bits) + k * out_stride;
        if (h.biBitCount == 24) {
            bm->format->to_bgr(*bm, in, w, out);
        } else if (bm->bpp == 8) {
            std::memcpy(out, in, static_cast<size_t>(w));
        } else {
            matcher->row(in, w, out);
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
        bm->format->from_bgr(*bm, in, w, bm->row(y));
    }
    return static_cast<int>(lines);
}

void put_pixel(BitmapObj* bm, int32_t x, int32_t y, COLORREF c) {
    if (!bm || x < 0 || y < 0 || x >= bm->width || y >= bm->height) return;
    uint8_t px[3];
    bm->format->encode(*bm, c, px);
    std::memcpy(bm->row(y) + static_cast<size_t>(x) * bm->format->bytes, px, static_cast<size_t>(bm->format->bytes));
}

void fill_rect(BitmapObj* bm, int32_t x0, int32_t y0, int32_t x1, int32_t y1, COLORREF c) {
    if (!bm) return;
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, bm->width);
    y1 = std::min(y1, bm->height);
    if (x0 >= x1 || y0 >= y1) return;
    uint8_t px[3];
    bm->format->encode(*bm, c, px);
    const int n = bm->format->bytes;
    for (int32_t y = y0; y < y1; ++y) {
        uint8_t* p = bm->row(y) + static_cast<size_t>(x0) * n;
        if (n == 1) {
            std::memset(p, px[0], static_cast<size_t>(x1 - x0));
            continue;
        }
        for (int32_t x = x0; x < x1; ++x, p += n) std::memcpy(p, px, 3);
    }
}

}  // namespace t2::gdi
