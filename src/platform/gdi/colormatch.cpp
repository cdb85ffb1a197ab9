// The nearest-colour table, filled cell by cell.
#include "platform/gdi/colormatch.hpp"

#include <algorithm>
#include <limits>

#include "platform/gdi/gdi.hpp"

namespace t2::gdi {

ColorMatcher::ColorMatcher(const RGBQUAD* table, int count)
    : blocks_(4096), block_ready_(4096, 0), ready_(1u << 18, 0), map_(new uint8_t[1u << 24]) {
    for (int i = 0; i < std::max(count, 1); ++i) {
        RGBQUAD q = i < count ? table[i] : RGBQUAD{0, 0, 0, 0};
        entries_.push_back({0, static_cast<uint8_t>(i), q.rgbRed, q.rgbGreen, q.rgbBlue});
    }
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
// Least and greatest squared distance along one axis from v to [lo, lo + side - 1].
inline void axis(int v, int lo, int side, int32_t& dmin, int32_t& dmax) {
    int hi = lo + side - 1;
    int near = v < lo ? lo - v : (v > hi ? v - hi : 0);
    int far = std::max(v - lo, hi - v);
    far = std::max(far, lo - v);
    dmin = near * near;
    dmax = far * far;
}
}  // namespace

void ColorMatcher::candidates(const Candidate* from, size_t n, int r0, int g0, int b0, int side,
                              std::vector<Candidate>& out) const {
    out.assign(from, from + n);
    int32_t bound = std::numeric_limits<int32_t>::max();
    for (Candidate& c : out) {
        int32_t a, b, d, A, B, D;
        axis(c.r, r0, side, a, A);
        axis(c.g, g0, side, b, B);
        axis(c.b, b0, side, d, D);
        c.least = a + b + d;
        bound = std::min(bound, A + B + D);
    }
    auto end = std::partition(out.begin(), out.end(), [&](const Candidate& c) { return c.least <= bound; });
    out.erase(end, out.end());
    std::sort(out.begin(), out.end(), [](const Candidate& x, const Candidate& y) {
        return x.least != y.least ? x.least < y.least : x.index < y.index;
    });
}

void ColorMatcher::fill(uint8_t r8, uint8_t g8, uint8_t b8) {
    const int cr = r8 >> 2, cg = g8 >> 2, cb = b8 >> 2;
    const uint32_t block = (static_cast<uint32_t>(cr >> 2) << 8) | (static_cast<uint32_t>(cg >> 2) << 4) |
                           static_cast<uint32_t>(cb >> 2);
    if (!block_ready_[block]) {
        candidates(entries_.data(), entries_.size(), (cr >> 2) * 16, (cg >> 2) * 16, (cb >> 2) * 16, 16, blocks_[block]);
        block_ready_[block] = 1;
    }
    const std::vector<Candidate>& from = blocks_[block];
    candidates(from.data(), from.size(), cr * 4, cg * 4, cb * 4, 4, scratch_);
    for (int k = 0; k < 64; ++k) {
        const int r = cr * 4 + (k >> 4), g = cg * 4 + ((k >> 2) & 3), b = cb * 4 + (k & 3);
        uint8_t best = 0;
        int32_t best_d = std::numeric_limits<int32_t>::max();
        for (const Candidate& c : scratch_) {
            if (c.least > best_d) break;  // nothing later can be as near
            int32_t dr = r - c.r, dg = g - c.g, db = b - c.b;
            int32_t d = dr * dr + dg * dg + db * db;
            if (d < best_d || (d == best_d && c.index < best)) {
                best_d = d;
                best = c.index;
            }
        }
        map_[(kSpread[r] << 2) | (kSpread[g] << 1) | kSpread[b]] = best;
    }
    ready_[((kSpread[r8] << 2) | (kSpread[g8] << 1) | kSpread[b8]) >> 6] = 1;
}

}  // namespace t2::gdi
