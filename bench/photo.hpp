// The benchmarks' picture: smooth gradients and fine grain, as a photograph has them.
#pragma once

#include <algorithm>
#include <cmath>
#include <random>

#include "platform/gdi/gdi.hpp"

inline t2::gdi::HGDI photo_like(int width, int height) {
    using namespace t2::gdi;
    BITMAPINFO bi{};
    bi.bmiHeader = {40, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    int32_t bits = 0;
    HGDI bm = CreateDIBSection(0, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bm) return 0;
    Surface s;
    surface_of(bm, s);
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> grain(-6, 6);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = s.top + y * s.step;
        for (int x = 0; x < width; ++x) {
            double fx = x / double(width), fy = y / double(height);
            double r = 128 + 100 * std::sin(fx * 6.1 + fy * 2.3), g = 120 + 90 * std::cos(fy * 5.2 - fx * 1.7),
                   b = 110 + 80 * std::sin((fx + fy) * 4.4);
            row[x * 3] = static_cast<uint8_t>(std::clamp(b + grain(rng), 0.0, 255.0));
            row[x * 3 + 1] = static_cast<uint8_t>(std::clamp(g + grain(rng), 0.0, 255.0));
            row[x * 3 + 2] = static_cast<uint8_t>(std::clamp(r + grain(rng), 0.0, 255.0));
        }
    }
    return bm;
}

inline t2::gdi::HGDI photo_like(int side) { return photo_like(side, side); }
