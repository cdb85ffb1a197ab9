// The two pixel formats' operations, and the conversions between them.
#include <cstring>

#include "platform/gdi/internal.hpp"

namespace t2::gdi {

void indices_to_bgr(const RGBQUAD* colors, const uint8_t* in, int32_t w, uint8_t* out) {
    for (int32_t i = 0; i < w; ++i, out += 3) {
        const RGBQUAD& q = colors[in[i]];
        out[0] = q.rgbBlue;
        out[1] = q.rgbGreen;
        out[2] = q.rgbRed;
    }
}

namespace {

const PixelFormat kBgr24 = {
    3,
    [](BitmapObj&, COLORREF c, uint8_t out[3]) {
        out[0] = blue(c);
        out[1] = green(c);
        out[2] = red(c);
    },
    [](const BitmapObj&, const uint8_t* px) -> COLORREF {
        return px[2] | (px[1] << 8) | (static_cast<uint32_t>(px[0]) << 16);
    },
    [](BitmapObj&, const uint8_t* in, int32_t w, uint8_t* out) { std::memcpy(out, in, static_cast<size_t>(w) * 3); },
    [](const BitmapObj&, const uint8_t* in, int32_t w, uint8_t* out) {
        std::memcpy(out, in, static_cast<size_t>(w) * 3);
    },
};

const PixelFormat kIndexed8 = {
    1,
    [](BitmapObj& bm, COLORREF c, uint8_t out[3]) {
        out[0] = out[1] = out[2] = bm.match().nearest(red(c), green(c), blue(c));
    },
    [](const BitmapObj& bm, const uint8_t* px) -> COLORREF {
        const RGBQUAD& q = bm.colors[px[0]];
        return q.rgbRed | (q.rgbGreen << 8) | (static_cast<uint32_t>(q.rgbBlue) << 16);
    },
    [](BitmapObj& bm, const uint8_t* in, int32_t w, uint8_t* out) { bm.match().row(in, w, out); },
    [](const BitmapObj& bm, const uint8_t* in, int32_t w, uint8_t* out) {
        indices_to_bgr(bm.colors.data(), in, w, out);
    },
};

}  // namespace

const PixelFormat& pixel_format(int bpp) { return bpp == 8 ? kIndexed8 : kBgr24; }

}  // namespace t2::gdi
