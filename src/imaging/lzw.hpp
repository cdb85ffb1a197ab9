// The GIF image-data encoder: 9-bit LZW codes packed least significant bit
// first into sub-blocks of at most 255 bytes.  The string table restarts at
// every row and whenever it holds 253 strings, so codes never outgrow 9 bits.
//
// A string is known by its code; a candidate string is (the code of its
// prefix, its last index), so the table is a small hash of those pairs with
// results identical to keying strings by their texts.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>

namespace t2 {

class GifLzw {
public:
    static constexpr int kClear = 256, kEnd = 257, kFirst = 258;
    static constexpr int kMaxEntries = 253;  // codes 258..510: a ninth bit never overflows
    // Receives finished bytes (whole sub-blocks, then the last one and the terminator).
    using Sink = std::function<void(const uint8_t*, size_t)>;

    explicit GifLzw(Sink sink) : sink_(std::move(sink)) {}

    // Start of the image data of a save.
    void start() {
        block_[0] = 0;
        acc_ = 0;
        acc_bits_ = 0;
        restart();
    }
    void encode_row(const uint8_t* p, int32_t width);
    // End code (with the clear code of every 512th save first), last sub-block, terminator.
    void finish();
    // The end-code counter lives across saves with the object.
    uint16_t end_counter = 0;

private:
    void restart() {
        ++generation_;
        if (generation_ == 0) {  // after 2^32 restarts the stamps wrap: wipe them
            std::memset(stamp_, 0, sizeof stamp_);
            generation_ = 1;
        }
        entries_ = 0;
    }
    void put(int code) {
        acc_ |= static_cast<uint32_t>(code) << acc_bits_;
        acc_bits_ += 9;
        while (acc_bits_ >= 8) {
            byte(static_cast<uint8_t>(acc_));
            acc_ >>= 8;
            acc_bits_ -= 8;
        }
    }
    void byte(uint8_t b) {
        if (block_[0] == 255) {  // a full sub-block goes out only when a further byte is needed
            sink_(block_, 256);
            block_[0] = 0;
        }
        block_[++block_[0]] = b;
    }
    // Looks up (prefix, index); returns the code or -1, and where a new entry would go.
    int find(uint32_t key, uint32_t& slot) const {
        uint32_t h = (key * 2654435761u) >> (32 - kBits);
        while (stamp_[h] == generation_) {
            if (keys_[h] == key) {
                slot = h;
                return codes_[h];
            }
            h = (h + 1) & (kSlots - 1);
        }
        slot = h;
        return -1;
    }

    static constexpr int kBits = 10, kSlots = 1 << kBits;  // 1024 slots for at most 253 entries
    Sink sink_;
    uint8_t block_[256] = {};
    uint32_t acc_ = 0;
    int acc_bits_ = 0;
    int entries_ = 0;
    uint32_t generation_ = 0;
    uint32_t stamp_[kSlots] = {};
    uint32_t keys_[kSlots] = {};
    uint16_t codes_[kSlots] = {};
};

inline void GifLzw::encode_row(const uint8_t* p, int32_t width) {
    restart();
    put(kClear);
    // The prefix of the first candidate is empty (not p0): its entry, code 258,
    // holds one index and is never matched, but it counts towards the 253.
    constexpr uint32_t kNoPrefix = 0xFFFFu;
    uint32_t prefix = kNoPrefix;
    int current = p[0];
    for (int32_t j = 1; j < width; ++j) {
        const uint32_t key = (prefix << 8) | p[j];
        uint32_t slot;
        int code = find(key, slot);
        if (code >= 0) {
            current = code;
            prefix = static_cast<uint32_t>(code);
            continue;
        }
        if (entries_ == kMaxEntries) {
            put(current);
            put(kClear);
            restart();
        } else {
            stamp_[slot] = generation_;
            keys_[slot] = key;
            codes_[slot] = static_cast<uint16_t>(kFirst + entries_++);
            put(current);
        }
        prefix = p[j];
        current = p[j];
    }
    put(current);
}

inline void GifLzw::finish() {
    if (++end_counter > 511) {
        end_counter = kFirst;
        put(kClear);
        restart();
    }
    put(kEnd);
    if (acc_bits_ > 0) {
        byte(static_cast<uint8_t>(acc_));
        acc_ = 0;
        acc_bits_ = 0;
    }
    sink_(block_, static_cast<size_t>(block_[0]) + 1);
    const uint8_t terminator = 0;
    sink_(&terminator, 1);
}

}  // namespace t2
