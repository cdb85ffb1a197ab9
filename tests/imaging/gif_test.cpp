// The LZW encoder's bytes and the GIF writer's files: layout, sizes,
// transparency, progress, nested saves, replacement and failed writes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <iterator>

#include "imaging/lzw.hpp"
#include "support/pictures.hpp"
#include "support/recorder.hpp"

using namespace t2;
using namespace t2test;

namespace {

std::vector<uint8_t> encode(const std::vector<std::vector<uint8_t>>& rows, uint16_t counter = 0) {
    std::vector<uint8_t> out;
    auto lzw = std::make_unique<GifLzw>([&](const uint8_t* b, size_t n) { out.insert(out.end(), b, b + n); });
    lzw->end_counter = counter;
    lzw->start();
    for (auto& r : rows) lzw->encode_row(r.data(), static_cast<int32_t>(r.size()));
    lzw->finish();
    return out;
}

TEST(Lzw, PublishedVectors) {
    EXPECT_EQ(encode({{0}}), (std::vector<uint8_t>{0x04, 0x00, 0x01, 0x04, 0x04, 0x00}));
    EXPECT_EQ(encode({{1, 1, 1, 1}}), (std::vector<uint8_t>{0x06, 0x00, 0x03, 0x04, 0x18, 0x18, 0x10, 0x00}));
    EXPECT_EQ(encode({{0, 1}, {1, 0}}), (std::vector<uint8_t>{0x08, 0x00, 0x01, 0x04, 0x00, 0x18, 0x00, 0x40, 0x40, 0x00}));
    // a row of one pixel: the clear code and the index only
    auto one = encode({{7}, {7}});
    EXPECT_EQ(one.size(), 1u + 6 + 1);  // clear, 7, clear, 7, end: 45 bits in 6 bytes
}

TEST(Lzw, AStreamEndingOnExactly255DataBytes) {
    // clear + 224 codes (no pair repeats) + end = 226 codes = 2034 bits = 255 bytes
    std::vector<uint8_t> row(224);
    for (size_t j = 0; j < row.size(); ++j) row[j] = static_cast<uint8_t>(j);
    auto out = encode({row});
    ASSERT_EQ(out.size(), 257u);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[256], 0);  // the terminator, no empty sub-block before it
    auto longer = encode({std::vector<uint8_t>(row.begin(), row.end()), {9}});
    EXPECT_EQ(longer[0], 255);
    EXPECT_EQ(longer[256], longer.size() - 258);  // a second, short sub-block
}

TEST(Lzw, EveryFiveHundredTwelfthSaveClearsBeforeTheEnd) {
    auto normal = encode({{0}}, 510);
    auto extra = encode({{0}}, 511);  // this finish takes the counter past 511
    EXPECT_EQ(normal, (std::vector<uint8_t>{0x04, 0x00, 0x01, 0x04, 0x04, 0x00}));
    // clear, 0, clear, end: 36 bits in 5 bytes
    EXPECT_EQ(extra, (std::vector<uint8_t>{0x05, 0x00, 0x01, 0x00, 0x0C, 0x08, 0x00}));
}

TEST(Lzw, TheTableRestartsAtTwoHundredFiftyThreeEntries) {
    // 300 distinct pairs: the table fills, restarts with a clear code, and goes on
    std::vector<uint8_t> row;
    for (int a = 0; a < 20; ++a)
        for (int b = 0; b < 16; ++b) {
            row.push_back(static_cast<uint8_t>(a));
            row.push_back(static_cast<uint8_t>(100 + b));
        }
    auto out = encode({row});
    EXPECT_GT(out.size(), 8u);  // decoded by peers in tests/external
}

std::vector<uint8_t> read_all(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
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
    auto f = read_all(path);
    ASSERT_GT(f.size(), 800u);
    EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "GIF87a");
    EXPECT_EQ(f[6], 5);
    EXPECT_EQ(f[8], 3);
    EXPECT_EQ(f[10], 0xF7);
    EXPECT_EQ(f[13 + 3 * 251], 0);    // fixed table entry 252 (slot 251) is (0, 0, 255)
    EXPECT_EQ(f[13 + 3 * 251 + 2], 255);
    EXPECT_EQ(f[781], 0x2C);          // no extension without transparency
    EXPECT_EQ(f[786], 5);             // image width
    EXPECT_EQ(f[790], 0x07);
    EXPECT_EQ(f[791], 8);
    EXPECT_EQ(f.back(), 0x3B);
    // 6 + 7 + 768 + 10 + 1 + image data + 1
    std::vector<std::vector<uint8_t>> rows(3, std::vector<uint8_t>(5, 254));  // white is entry 255, slot 254
    rows[0][0] = 251;  // blue at the top left
    EXPECT_EQ(f.size(), 6 + 7 + 768 + 10 + 1 + encode(rows).size() + 1);
    EXPECT_TRUE(std::equal(f.begin() + 792, f.end() - 1, encode(rows).begin()));
    gdi::DeleteObject(bm);
}

TEST(GifWriter, TransparencyPicksTheFirstMatchingSlot) {
    auto gif = new_gif();
    gdi::HGDI bm = make_bitmap(4, 4, [](int x, int) { return x < 2 ? 0x00FF0000u : 0x0000FF00u; });
    std::string path = testing::TempDir() + "/t2-trans.gif";
    struct { LONG color; int index; } cases[] = {{0x0000FF, 248}, {0x123456, 0}, {0, 0}};
    for (auto c : cases) {
        ASSERT_TRUE(save_gif(gif.get(), bm, path, true, c.color).ok);
        auto f = read_all(path);
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
    EXPECT_EQ(read_all(path)[787], 2);  // two colours, so slot 2 is the first black one
    gdi::DeleteObject(bm);
}

TEST(GifWriter, ProgressEveryTenRows) {
    struct { int height; std::vector<LONG> percents; } cases[] = {{9, {}}, {15, {67}}, {25, {40, 80}}, {20, {50, 100}}};
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
    EXPECT_LT(read_all(path).size(), 1000u);
    gdi::HGDI wide = make_bitmap(32768, 1, [](int, int) { return 0u; });
    std::string untouched = testing::TempDir() + "/t2-wide.gif";
    std::remove(untouched.c_str());
    EXPECT_EQ(save_gif(gif.get(), wide, untouched).hr, static_cast<HRESULT>(T2_ERROR_STATUS(6)));
    EXPECT_NE(access(untouched.c_str(), F_OK), 0);
    EXPECT_EQ(save_gif(gif.get(), small, testing::TempDir()).hr, static_cast<HRESULT>(T2_ERROR_STATUS(75)));  // a folder
    EXPECT_EQ(save_gif(gif.get(), small, "/dev/null").hr, static_cast<HRESULT>(T2_ERROR_STATUS(75)));       // a device
    EXPECT_EQ(save_gif(gif.get(), small, path + std::string(1, '\0') + ".pal").hr,
              static_cast<HRESULT>(T2_ERROR_STATUS(52)));  // a name holding a NUL
    EXPECT_TRUE(save_gif(gif.get(), small, path).ok);  // the busy flag was cleared by every failure
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
    gdi::HGDI bm = make_bitmap(300, 300, [](int x, int y) { return static_cast<uint32_t>(x * 7919 ^ y * 104729) & 0xFFFFFF; });
    Save s = save_gif(gif.get(), bm, path);
    bool write_error = T2_IS_ERROR_STATUS(s.hr) && ((s.hr & 0xFFFF) == 61 || (s.hr & 0xFFFF) == 57);
    bool kept = read_all(path) == std::vector<uint8_t>{'o', 'l', 'd'};
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
    auto f = read_all(path);
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
