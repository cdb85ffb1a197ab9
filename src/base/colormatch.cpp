// The nearest-colour table, filled cell by cell.
#include "base/colormatch.hpp"

#include <algorithm>
#include <limits>

namespace t2 {

ColorMatcher::ColorMatcher(const ColorEntry* table, int count)
    : blocks_(4096), block_ready_(4096, 0), cells_(new std::atomic<uint16_t>[1u << 18]), map_(new uint8_t[1u << 24]) {
    for (uint32_t c = 0; c < (1u << 18); ++c) cells_[c].store(kUnfilled, std::memory_order_relaxed);
    for (int i = 0; i < std::max(count, 1); ++i) {
        ColorEntry q = i < count ? table[i] : ColorEntry{0, 0, 0, 0};
        entries_.push_back({0, static_cast<uint8_t>(i), q.red, q.green, q.blue});
    }
}

void ColorMatcher::row(const uint8_t* bgr, int32_t w, uint8_t* out) {
    // The tables in locals: the byte stores below could alias the members otherwise.
    const std::atomic<uint16_t>* cells = cells_.get();
    const uint8_t* map = map_.get();
    uint32_t last = 0xFFFFFFFFu;
    uint8_t last_index = 0;
    for (int32_t i = 0; i < w; ++i, bgr += 3) {
        const uint32_t key = bgr[0] | (bgr[1] << 8) | (bgr[2] << 16);
        if (key != last) {  // runs of one colour are matched once
            last = key;
            const uint32_t slot = (kSpread[bgr[2]] << 2) | (kSpread[bgr[1]] << 1) | kSpread[bgr[0]];
            uint16_t word = cells[slot >> 6].load(std::memory_order_acquire);
            if (word == kUnfilled) [[unlikely]]
                word = fill(bgr[2], bgr[1], bgr[0]);
            last_index = word & kUniform ? static_cast<uint8_t>(word) : map[slot];
        }
        out[i] = last_index;
    }
}

int ColorMatcher::brute_force(const ColorEntry* table, int count, uint8_t r, uint8_t g, uint8_t b) {
    int best = 0;
    int32_t best_d = std::numeric_limits<int32_t>::max();
    for (int i = 0; i < count; ++i) {
        int32_t dr = int32_t(r) - table[i].red, dg = int32_t(g) - table[i].green, db = int32_t(b) - table[i].blue;
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

uint16_t ColorMatcher::fill(uint8_t r8, uint8_t g8, uint8_t b8) {
    std::lock_guard<std::mutex> hold(fill_lock_);
    std::atomic<uint16_t>& word = cells_[((kSpread[r8] << 2) | (kSpread[g8] << 1) | kSpread[b8]) >> 6];
    if (uint16_t w = word.load(std::memory_order_acquire); w != kUnfilled) return w;  // another thread was first
    const int cr = r8 >> 2, cg = g8 >> 2, cb = b8 >> 2;
    const uint32_t block =
        (static_cast<uint32_t>(cr >> 2) << 8) | (static_cast<uint32_t>(cg >> 2) << 4) | static_cast<uint32_t>(cb >> 2);
    if (!block_ready_[block]) {
        candidates(entries_.data(), entries_.size(), (cr >> 2) * 16, (cg >> 2) * 16, (cb >> 2) * 16, 16,
                   blocks_[block]);
        block_ready_[block] = 1;
    }
    const std::vector<Candidate>& from = blocks_[block];
    candidates(from.data(), from.size(), cr * 4, cg * 4, cb * 4, 4, scratch_);
    uint16_t result;
    if (scratch_.size() == 1) {  // every other entry is farther from all of the cell than this one
        result = static_cast<uint16_t>(kUniform | scratch_[0].index);
    } else {
        uint8_t answers[64];
        bool same = true;
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
            answers[k] = best;
            same = same && best == answers[0];
        }
        if (same) {
            result = static_cast<uint16_t>(kUniform | answers[0]);
        } else {
            for (int k = 0; k < 64; ++k) {
                const int r = cr * 4 + (k >> 4), g = cg * 4 + ((k >> 2) & 3), b = cb * 4 + (k & 3);
                map_[(kSpread[r] << 2) | (kSpread[g] << 1) | kSpread[b]] = answers[k];
            }
            result = kMixed;
        }
    }
    word.store(result, std::memory_order_release);
    return result;
}

}  // namespace t2
