// Exact nearest-colour search in a colour table: squared RGB distance, every
// entry taking part, lowest index on ties.  RGB space is cut into 32x32x32
// cells; each cell keeps, built on first use, the entries that can be nearest
// to some colour inside it (those whose least distance to the cell is not
// above the smallest greatest distance of any entry), so a lookup scans a few
// candidates instead of the whole table.
#pragma once

#include <cstdint>
#include <vector>

namespace t2::gdi {

struct RGBQUAD;

class ColorMatcher {
public:
    ColorMatcher(const RGBQUAD* table, int count);
    uint8_t nearest(uint8_t r, uint8_t g, uint8_t b) {
        uint32_t cell = (static_cast<uint32_t>(r >> 3) << 10) | (static_cast<uint32_t>(g >> 3) << 5) | (b >> 3);
        uint32_t at = offset_[cell];
        if (at == kUnbuilt) at = build(cell);
        const uint8_t* c = &candidates_[at];
        uint32_t n = counts_[cell];
        if (n == 1) return c[0];
        uint8_t best = c[0];
        int32_t best_d = distance(best, r, g, b);
        for (uint32_t k = 1; k < n; ++k) {
            int32_t d = distance(c[k], r, g, b);
            if (d < best_d) {  // candidates are in index order: ties keep the lower index
                best_d = d;
                best = c[k];
            }
        }
        return best;
    }
    // Straight search over the whole table (the definition the cells must agree with).
    static int brute_force(const RGBQUAD* table, int count, uint8_t r, uint8_t g, uint8_t b);

private:
    static constexpr uint32_t kUnbuilt = 0xFFFFFFFFu;
    int32_t distance(uint8_t i, uint8_t r, uint8_t g, uint8_t b) const {
        int32_t dr = int32_t(r) - rgb_[i * 3], dg = int32_t(g) - rgb_[i * 3 + 1], db = int32_t(b) - rgb_[i * 3 + 2];
        return dr * dr + dg * dg + db * db;
    }
    uint32_t build(uint32_t cell);
    int count_;
    std::vector<uint8_t> rgb_;          // r, g, b per entry
    std::vector<uint32_t> offset_;      // per cell: where its candidates start
    std::vector<uint16_t> counts_;      // per cell: how many
    std::vector<uint8_t> candidates_;
};

}  // namespace t2::gdi
