// The GIF image-data encoder: 9-bit LZW codes packed least significant bit
// first into sub-blocks of at most 255 bytes.  The string table restarts at
// every row and whenever it holds 253 strings, so codes never outgrow 9 bits.
//
// Three stages, each usable alone:
//   SubBlocks    bytes in; sub-blocks (a length byte and 255 data bytes) out,
//                the last one kept back until close() writes it and the terminator;
//   BitWriter    9-bit codes in; their bytes, low bits first, into SubBlocks;
//   StringTable  strings known by (the code of their prefix, their last index).
// GifLzw runs the rows through them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

namespace t2 {

class SubBlocks {
public:
    // Receives finished bytes: whole sub-blocks, then the last one and the terminator.
    using Sink = std::function<void(const uint8_t*, size_t)>;

    explicit SubBlocks(Sink sink = nullptr) : sink_(std::move(sink)) {}
    void set_sink(Sink sink) { sink_ = std::move(sink); }
    void start() { block_[0] = 0; }
    // A full sub-block goes out only when a further byte follows it, so the
    // stream never ends on an empty sub-block before the terminator.
    void write(const uint8_t* p, size_t n) {
        while (n > 0) {
            if (block_[0] == 255) {
                sink_(block_, 256);
                block_[0] = 0;
            }
            const size_t take = std::min<size_t>(255u - block_[0], n);
            std::memcpy(&block_[1 + block_[0]], p, take);
            block_[0] = static_cast<uint8_t>(block_[0] + take);
            p += take;
            n -= take;
        }
    }
    // The last sub-block as it stands and the zero-length terminator.
    void close() {
        sink_(block_, static_cast<size_t>(block_[0]) + 1);
        const uint8_t terminator = 0;
        sink_(&terminator, 1);
    }

private:
    Sink sink_;
    uint8_t block_[256] = {};  // byte 0: the length of the sub-block being filled
};

class BitWriter {
public:
    explicit BitWriter(SubBlocks& out) : out_(out) {}
    void start() {
        acc_ = 0;
        bits_ = 0;
        staged_ = 0;
    }
    // Codes gather in a 64-bit accumulator; whole bytes leave it four at a
    // time for a staging buffer, which goes to the sub-blocks when nearly full.
    void put(uint32_t code) {
        acc_ |= static_cast<uint64_t>(code) << bits_;
        bits_ += kWidth;
        if (bits_ >= 32) {
            const uint32_t word = static_cast<uint32_t>(acc_);
            std::memcpy(&stage_[staged_], &word, 4);  // little-endian: the low byte first
            staged_ += 4;
            acc_ >>= 32;
            bits_ -= 32;
            if (staged_ > kStage - 4) drain();
        }
    }
    // The bits still held, the last byte filled up with zeros, all handed on.
    void flush() {
        for (; bits_ > 0; bits_ = bits_ > 8 ? bits_ - 8 : 0) {
            stage_[staged_++] = static_cast<uint8_t>(acc_);
            acc_ >>= 8;
        }
        drain();
    }

private:
    static constexpr int kWidth = 9;
    static constexpr size_t kStage = 4096;
    void drain() {
        out_.write(stage_, staged_);
        staged_ = 0;
    }
    SubBlocks& out_;
    uint64_t acc_ = 0;
    int bits_ = 0;
    size_t staged_ = 0;
    uint8_t stage_[kStage + 8] = {};
};

// Strings of one table generation, at most 253 of them, in a small open-
// addressing hash table that stays in the first-level cache.  Each slot holds
// the string's key (prefix code and last index), the generation it belongs to
// and its code; a slot of another generation is free, so a restart is one
// increment, and the slots are wiped once every 127 generations.
class StringTable {
public:
    static constexpr int kFirst = 258;
    static constexpr int kMaxEntries = 253;  // codes 258..510: a ninth bit never overflows

    StringTable() { std::memset(slots_, 0, sizeof slots_); }
    StringTable(const StringTable&) = delete;  // 16 KiB: made once per encoder
    StringTable& operator=(const StringTable&) = delete;
    void restart() {
        if (++generation_ == kGenerations) {
            std::memset(slots_, 0, sizeof slots_);
            generation_ = 1;
        }
        tag_ = generation_ << kKeyBits;
        entries_ = 0;
    }
    int size() const { return entries_; }
    bool full() const { return entries_ == kMaxEntries; }
    // The code of the string (prefix, index), or -1.  `prefix` is a code 0..510.
    int find(uint32_t prefix, uint8_t index) const {
        const uint32_t want = (prefix << 8 | index) | tag_;
        for (uint32_t h = hash(prefix, index);; h = (h + 1) & kMask) {
            const uint32_t s = slots_[h];
            if ((s & kMatch) == want) return static_cast<int>(s >> kCodeShift) + kFirst;
            if ((s & kGenerationMask) != tag_) return -1;
        }
    }
    // Enters (prefix, index), which is not in the table, with the next code.
    void add(uint32_t prefix, uint8_t index) {
        uint32_t h = hash(prefix, index);
        while ((slots_[h] & kGenerationMask) == tag_) h = (h + 1) & kMask;
        slots_[h] = (prefix << 8 | index) | tag_ | static_cast<uint32_t>(entries_) << kCodeShift;
        ++entries_;
    }
    // Counts an entry that no lookup can find (the first candidate of a row, whose prefix is empty).
    void add_unmatchable() { ++entries_; }

private:
    static constexpr int kKeyBits = 17;  // prefix code (9 bits) and index (8 bits)
    static constexpr int kCodeShift = 24;
    static constexpr uint32_t kGenerations = 128;
    static constexpr uint32_t kGenerationMask = 0x7Fu << kKeyBits;
    static constexpr uint32_t kMatch = (1u << kCodeShift) - 1;
    static constexpr uint32_t kSlots = 4096, kMask = kSlots - 1;
    static uint32_t hash(uint32_t prefix, uint8_t index) { return ((prefix << 3) ^ index) & kMask; }

    uint32_t slots_[kSlots];
    uint32_t generation_ = 0, tag_ = 0;
    int entries_ = 0;
};

class GifLzw {
public:
    static constexpr int kClear = 256, kEnd = 257;
    using Sink = SubBlocks::Sink;

    explicit GifLzw(Sink sink = nullptr) : blocks_(std::move(sink)), bits_(blocks_) {}
    GifLzw(const GifLzw&) = delete;  // the bit writer refers to the sub-blocks
    GifLzw& operator=(const GifLzw&) = delete;
    void set_sink(Sink sink) { blocks_.set_sink(std::move(sink)); }

    // Start of the image data of a save.
    void start() {
        blocks_.start();
        bits_.start();
        table_.restart();
    }
    void encode_row(const uint8_t* p, int32_t width);
    // End code (with the clear code of every 512th save first), last sub-block, terminator.
    void finish();

private:
    SubBlocks blocks_;
    BitWriter bits_;
    StringTable table_;
    uint16_t end_counter_ = 0;  // lives across saves with the object
};

inline void GifLzw::encode_row(const uint8_t* p, int32_t width) {
    table_.restart();
    bits_.put(kClear);
    if (width < 2) {
        bits_.put(p[0]);
        return;
    }
    // The first candidate, p1 after an empty prefix, is never found: it takes
    // code 258, holds one index and is never matched, but counts towards the 253.
    table_.add_unmatchable();
    bits_.put(p[0]);
    uint32_t current = p[1];  // the code of the string being extended
    for (int32_t j = 2; j < width; ++j) {
        const uint8_t next = p[j];
        const int code = table_.find(current, next);
        if (code >= 0) {
            current = static_cast<uint32_t>(code);
            continue;
        }
        bits_.put(current);
        if (table_.full()) {
            bits_.put(kClear);
            table_.restart();
        } else {
            table_.add(current, next);
        }
        current = next;
    }
    bits_.put(current);
}

inline void GifLzw::finish() {
    if (++end_counter_ > 511) {
        end_counter_ = StringTable::kFirst;
        bits_.put(kClear);
        table_.restart();
    }
    bits_.put(kEnd);
    bits_.flush();
    blocks_.close();
}

}  // namespace t2
