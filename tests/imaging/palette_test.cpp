// cPalette: nearest entries, Variant indices, the fixed table, records in files,
// and the octree builder with its events and its fold failure.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "support/pictures.hpp"
#include "support/recorder.hpp"
#include "support/files.hpp"

using namespace t2;
using namespace t2test;

namespace {

ComPtr<_cPalette> new_palette() { return create(CLSID_cPalette).query<_cPalette>(IID__cPalette); }

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
Rgb entry(_cPalette* p, LONG i) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = i;
    BYTE r = 0, g = 0, b = 0;
    EXPECT_EQ(p->get_Red(v, &r), S_OK);
    p->get_Green(v, &g);
    p->get_Blue(v, &b);
    return {r, g, b};
}
LONG closest(_cPalette* p, LONG r, LONG g, LONG b) {
    LONG i = -1;
    EXPECT_EQ(p->get_ClosestIndex(r, g, b, &i), S_OK);
    return i;
}
LONG count(_cPalette* p) {
    LONG n = -1;
    p->get_Count(&n);
    return n;
}

TEST(Palette, ClosestIndexRules) {
    auto p = new_palette();
    EXPECT_EQ(closest(p.get(), 1, 2, 3), 0);  // empty
    p->Add(255, 255, 255);
    EXPECT_EQ(closest(p.get(), 0, 0, 0), 0);  // 765 is not below the start value
    EXPECT_EQ(closest(p.get(), 1, 0, 0), 1);
    p->Clear();
    p->Add(255, 0, 0);
    EXPECT_EQ(closest(p.get(), 300, 0, 0), 1);  // components are not clamped
    p->Add(10, 10, 10);
    p->Add(12, 8, 10);                          // same distance from (11, 9, 10) as entry 2
    EXPECT_EQ(closest(p.get(), 11, 9, 10), 2);  // the lower number wins
    EXPECT_EQ(closest(p.get(), 12, 8, 10), 3);  // an exact match stops the search
}

TEST(Palette, VariantIndices) {
    auto p = new_palette();
    p->Add(1, 0, 0);
    p->Add(2, 0, 0);
    p->Add(3, 0, 0);
    struct {
        VARIANT v;
        HRESULT hr;
        BYTE red;
    } cases[4];
    for (auto& c : cases) VariantInit(&c.v);
    cases[0].v.vt = VT_R8, cases[0].v.dblVal = 1.5, cases[0].hr = S_OK, cases[0].red = 2;  // ties to even
    cases[1].v.vt = VT_R8, cases[1].v.dblVal = 2.5, cases[1].hr = S_OK, cases[1].red = 2;
    cases[2].v.vt = VT_I4, cases[2].v.lVal = 4, cases[2].hr = T2_ERROR_STATUS(9), cases[2].red = 0;
    cases[3].v.vt = VT_BSTR, cases[3].v.bstrVal = SysAllocString(u"x"), cases[3].hr = T2_ERROR_STATUS(13),
    cases[3].red = 0;
    for (auto& c : cases) {
        BYTE r = 0;
        EXPECT_EQ(p->get_Red(c.v, &r), c.hr);
        EXPECT_EQ(r, c.red);
        VariantClear(&c.v);
    }
    VARIANT zero;
    VariantInit(&zero);
    p->Clear();
    BYTE r;
    EXPECT_EQ(p->get_Red(zero, &r), static_cast<HRESULT>(T2_ERROR_STATUS(9)));
}

TEST(Palette, TheFixedTable) {
    auto p = new_palette();
    p->Add(9, 9, 9);
    ASSERT_EQ(p->CreateWebSafe(), S_OK);
    EXPECT_EQ(count(p.get()), 256);
    const std::pair<LONG, Rgb> cases[] = {
        {1, {0, 0, 0}},    {2, {128, 0, 0}},       {8, {192, 192, 192}},   {9, {51, 0, 0}},
        {12, {204, 0, 0}}, {13, {0, 51, 0}},       {44, {153, 0, 51}},     {216, {204, 255, 255}},
        {217, {8, 8, 8}},  {247, {248, 248, 248}}, {248, {128, 128, 128}}, {255, {255, 255, 255}},
        {256, {0, 0, 0}},
    };
    for (auto& [i, rgb] : cases) EXPECT_EQ(entry(p.get(), i), rgb) << i;
}

bool save(_cPalette* p, const std::string& path, LONG pos) {
    Bstr n(from_utf8(path));
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(p->Save(n.get(), pos, &ok), S_OK);
    return ok;
}
bool load(_cPalette* p, const std::string& path, LONG& pos) {
    Bstr n(from_utf8(path));
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(p->Load(n.get(), &pos, &ok), S_OK);
    return ok;
}

TEST(Palette, RecordsRoundTripAndFollowOneAnother) {
    std::string path = testing::TempDir() + "/t2-records.pal";
    auto a = new_palette();
    a->CreateWebSafe();
    ASSERT_TRUE(save(a.get(), path, 0));
    auto b = new_palette();
    b->Add(1, 2, 3);
    b->Add(4, 5, 6);
    ASSERT_TRUE(save(b.get(), path, 4 + 4 * 256));  // the second record right after the first
    EXPECT_EQ(t2test::read_bytes(path).size(), 4u + 1024 + 4 + 8);
    auto c = new_palette();
    LONG pos = 0;
    ASSERT_TRUE(load(c.get(), path, pos));
    EXPECT_EQ(pos, 4 + 4 * 256);
    EXPECT_EQ(entry(c.get(), 44), (Rgb{153, 0, 51}));
    ASSERT_TRUE(load(c.get(), path, pos));
    EXPECT_EQ(pos, static_cast<LONG>(t2test::read_bytes(path).size()));
    EXPECT_EQ(count(c.get()), 2);
    EXPECT_EQ(entry(c.get(), 2), (Rgb{4, 5, 6}));
    EXPECT_FALSE(load(c.get(), path, pos));  // nothing after the last record
    LONG negative = -5;
    ASSERT_TRUE(load(c.get(), path, negative));
    EXPECT_EQ(negative, 4 + 1024);
    // spare bytes come back as they were in the file
    auto bytes = t2test::read_bytes(path);
    bytes[7] = 0x77;  // the spare byte of entry 1
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    pos = 0;
    ASSERT_TRUE(load(c.get(), path, pos));
    std::string again = testing::TempDir() + "/t2-again.pal";
    ASSERT_TRUE(save(c.get(), again, 0));
    EXPECT_EQ(t2test::read_bytes(again)[7], 0x77);
}

TEST(Palette, RefusedCountsAndShortRecords) {
    std::string path = testing::TempDir() + "/t2-counts.pal";
    auto p = new_palette();
    p->Add(7, 7, 7);
    for (int32_t n : {0, -1, 4098, 4097}) {
        std::vector<uint8_t> bytes(4 + 4 * 4097, 0x11);
        std::memcpy(bytes.data(), &n, 4);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        LONG pos = 0;
        bool ok = load(p.get(), path, pos);
        EXPECT_EQ(ok, n == 4097) << n;
        EXPECT_EQ(count(p.get()), n == 4097 ? 4097 : 1) << n;
    }
    // a record shorter than its count: False, the new count in force, zeros after what arrived
    int32_t n = 3;
    std::vector<uint8_t> bytes(4 + 5, 0x22);
    std::memcpy(bytes.data(), &n, 4);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    LONG pos = 0;
    EXPECT_FALSE(load(p.get(), path, pos));
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(count(p.get()), 3);
    EXPECT_EQ(entry(p.get(), 2), (Rgb{0x22, 0, 0}));
    LONG none = 0;
    EXPECT_FALSE(load(p.get(), testing::TempDir() + "/no-such.pal", none));
}

// Regression: a failed save deleted or truncated what was at the target.
TEST(Palette, FailedSaveTruncatedTheTarget) {
    std::string path = testing::TempDir() + "/t2-kept.pal";
    auto full = new_palette();
    full->CreateWebSafe();
    ASSERT_TRUE(save(full.get(), path, 0));
    // an empty list fails with 9, and the file that was there stays whole
    auto empty = new_palette();
    Bstr name(from_utf8(path));
    VARIANT_BOOL ok;
    EXPECT_EQ(empty->Save(name.get(), 0, &ok), static_cast<HRESULT>(T2_ERROR_STATUS(9)));
    EXPECT_EQ(empty->Save(name.get(), 40, &ok), static_cast<HRESULT>(T2_ERROR_STATUS(9)));
    EXPECT_EQ(t2test::read_bytes(path).size(), 4u + 1024);
    // and where there was no file, none is made (no record of count 0 left behind)
    const std::string fresh = testing::TempDir() + "/t2-never-made.pal";
    std::remove(fresh.c_str());
    Bstr fresh_name(from_utf8(fresh));
    EXPECT_EQ(empty->Save(fresh_name.get(), 0, &ok), static_cast<HRESULT>(T2_ERROR_STATUS(9)));
    struct stat st {};
    EXPECT_NE(stat(fresh.c_str(), &st), 0);
    // a device or a folder is refused, and a name holding a NUL is error 52
    EXPECT_FALSE(save(full.get(), "/dev/null", 0));
    EXPECT_FALSE(save(full.get(), testing::TempDir(), 0));
    Bstr nul(from_utf8(path + std::string(1, '\0') + ".gif"));
    EXPECT_EQ(full->Save(nul.get(), 0, &ok), static_cast<HRESULT>(T2_ERROR_STATUS(52)));
    LONG pos = 0;
    EXPECT_EQ(full->Load(nul.get(), &pos, &ok), static_cast<HRESULT>(T2_ERROR_STATUS(52)));
    EXPECT_EQ(t2test::read_bytes(path).size(), 4u + 1024);
}

// Builds an optimal palette of a section, recording the events.
struct Build {
    std::vector<std::pair<DISPID, LONG>> events;
    HRESULT hr;
};
Build build(_cPalette* p, _cDIBSection* d, LONG size, LONG levels = 6) {
    IConnectionPointContainer* cpc = nullptr;
    p->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
    IConnectionPoint* cp = nullptr;
    cpc->FindConnectionPoint(DIID___cPalette, &cp);
    Sink sink(DIID___cPalette);
    DWORD cookie;
    cp->Advise(&sink, &cookie);
    Build b;
    b.hr = p->CreateOptimal(&d, size, levels);
    cp->Unadvise(cookie);
    cp->Release();
    cpc->Release();
    for (auto& [id, args] : sink.calls) b.events.emplace_back(id, args[0].to_long());
    return b;
}

TEST(Octree, OneColourGivesOneEntryAndEvents) {
    auto d = make_section(3, 2, [](int, int) { return 0x00336699u; });
    auto p = new_palette();
    Build b = build(p.get(), d.get(), 236);
    ASSERT_EQ(b.hr, S_OK);
    EXPECT_EQ(count(p.get()), 1);
    EXPECT_EQ(entry(p.get(), 1), (Rgb{0x33, 0x66, 0x99}));
    ASSERT_GE(b.events.size(), 5u);
    EXPECT_EQ(b.events[0], (std::pair<DISPID, LONG>{1, 1 + 236}));  // InitProgress: (height - 1) + PalSize
    EXPECT_EQ(b.events[1], (std::pair<DISPID, LONG>{2, 0}));        // rows 0 and 1
    EXPECT_EQ(b.events[2], (std::pair<DISPID, LONG>{2, 1}));
    EXPECT_EQ(b.events[3].first, 2);  // the leaf's node number
    EXPECT_GT(b.events[3].second, 1);
    EXPECT_EQ(b.events.back().first, 3);  // Complete
    EXPECT_GE(b.events.back().second, 0);
}

TEST(Octree, MeansRoundHalfToEven) {
    struct {
        uint32_t a, b;
        Rgb mean;
    } cases[] = {{0x000000, 0x010101, {0, 0, 0}}, {0x010101, 0x020202, {2, 2, 2}}};
    for (auto c : cases) {
        auto d = make_section(2, 1, [&](int x, int) { return x ? c.b : c.a; });
        auto p = new_palette();
        ASSERT_EQ(build(p.get(), d.get(), 236).hr, S_OK);
        ASSERT_EQ(count(p.get()), 1);  // one leaf box of four values a channel
        EXPECT_EQ(entry(p.get(), 1), c.mean);
    }
}

TEST(Octree, FoldingFailsOnlyBelowEightAndAsksYesNo) {
    auto d = make_section(2, 1, [](int x, int) { return x ? 0xFFFFFFu : 0u; });
    {
        BoxRecorder boxes(6);  // Yes: go on
        auto p = new_palette();
        ASSERT_EQ(build(p.get(), d.get(), 1).hr, S_OK);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text, "Error in reducing nodes");
        EXPECT_EQ(boxes.boxes[0].style, 4);  // Yes and No, no icon
        EXPECT_EQ(count(p.get()), 2);        // the leaf count stayed above PalSize
    }
    {
        BoxRecorder boxes(7);  // No: the program is asked to end
        int ended = 0;
        T2SetEndProgramHandler([](void* c) { ++*static_cast<int*>(c); }, &ended);
        auto p = new_palette();
        EXPECT_EQ(build(p.get(), d.get(), 1).hr, E_ABORT);
        EXPECT_EQ(ended, 1);
        T2SetEndProgramHandler(nullptr, nullptr);
    }
    BoxRecorder none;
    auto noisy = make_section(
        40, 30, [](int x, int y) { return static_cast<uint32_t>((x * 2654435761u) ^ (y * 40503u)) & 0xFFFFFF; });
    auto p = new_palette();
    ASSERT_EQ(build(p.get(), noisy.get(), 8).hr, S_OK);
    EXPECT_TRUE(none.boxes.empty());
    EXPECT_LE(count(p.get()), 8);
}

TEST(Octree, LevelLimitsAndRepeatability) {
    auto d = make_section(16, 16,
                          [](int x, int y) { return static_cast<uint32_t>(x * 16 + y * 0x1000 + (x ^ y) * 0x10000); });
    auto a = new_palette(), b = new_palette();
    ASSERT_EQ(build(a.get(), d.get(), 20).hr, S_OK);
    ASSERT_EQ(build(a.get(), d.get(), 20).hr, S_OK);  // twice on one object
    ASSERT_EQ(build(b.get(), d.get(), 20).hr, S_OK);
    ASSERT_EQ(count(a.get()), count(b.get()));
    EXPECT_LE(count(a.get()), 20);
    for (LONG i = 1; i <= count(a.get()); ++i) EXPECT_EQ(entry(a.get(), i), entry(b.get(), i)) << i;
    EXPECT_EQ(build(a.get(), d.get(), 20, 256).hr, static_cast<HRESULT>(T2_ERROR_STATUS(6)));
    EXPECT_EQ(build(a.get(), d.get(), 20, -1).hr, static_cast<HRESULT>(T2_ERROR_STATUS(6)));
    EXPECT_EQ(build(a.get(), d.get(), 20, 0).hr, static_cast<HRESULT>(T2_ERROR_STATUS(9)));
    EXPECT_EQ(build(a.get(), d.get(), 20, 10).hr, static_cast<HRESULT>(T2_ERROR_STATUS(9)));
    EXPECT_EQ(build(a.get(), d.get(), 20, 9).hr, static_cast<HRESULT>(T2_ERROR_STATUS(9)));  // at the first fold
    EXPECT_EQ(build(a.get(), d.get(), 300, 9).hr, S_OK);  // no fold needed: nine levels work
}

}  // namespace
