// Exact nearest-colour search in a colour table: squared RGB distance, every
// entry taking part, lowest index on ties.
//
// The answer for every one of the 2^24 colours is kept in a table that is
// filled a cell of 4x4x4 colours at a time, the first time a colour of the
// cell is asked for; after that a lookup is one read.  To fill a cell only the
// entries that can be nearest to some colour in it are compared: those whose
// least distance to the cell is not above the smallest greatest distance of any
// entry.  They are found among the same kind of list kept for the 16x16x16
// block around the cell (an entry nearest somewhere in the cell is nearest
// somewhere in the block), which is made from the whole table once per block.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace t2::gdi {

struct RGBQUAD;

class ColorMatcher {
public:
    ColorMatcher(const RGBQUAD* table, int count);
    uint8_t nearest(uint8_t r, uint8_t g, uint8_t b) {
        // Cells are stored in Morton order (the bits of r, g and b interleaved), so colours near one
        // another in every channel are near in memory, and the colours of a picture stay in cache.
        uint32_t slot = (kSpread[r] << 2) | (kSpread[g] << 1) | kSpread[b];
        uint32_t cell = slot >> 6;
        if (!ready_[cell]) fill(r, g, b);
        return map_[slot];
    }
    // Straight search over the whole table (the definition the cells must agree with).
    static int brute_force(const RGBQUAD* table, int count, uint8_t r, uint8_t g, uint8_t b);

private:
    struct Candidate {
        int32_t least;  // least squared distance from the entry to the box
        uint8_t index, r, g, b;
    };
    // The entries of `from` that can be nearest inside the box [r0, r0+side) x ..., ordered by least distance.
    void candidates(const Candidate* from, size_t n, int r0, int g0, int b0, int side, std::vector<Candidate>& out) const;
    void fill(uint8_t r, uint8_t g, uint8_t b);
    // spreads the 8 bits of a channel to every third bit: bit k goes to bit 3k
    static constexpr auto kSpread = [] {
        struct Table {
            uint32_t v[256];
            constexpr uint32_t operator[](size_t i) const { return v[i]; }
        } t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t s = 0;
            for (int k = 0; k < 8; ++k) s |= ((i >> k) & 1u) << (3 * k);
            t.v[i] = s;
        }
        return t;
    }();

    std::vector<Candidate> entries_;                 // the whole table
    std::vector<std::vector<Candidate>> blocks_;     // per 16x16x16 block, made on first use
    std::vector<uint8_t> block_ready_, ready_;
    std::unique_ptr<uint8_t[]> map_;                 // 2^24 answers, cell by cell; pages are touched as cells fill
    std::vector<Candidate> scratch_;
};

}  // namespace t2::gdi
