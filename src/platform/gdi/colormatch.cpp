// Candidate lists per cell for the exact nearest-colour search.
#include "platform/gdi/colormatch.hpp"

#include <algorithm>
#include <limits>

#include "platform/gdi/gdi.hpp"

namespace t2::gdi {

ColorMatcher::ColorMatcher(const RGBQUAD* table, int count)
    : count_(std::max(count, 1)), rgb_(static_cast<size_t>(count_) * 3, 0), offset_(32768, kUnbuilt), counts_(32768, 0) {
    for (int i = 0; i < count; ++i) {
        rgb_[i * 3] = table[i].rgbRed;
        rgb_[i * 3 + 1] = table[i].rgbGreen;
        rgb_[i * 3 + 2] = table[i].rgbBlue;
    }
    candidates_.reserve(4096);
}

int ColorMatcher::brute_force(const RGBQUAD* table, int count, uint8_t r, uint8_t g, uint8_t b) {
    int best = 0;
    int32_t best_d = std::numeric_limits<int32_t>::max();
    for (int i = 0; i < count; ++i) {
        int32_t dr = int32_t(r) - table[i].rgbRed, dg = int32_t(g) - table[i].rgbGreen, db = int32_t(b) - table[i].rgbBlue;
        int32_t d = dr * dr + dg * dg + db * db;
        if (d < best_d) {
            best_d = d;
            best = i;
        }
    }
    return best;
}

namespace {
// Least and greatest squared distance along one axis from value v to [lo, lo + 7].
inline void axis(int v, int lo, int32_t& dmin, int32_t& dmax) {
    int hi = lo + 7;
    int near = v < lo ? lo - v : (v > hi ? v - hi : 0);
    int far = std::max(std::abs(v - lo), std::abs(v - hi));
    dmin = near * near;
    dmax = far * far;
}
}  // namespace

uint32_t ColorMatcher::build(uint32_t cell) {
    int r0 = static_cast<int>((cell >> 10) & 31) * 8, g0 = static_cast<int>((cell >> 5) & 31) * 8,
        b0 = static_cast<int>(cell & 31) * 8;
    std::vector<int32_t> mins(static_cast<size_t>(count_));
    int32_t bound = std::numeric_limits<int32_t>::max();
    for (int i = 0; i < count_; ++i) {
        int32_t a, b, c, A, B, C;
        axis(rgb_[i * 3], r0, a, A);
        axis(rgb_[i * 3 + 1], g0, b, B);
        axis(rgb_[i * 3 + 2], b0, c, C);
        mins[static_cast<size_t>(i)] = a + b + c;
        bound = std::min(bound, A + B + C);
    }
    uint32_t at = static_cast<uint32_t>(candidates_.size());
    for (int i = 0; i < count_; ++i)
        if (mins[static_cast<size_t>(i)] <= bound) candidates_.push_back(static_cast<uint8_t>(i));
    offset_[cell] = at;
    counts_[cell] = static_cast<uint16_t>(candidates_.size() - at);
    return at;
}

}  // namespace t2::gdi
