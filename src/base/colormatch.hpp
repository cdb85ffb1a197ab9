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
//
// Most cells have one answer for all 64 colours (one candidate is left, or the
// 64 answers agree); such a cell keeps its answer in its two-byte cell word
// and its 64 bytes of the big table are never touched, so the colours of a
// picture cost two bytes of cache per cell instead of a cache line.
//
// Lookups may run on many threads at once: a cell word is published with
// release order after its answers are written, and cells are filled under the
// matcher's own lock.
//
// The rule is the library's own on every platform: the Linux graphics layer
// converts with it, and the Windows build uses it instead of the platform's
// matching, so both write the same files.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

namespace t2 {

// One entry of a colour table, laid out as the graphics layer's entries are (blue, green, red, spare).
struct ColorEntry {
    uint8_t blue, green, red, spare;
};
// A colour table of the graphics layer as entries.
template <class Quad>
const ColorEntry* color_entries(const Quad* table) {
    static_assert(sizeof(Quad) == sizeof(ColorEntry) && std::is_trivially_copyable_v<Quad>);
    return reinterpret_cast<const ColorEntry*>(table);
}

class ColorMatcher {
public:
    ColorMatcher(const ColorEntry* table, int count);
    uint8_t nearest(uint8_t r, uint8_t g, uint8_t b) {
        // Cells are stored in Morton order (the bits of r, g and b interleaved), so colours near one
        // another in every channel are near in memory, and the colours of a picture stay in cache.
        const uint32_t slot = (kSpread[r] << 2) | (kSpread[g] << 1) | kSpread[b];
        uint16_t word = cells_[slot >> 6].load(std::memory_order_acquire);
        if (word == kUnfilled) [[unlikely]]
            word = fill(r, g, b);
        return word & kUniform ? static_cast<uint8_t>(word) : map_[slot];
    }
    // A row of w pixels of blue-green-red bytes to indices: the one 24-to-8-bit loop.
    void row(const uint8_t* bgr, int32_t w, uint8_t* out);
    // Straight search over the whole table (the definition the cells must agree with).
    static int brute_force(const ColorEntry* table, int count, uint8_t r, uint8_t g, uint8_t b);

private:
    struct Candidate {
        int32_t least;  // least squared distance from the entry to the box
        uint8_t index, r, g, b;
    };
    // The entries of `from` that can be nearest inside the box [r0, r0+side) x ..., ordered by least distance.
    void candidates(const Candidate* from, size_t n, int r0, int g0, int b0, int side,
                    std::vector<Candidate>& out) const;
    // Works out the cell of (r, g, b) and returns its word.
    uint16_t fill(uint8_t r, uint8_t g, uint8_t b);
    // A cell word: 0 not worked out yet; kUniform | index: every colour of the
    // cell has that index; kMixed: the answers are in the big table.
    static constexpr uint16_t kUnfilled = 0, kUniform = 0x100, kMixed = 0x200;
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

    std::vector<Candidate> entries_;              // the whole table
    std::vector<std::vector<Candidate>> blocks_;  // per 16x16x16 block, made on first use
    std::vector<uint8_t> block_ready_;
    std::unique_ptr<std::atomic<uint16_t>[]> cells_;  // 2^18 cell words
    std::unique_ptr<uint8_t[]> map_;  // 2^24 answers, cell by cell; pages are touched as mixed cells fill
    std::vector<Candidate> scratch_;
    std::mutex fill_lock_;  // over fill() and everything it changes
};

}  // namespace t2
