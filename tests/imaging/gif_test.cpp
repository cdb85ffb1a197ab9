// The LZW encoder's bytes and the GIF writer's files: layout, sizes,
// transparency, progress, nested saves, replacement and failed writes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <random>
#include <set>

#include "imaging/lzw.hpp"
#include "support/pictures.hpp"
#include "support/recorder.hpp"
#include "support/files.hpp"

using namespace t2;
using namespace t2test;

namespace {

using Bytes = std::vector<uint8_t>;

// One save's image data from an encoder that may have made earlier saves.
Bytes encode_with(GifLzw& lzw, Bytes& out, const std::vector<Bytes>& rows) {
    out.clear();
    lzw.start();
    for (auto& r : rows) lzw.encode_row(r.data(), static_cast<int32_t>(r.size()));
    lzw.finish();
    return out;
}
Bytes encode(const std::vector<Bytes>& rows) {
    Bytes out;
    auto lzw = std::make_unique<GifLzw>([&](const uint8_t* b, size_t n) { out.insert(out.end(), b, b + n); });
    return encode_with(*lzw, out, rows);
}

// The 9-bit codes of image data: sub-blocks joined, then read low bits first.
std::vector<int> codes_of(const Bytes& data) {
    Bytes joined;
    for (size_t at = 0; at < data.size() && data[at] != 0; at += 1 + data[at])
        joined.insert(joined.end(), data.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                      data.begin() + static_cast<std::ptrdiff_t>(at) + 1 + data[at]);
    std::vector<int> codes;
    for (size_t bit = 0; bit + 9 <= joined.size() * 8; bit += 9) {
        int c = 0;
        for (int k = 0; k < 9; ++k) c |= ((joined[(bit + k) / 8] >> ((bit + k) % 8)) & 1) << k;
        codes.push_back(c);
    }
    return codes;
}

uint64_t fnv1a(const Bytes& bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
    return h;
}

TEST(SubBlocks, FullBlocksGoOutOnlyWhenMoreFollows) {
    struct Case {
        size_t bytes;
        std::vector<size_t> lengths;  // the length bytes seen, the terminator last
    } cases[] = {
        {1, {1, 0}}, {254, {254, 0}}, {255, {255, 0}}, {256, {255, 1, 0}}, {510, {255, 255, 0}}, {0, {0, 0}},
    };
    for (const Case& c : cases) {
        Bytes out;
        SubBlocks blocks([&](const uint8_t* b, size_t n) { out.insert(out.end(), b, b + n); });
        blocks.start();
        Bytes data(c.bytes);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
        // in uneven pieces, as the bit writer hands them on
        for (size_t at = 0; at < data.size(); at += 100)
            blocks.write(&data[at], std::min<size_t>(100, data.size() - at));
        blocks.close();
        std::vector<size_t> lengths;
        Bytes joined;
        for (size_t at = 0; at < out.size(); at += 1 + out[at]) {
            lengths.push_back(out[at]);
            joined.insert(joined.end(), out.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                          out.begin() + static_cast<std::ptrdiff_t>(at) + 1 + out[at]);
        }
        EXPECT_EQ(lengths, c.lengths) << c.bytes << " bytes";
        EXPECT_EQ(joined, data) << c.bytes << " bytes";
    }
}

TEST(BitWriter, NineBitCodesLowBitsFirst) {
    struct Case {
        std::vector<uint32_t> codes;
        Bytes bytes;
    } cases[] = {
        {{256, 0, 257}, {0x00, 0x01, 0x04, 0x04}},  // clear, 0, end
        {{256, 1, 1, 259, 257}, {0x00, 0x03, 0x04, 0x18, 0x18, 0x10}},
        {{511}, {0xFF, 0x01}},  // the last byte partly filled, zeros above
        {{}, {}},
    };
    for (const Case& c : cases) {
        Bytes out;
        SubBlocks blocks([&](const uint8_t* b, size_t n) { out.insert(out.end(), b, b + n); });
        BitWriter bits(blocks);
        blocks.start();
        bits.start();
        for (uint32_t code : c.codes) bits.put(code);
        bits.flush();
        blocks.close();
        Bytes expect{static_cast<uint8_t>(c.bytes.size())};
        expect.insert(expect.end(), c.bytes.begin(), c.bytes.end());
        expect.push_back(0);
        EXPECT_EQ(out, expect);
    }
    // a long run crosses the staging buffer and many sub-blocks without losing a bit
    Bytes out;
    SubBlocks blocks([&](const uint8_t* b, size_t n) { out.insert(out.end(), b, b + n); });
    BitWriter bits(blocks);
    blocks.start();
    bits.start();
    std::vector<int> codes;
    for (int i = 0; i < 20000; ++i) codes.push_back((i * 37) % 512);
    for (int c : codes) bits.put(static_cast<uint32_t>(c));
    bits.flush();
    blocks.close();
    EXPECT_EQ(codes_of(out), codes);
}

TEST(StringTable, FindsWhatWasAddedUntilTheRestart) {
    StringTable t;
    t.restart();
    EXPECT_EQ(t.find(7, 12), -1);
    t.add_unmatchable();
    t.add(7, 12);
    t.add(259, 12);
    t.add(12, 7);
    EXPECT_EQ(t.size(), 4);
    EXPECT_EQ(t.find(7, 12), 259);
    EXPECT_EQ(t.find(259, 12), 260);
    EXPECT_EQ(t.find(12, 7), 261);
    EXPECT_EQ(t.find(12, 12), -1);
    // keys that share a hash slot are told apart
    t.add(0, 8);
    t.add(1, 0);
    EXPECT_EQ(t.find(0, 8), 262);
    EXPECT_EQ(t.find(1, 0), 263);
    // fills to 253 and empties on a restart, across the wrap of the generations
    for (int round = 0; round < 300; ++round) {
        t.restart();
        EXPECT_EQ(t.find(7, 12), -1) << round;
        for (int n = 0; n < StringTable::kMaxEntries; ++n)
            t.add(static_cast<uint32_t>((n * 5 + round) % 511), static_cast<uint8_t>(n));
        EXPECT_TRUE(t.full());
        for (int n = 0; n < StringTable::kMaxEntries; n += 31)
            EXPECT_EQ(t.find(static_cast<uint32_t>((n * 5 + round) % 511), static_cast<uint8_t>(n)), 258 + n) << round;
    }
}

TEST(Lzw, PublishedVectors) {
    EXPECT_EQ(encode({{0}}), (Bytes{0x04, 0x00, 0x01, 0x04, 0x04, 0x00}));
    EXPECT_EQ(encode({{1, 1, 1, 1}}), (Bytes{0x06, 0x00, 0x03, 0x04, 0x18, 0x18, 0x10, 0x00}));
    EXPECT_EQ(encode({{0, 1}, {1, 0}}), (Bytes{0x08, 0x00, 0x01, 0x04, 0x00, 0x18, 0x00, 0x40, 0x40, 0x00}));
    // a row of one pixel: the clear code and the index only
    EXPECT_EQ(codes_of(encode({{7}, {7}})), (std::vector<int>{256, 7, 256, 7, 257}));
}

TEST(Lzw, AStreamEndingOnExactly255DataBytes) {
    // clear + 224 codes (no pair repeats) + end = 226 codes = 2034 bits = 255 bytes
    Bytes row(224);
    for (size_t j = 0; j < row.size(); ++j) row[j] = static_cast<uint8_t>(j);
    auto out = encode({row});
    ASSERT_EQ(out.size(), 257u);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[256], 0);  // the terminator, no empty sub-block before it
    auto longer = encode({Bytes(row.begin(), row.end()), {9}});
    EXPECT_EQ(longer[0], 255);
    EXPECT_EQ(longer[256], longer.size() - 258);  // a second, short sub-block
}

TEST(Lzw, EveryFiveHundredTwelfthSaveClearsBeforeTheEnd) {
    Bytes out;
    auto lzw = std::make_unique<GifLzw>([&](const uint8_t* b, size_t n) { out.insert(out.end(), b, b + n); });
    const Bytes normal{0x04, 0x00, 0x01, 0x04, 0x04, 0x00};
    const Bytes extra{0x05, 0x00, 0x01, 0x00, 0x0C, 0x08, 0x00};  // clear, 0, clear, end: 36 bits in 5 bytes
    for (int save = 1; save <= 1100; ++save) {
        // the counter passes 511 at save 512, starts again at 258, and passes 511 again 254 saves later
        const bool clears = save == 512 || save == 766 || save == 1020;
        ASSERT_EQ(encode_with(*lzw, out, {{0}}), clears ? extra : normal) << "save " << save;
    }
}

TEST(Lzw, TheTableRestartsAtTwoHundredFiftyThreeEntries) {
    // 320 distinct pairs, none repeated: every candidate is a new entry
    Bytes row;
    for (int a = 0; a < 20; ++a)
        for (int b = 0; b < 16; ++b) {
            row.push_back(static_cast<uint8_t>(a));
            row.push_back(static_cast<uint8_t>(100 + b));
        }
    auto out = encode({row});
    // entries 258 (the first candidate) to 510 are made at pixels 1 to 253; the miss at
    // pixel 254 writes its prefix and the clear code, and the table starts again (253
    // entries later, at pixel 508, once more)
    std::vector<int> expect{256};
    for (size_t j = 0; j < row.size(); ++j) {
        expect.push_back(row[j]);
        if (j == 253 || j == 507) expect.push_back(256);
    }
    expect.push_back(257);
    auto codes = codes_of(out);
    codes.resize(expect.size());  // the zero bits filling the last byte
    EXPECT_EQ(codes, expect);
    EXPECT_EQ(out.size(), 729u);
    EXPECT_EQ(fnv1a(out), 0xe8a17fa818c7c5efull);
}

TEST(Lzw, RowsOfManySizesKeepTheirBytes) {
    std::mt19937 rng(7);
    std::vector<Bytes> rows;
    for (int r = 0; r < 300; ++r) {
        const int w = 1 + static_cast<int>(rng() % 3000), k = 1 + static_cast<int>(rng() % 256);
        Bytes v(static_cast<size_t>(w));
        for (auto& x : v) x = static_cast<uint8_t>(rng() % static_cast<unsigned>(k));
        rows.push_back(std::move(v));
    }
    auto out = encode(rows);
    EXPECT_EQ(out.size(), 508358u);
    EXPECT_EQ(fnv1a(out), 0xec38572031026870ull);
}

struct Save {
    HRESULT hr;
    bool ok;
};
Save save_gif(_GIF* gif, gdi::HGDI bitmap, const std::string& path, bool trans = false, LONG color = 0) {
    HandlePicture pic(bitmap);
    Bstr name(from_utf8(path));
    LONG hdc = 0;
    VARIANT_BOOL use = trans ? VARIANT_TRUE : VARIANT_FALSE, ok = VARIANT_FALSE;
    HRESULT hr = gif->SaveGIF(&pic, name.get(), &hdc, &use, color, &ok);
    return {hr, ok != 0};
}
ComPtr<_GIF> new_gif() { return create(CLSID_GIF).query<_GIF>(IID__GIF); }

TEST(GifWriter, LayoutAndSize) {
    auto gif = new_gif();
    gdi::HGDI bm = make_bitmap(5, 3, [](int x, int y) { return x == 0 && y == 0 ? 0x0000FFu : 0xFFFFFFu; });
    std::string path = testing::TempDir() + "/t2-layout.gif";
    ASSERT_TRUE(save_gif(gif.get(), bm, path).ok);
    auto f = t2test::read_bytes(path);
    ASSERT_GT(f.size(), 800u);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "GIF87a");
    EXPECT_EQ(f[6], 5);
    EXPECT_EQ(f[8], 3);
    EXPECT_EQ(f[10], 0xF7);
    EXPECT_EQ(f[13 + 3 * 251], 0);  // fixed table entry 252 (slot 251) is (0, 0, 255)
    EXPECT_EQ(f[13 + 3 * 251 + 2], 255);
    EXPECT_EQ(f[781], 0x2C);  // no extension without transparency
    EXPECT_EQ(f[786], 5);     // image width
    EXPECT_EQ(f[790], 0x07);
    EXPECT_EQ(f[791], 8);
    EXPECT_EQ(f.back(), 0x3B);
    // 6 + 7 + 768 + 10 + 1 + image data + 1
    std::vector<std::vector<uint8_t>> rows(3, std::vector<uint8_t>(5, 254));  // white is entry 255, slot 254
    rows[0][0] = 251;                                                         // blue at the top left
    EXPECT_EQ(f.size(), 6 + 7 + 768 + 10 + 1 + encode(rows).size() + 1);
    EXPECT_TRUE(std::equal(f.begin() + 792, f.end() - 1, encode(rows).begin()));
    gdi::DeleteObject(bm);
}

TEST(GifWriter, TransparencyPicksTheFirstMatchingSlot) {
    auto gif = new_gif();
    gdi::HGDI bm = make_bitmap(4, 4, [](int x, int) { return x < 2 ? 0x00FF0000u : 0x0000FF00u; });
    std::string path = testing::TempDir() + "/t2-trans.gif";
    struct {
        LONG color;
        int index;
    } cases[] = {{0x0000FF, 248}, {0x123456, 0}, {0, 0}};
    for (auto c : cases) {
        ASSERT_TRUE(save_gif(gif.get(), bm, path, true, c.color).ok);
        auto f = t2test::read_bytes(path);
        EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "GIF89a");
        EXPECT_EQ(f[781], 0x21);
        EXPECT_EQ(f[784], 0x09);
        EXPECT_EQ(f[787], c.index) << std::hex << c.color;
        EXPECT_TRUE(std::equal(f.begin() + 6, f.begin() + 10, f.begin() + 794));
    }
    // the adaptive palette has no black: the first unfilled (black) slot is transparent
    VARIANT t;
    VariantInit(&t);
    t.vt = VT_BOOL;
    t.boolVal = VARIANT_TRUE;
    gif->put_BestQuality(t);
    auto fresh = new_gif();
    fresh->put_BestQuality(t);
    ASSERT_TRUE(save_gif(fresh.get(), bm, path, true, 0).ok);
    EXPECT_EQ(t2test::read_bytes(path)[787], 2);  // two colours, so slot 2 is the first black one
    gdi::DeleteObject(bm);
}

// The adaptive palette reads the picture through a context of its own while the
// picture is in no other (a bitmap is in one context at a time), and a save with
// it after a fixed-table save on the same object writes what a new object writes.
TEST(GifWriter, BestQualityAfterAFixedSaveMatchesANewObject) {
    gdi::HGDI bm = make_bitmap(6, 4, [](int x, int) { return x < 3 ? 0x000080FFu : 0x00FF8000u; });
    const std::string used = testing::TempDir() + "/t2-best-used.gif",
                      fresh_path = testing::TempDir() + "/t2-best-new.gif";
    VARIANT t;
    VariantInit(&t);
    t.vt = VT_BOOL;
    t.boolVal = VARIANT_TRUE;
    auto gif = new_gif();
    ASSERT_TRUE(save_gif(gif.get(), bm, used).ok);
    gif->put_BestQuality(t);
    ASSERT_TRUE(save_gif(gif.get(), bm, used).ok);
    auto fresh = new_gif();
    fresh->put_BestQuality(t);
    ASSERT_TRUE(save_gif(fresh.get(), bm, fresh_path).ok);
    const auto f = t2test::read_bytes(used);
    EXPECT_EQ(f, t2test::read_bytes(fresh_path));
    ASSERT_GT(f.size(), 781u);
    // the picture's two colours lead the table (BGR 0x0080FF is RGB FF 80 00), the rest is black
    std::set<uint32_t> colours;
    for (int k = 0; k < 2; ++k) colours.insert(f[13 + 3 * k] << 16 | f[14 + 3 * k] << 8 | f[15 + 3 * k]);
    EXPECT_EQ(colours, (std::set<uint32_t>{0xFF8000u, 0x0080FFu}));
    for (int k = 2; k < 256; ++k) EXPECT_EQ(f[13 + 3 * k] | f[14 + 3 * k] | f[15 + 3 * k], 0) << "entry " << k;
    gdi::DeleteObject(bm);
}

// A picture whose bitmap its owner keeps selected (a picture box holds its own)
// cannot enter the save's context; the save read nothing then and wrote a black
// picture, reporting success.  Both saves must write what a free picture gives.
TEST(GifWriter, APictureHeldByItsOwnersContextSavedBlack) {
    gdi::HGDI bm = make_bitmap(7, 5, [](int x, int y) { return (x * 37u + y * 91u) * 0x010203u & 0xFFFFFFu; });
    const std::string free_path = testing::TempDir() + "/t2-free.gif", held_path = testing::TempDir() + "/t2-held.gif";
    VARIANT best;
    VariantInit(&best);
    best.vt = VT_BOOL;
    for (VARIANT_BOOL quality : {VARIANT_FALSE, VARIANT_TRUE}) {
        best.boolVal = quality;
        auto gif = new_gif();
        gif->put_BestQuality(best);
        ASSERT_TRUE(save_gif(gif.get(), bm, free_path).ok);
        gdi::HGDI owner = gdi::CreateCompatibleDC(0);
        gdi::HGDI previous = gdi::SelectObject(owner, bm);
        ASSERT_NE(previous, 0u);
        ASSERT_TRUE(save_gif(gif.get(), bm, held_path).ok);
        gdi::SelectObject(owner, previous);
        gdi::DeleteDC(owner);
        EXPECT_EQ(t2test::read_bytes(held_path), t2test::read_bytes(free_path))
            << (quality ? "BestQuality" : "fixed table");
    }
    gdi::DeleteObject(bm);
}

TEST(GifWriter, ProgressEveryTenRows) {
    struct {
        int height;
        std::vector<LONG> percents;
    } cases[] = {{9, {}}, {15, {67}}, {25, {40, 80}}, {20, {50, 100}}};
    for (auto& c : cases) {
        auto gif = new_gif();
        IConnectionPointContainer* cpc = nullptr;
        gif->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
        IConnectionPoint* cp = nullptr;
        ASSERT_EQ(cpc->FindConnectionPoint(DIID___GIF, &cp), S_OK);
        Sink sink(DIID___GIF);
        DWORD cookie;
        cp->Advise(&sink, &cookie);
        gdi::HGDI bm = make_bitmap(3, c.height, [](int, int) { return 0u; });
        ASSERT_TRUE(save_gif(gif.get(), bm, testing::TempDir() + "/t2-progress.gif").ok);
        std::vector<LONG> got;
        for (auto& call : sink.calls) {
            EXPECT_EQ(call.second[0].type(), VT_I2);  // Percents is an Integer
            got.push_back(call.second[0].to_long());
        }
        EXPECT_EQ(got, c.percents) << c.height;
        cp->Unadvise(cookie);
        cp->Release();
        cpc->Release();
        gdi::DeleteObject(bm);
    }
}

TEST(GifWriter, ANestedSaveIsRefusedOnTheSameObjectOnly) {
    auto gif = new_gif(), other = new_gif();
    IConnectionPointContainer* cpc = nullptr;
    gif->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
    IConnectionPoint* cp = nullptr;
    cpc->FindConnectionPoint(DIID___GIF, &cp);
    Sink sink(DIID___GIF);
    gdi::HGDI bm = make_bitmap(4, 20, [](int x, int y) { return static_cast<uint32_t>(x * 40 + y); });
    std::vector<Save> inner;
    std::string a = testing::TempDir() + "/t2-outer.gif", b = testing::TempDir() + "/t2-inner.gif";
    sink.on_event = [&](DISPID) {
        inner.push_back(save_gif(gif.get(), bm, b));
        inner.push_back(save_gif(other.get(), bm, b));
    };
    DWORD cookie;
    cp->Advise(&sink, &cookie);
    Save outer = save_gif(gif.get(), bm, a);
    EXPECT_TRUE(outer.ok);
    ASSERT_EQ(inner.size(), 4u);
    EXPECT_FALSE(inner[0].ok);
    EXPECT_EQ(inner[0].hr, S_OK);
    EXPECT_TRUE(inner[1].ok);
    cp->Unadvise(cookie);
    EXPECT_TRUE(save_gif(gif.get(), bm, a).ok);  // not busy any more
    cp->Release();
    cpc->Release();
    gdi::DeleteObject(bm);
}

TEST(GifWriter, ReplacesFilesAndRefusesOversizeAndNonFiles) {
    auto gif = new_gif();
    std::string path = testing::TempDir() + "/t2-replace.gif";
    std::ofstream(path) << std::string(50000, 'x');
    gdi::HGDI small = make_bitmap(2, 2, [](int, int) { return 0u; });
    ASSERT_TRUE(save_gif(gif.get(), small, path).ok);
    EXPECT_LT(t2test::read_bytes(path).size(), 1000u);
    gdi::HGDI wide = make_bitmap(32768, 1, [](int, int) { return 0u; });
    std::string untouched = testing::TempDir() + "/t2-wide.gif";
    std::remove(untouched.c_str());
    EXPECT_EQ(save_gif(gif.get(), wide, untouched).hr, static_cast<HRESULT>(T2_ERROR_STATUS(6)));
    EXPECT_NE(access(untouched.c_str(), F_OK), 0);
    EXPECT_EQ(save_gif(gif.get(), small, testing::TempDir()).hr,
              static_cast<HRESULT>(T2_ERROR_STATUS(75)));                                              // a folder
    EXPECT_EQ(save_gif(gif.get(), small, "/dev/null").hr, static_cast<HRESULT>(T2_ERROR_STATUS(75)));  // a device
    EXPECT_EQ(save_gif(gif.get(), small, path + std::string(1, '\0') + ".pal").hr,
              static_cast<HRESULT>(T2_ERROR_STATUS(52)));  // a name holding a NUL
    EXPECT_TRUE(save_gif(gif.get(), small, path).ok);      // the busy flag was cleared by every failure
    gdi::DeleteObject(small);
    gdi::DeleteObject(wide);
}

// Regression: the fixed-table save skipped the 24-bit copy and with it the
// overflow (error 6) that the copy raises for a picture of more than 2^31 bytes.
TEST(GifWriter, TheFixedTableSaveOverflowsWhereTheCopyWould) {
    auto gif = new_gif();
    // 24-bit rows of 98304 bytes times 21846 rows leave a Long; the 8-bit picture
    // itself is never touched, so its pages cost nothing
    gdi::BITMAPINFO info{};
    info.bmiHeader = {40, 32767, 21846, 1, 8, gdi::BI_RGB, 0, 0, 0, 0, 0};
    int32_t bits = 0;
    gdi::HGDI big = gdi::CreateDIBSection(0, &info, gdi::DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!big) GTEST_SKIP() << "no room for a 700 MB section here";
    std::string path = testing::TempDir() + "/t2-overflow.gif";
    std::remove(path.c_str());
    for (bool best : {false, true}) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BOOL;
        v.boolVal = best ? VARIANT_TRUE : VARIANT_FALSE;
        gif->put_BestQuality(v);
        EXPECT_EQ(save_gif(gif.get(), big, path).hr, static_cast<HRESULT>(T2_ERROR_STATUS(6))) << best;
        EXPECT_NE(access(path.c_str(), F_OK), 0);
    }
    gdi::DeleteObject(big);
}

// Regression: a failed save deleted or truncated what was at the target.
// A write that fails part-way (here: the file size limit) ends the save with
// the error; the old file stays whole and no incomplete file is left behind.
int save_past_the_size_limit() {
    std::signal(SIGXFSZ, SIG_IGN);
    std::string path = testing::TempDir() + "/t2-short.gif", fresh = testing::TempDir() + "/t2-short-new.gif";
    std::ofstream(path, std::ios::binary) << "old";
    std::remove(fresh.c_str());
    rlimit lim{3000, 3000};
    setrlimit(RLIMIT_FSIZE, &lim);
    auto gif = new_gif();
    gdi::HGDI bm =
        make_bitmap(300, 300, [](int x, int y) { return static_cast<uint32_t>(x * 7919 ^ y * 104729) & 0xFFFFFF; });
    Save s = save_gif(gif.get(), bm, path);
    bool write_error = T2_IS_ERROR_STATUS(s.hr) && ((s.hr & 0xFFFF) == 61 || (s.hr & 0xFFFF) == 57);
    bool kept = t2test::read_bytes(path) == std::vector<uint8_t>{'o', 'l', 'd'};
    Save t = save_gif(gif.get(), bm, fresh);
    bool none = access(fresh.c_str(), F_OK) != 0;
    return !s.ok && write_error && kept && !t.ok && none ? 0 : 1;
}

TEST(GifWriter, FailedSaveDeletedTheTarget) {
    EXPECT_EXIT(std::exit(save_past_the_size_limit()), ::testing::ExitedWithCode(0), "");
}

TEST(GifWriter, AContextGivesThePixelsThePictureTheSize) {
    auto gif = new_gif();
    gdi::HGDI pic_bm = make_bitmap(3, 2, [](int, int) { return 0xFFFFFFu; });  // white picture
    gdi::HGDI other = make_bitmap(8, 8, [](int, int) { return 0x0000FFu; });   // a blue surface
    gdi::HGDI dc = gdi::CreateCompatibleDC(0);
    gdi::HGDI old = gdi::SelectObject(dc, other);
    HandlePicture pic(pic_bm);
    std::string path = testing::TempDir() + "/t2-hdc.gif";
    Bstr name(from_utf8(path));
    LONG hdc = dc;
    VARIANT_BOOL trans = VARIANT_FALSE, ok = VARIANT_FALSE;
    ASSERT_EQ(gif->SaveGIF(&pic, name.get(), &hdc, &trans, 0, &ok), S_OK);
    EXPECT_TRUE(ok);
    EXPECT_EQ(hdc, dc);  // by reference, not changed
    auto f = t2test::read_bytes(path);
    EXPECT_EQ(f[6], 3);  // the picture's size
    EXPECT_EQ(f[8], 2);
    std::vector<std::vector<uint8_t>> rows(2, std::vector<uint8_t>(3, 251));  // the context's blue
    EXPECT_TRUE(std::equal(f.begin() + 792, f.end() - 1, encode(rows).begin()));
    gdi::SelectObject(dc, old);
    gdi::DeleteDC(dc);
    gdi::DeleteObject(other);
    gdi::DeleteObject(pic_bm);
}

TEST(GifWriter, BestQualityConvertsLikeABoolean) {
    auto gif = new_gif();
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(u"nonsense");
    EXPECT_EQ(gif->put_BestQuality(v), static_cast<HRESULT>(T2_ERROR_STATUS(13)));
    VariantClear(&v);
    v.vt = VT_I4;
    v.lVal = 5;
    ASSERT_EQ(gif->put_BestQuality(v), S_OK);
    VARIANT r;
    gif->get_BestQuality(&r);
    EXPECT_EQ(r.vt, VT_BOOL);
    EXPECT_EQ(r.boolVal, VARIANT_TRUE);
}

}  // namespace
