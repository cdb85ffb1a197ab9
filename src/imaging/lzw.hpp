// The GIF image-data encoder: 9-bit LZW codes packed least significant bit
// first into sub-blocks of at most 255 bytes.  The string table restarts at
// every row and whenever it holds 253 strings, so codes never outgrow 9 bits.
//
// A string is known by its code; a candidate string is (the code of its
// prefix, its last index), so the table is a direct array indexed by that
// pair, with results identical to keying strings by their texts.  Entries
// carry the number of the table they belong to, so a restart empties the
// table without touching it.
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <functional>

namespace t2 {

class GifLzw {
public:
    static constexpr int kClear = 256, kEnd = 257, kFirst = 258;
    static constexpr int kMaxEntries = 253;  // codes 258..510: a ninth bit never overflows
    // Receives finished bytes (whole sub-blocks, then the last one and the terminator).
    using Sink = std::function<void(const uint8_t*, size_t)>;

    explicit GifLzw(Sink sink = nullptr) : sink_(std::move(sink)) {}
    GifLzw(const GifLzw&) = delete;  // half a megabyte of table: made once per writer
    GifLzw& operator=(const GifLzw&) = delete;
    void set_sink(Sink sink) { sink_ = std::move(sink); }

    // Start of the image data of a save.
    void start() {
        block_[0] = 0;
        staged_ = 0;
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
        if (++generation_ == 0) {  // after 65535 restarts the numbers wrap: empty the array once
            std::memset(table_, 0, sizeof table_);
            generation_ = 1;
        }
        entries_ = 0;
    }
    // Codes go into a 64-bit accumulator; whole bytes leave it for the staging
    // buffer four at a time, and the staging buffer is cut into sub-blocks.
    void put(int code) {
        acc_ |= static_cast<uint64_t>(code) << acc_bits_;
        acc_bits_ += 9;
        if (acc_bits_ >= 32) {
            uint32_t word = static_cast<uint32_t>(acc_);
            std::memcpy(&stage_[staged_], &word, 4);  // little-endian: the low byte first
            staged_ += 4;
            acc_ >>= 32;
            acc_bits_ -= 32;
            if (staged_ >= kStage - 4) drain(false);
        }
    }
    void byte(uint8_t b) {
        stage_[staged_++] = b;
        if (staged_ >= kStage - 4) drain(false);
    }
    // Moves staged bytes into sub-blocks; a full sub-block goes out only when a
    // further byte follows it, so at the end the last one is kept for finish().
    void drain(bool all) {
        size_t at = 0;
        while (staged_ - at > 0) {
            size_t room = 255 - block_[0];
            if (room == 0) {
                if (!all && staged_ - at == 0) break;
                sink_(block_, 256);
                block_[0] = 0;
                room = 255;
            }
            size_t take = std::min(room, staged_ - at);
            std::memcpy(&block_[1 + block_[0]], &stage_[at], take);
            block_[0] = static_cast<uint8_t>(block_[0] + take);
            at += take;
        }
        staged_ = 0;
    }

    struct Entry {
        uint16_t generation;  // the table it belongs to
        uint16_t code;
    };
    // Prefixes are codes 0..510; the first candidate of a row, whose prefix is
    // empty, has row 511 of its own, which nothing else reaches.
    static constexpr uint32_t kNoPrefix = 511;
    Sink sink_;
    static constexpr size_t kStage = 4096;
    uint8_t block_[256] = {};
    uint8_t stage_[kStage] = {};
    size_t staged_ = 0;
    uint64_t acc_ = 0;
    int acc_bits_ = 0;
    int entries_ = 0;
    uint16_t generation_ = 0;
    Entry table_[512 * 256] = {};
};

inline void GifLzw::encode_row(const uint8_t* p, int32_t width) {
    restart();
    put(kClear);
    // The prefix of the first candidate is empty (not p0): its entry, code 258,
    // holds one index and is never matched, but it counts towards the 253.
    uint32_t prefix = kNoPrefix;
    int current = p[0];
    for (int32_t j = 1; j < width; ++j) {
        Entry& e = table_[(prefix << 8) | p[j]];
        if (e.generation == generation_) {
            current = e.code;
            prefix = e.code;
            continue;
        }
        if (entries_ == kMaxEntries) {
            put(current);
            put(kClear);
            restart();
        } else {
            e.generation = generation_;
            e.code = static_cast<uint16_t>(kFirst + entries_++);
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
    while (acc_bits_ > 0) {  // the bytes still in the accumulator, the last one partly filled
        byte(static_cast<uint8_t>(acc_));
        acc_ >>= 8;
        acc_bits_ = acc_bits_ > 8 ? acc_bits_ - 8 : 0;
    }
    drain(true);
    sink_(block_, static_cast<size_t>(block_[0]) + 1);
    const uint8_t terminator = 0;
    sink_(&terminator, 1);
}

}  // namespace t2
