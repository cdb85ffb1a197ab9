// Resampling: the published vectors, edges of small sources, copies.
#include <gtest/gtest.h>

#include "support/pictures.hpp"

using namespace t2;
using namespace t2test;

namespace {

ComPtr<_cDIBSection> resample(_cDIBSection* src, LONG h, LONG w, HRESULT* status = nullptr) {
    _cDIBSection* out = nullptr;
    HRESULT hr = src->Resample(h, w, &out);
    if (status) *status = hr;
    return ComPtr<_cDIBSection>::adopt(out);
}

TEST(Resample, BlackWhiteColumnsToFourByFour) {
    auto src = make_section(2, 2, [](int x, int) { return x ? 0x00FFFFFFu : 0u; });
    auto out = resample(src.get(), 4, 4);
    ASSERT_TRUE(out);
    const uint32_t expected[4] = {0, 64, 128, 191};  // 127.5 rounds to 128, 191.25 to 191
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(pixel(out.get(), x, y), expected[x] * 0x010101u) << x << "," << y;
}

TEST(Resample, FourByTwoToTwoByTwo) {
    // bottom row (y = 1 from the top) and top row differ, every column its own value
    auto value = [](int x, int y) { return static_cast<uint32_t>(10 + 20 * x + (y == 1 ? 0 : 100)); };
    auto src = make_section(4, 2, [&](int x, int y) { return value(x, y) * 0x010101u; });
    auto out = resample(src.get(), 2, 2);
    ASSERT_TRUE(out);
    // target row 0 is the bottom row; xScale 1.5, yScale 0.5
    EXPECT_EQ(pixel(out.get(), 0, 1), value(0, 1) * 0x010101u);
    uint32_t blend = static_cast<uint32_t>(round_half_even(0.5 * value(1, 1) + 0.5 * value(2, 1)));
    EXPECT_EQ(pixel(out.get(), 1, 1), blend * 0x010101u);
    // target row 1 blends source rows 0 and 1 equally
    uint32_t v = static_cast<uint32_t>(round_half_even(0.5 * value(0, 1) + 0.5 * value(0, 0)));
    EXPECT_EQ(pixel(out.get(), 0, 0), v * 0x010101u);
}

TEST(Resample, SinglePixelSourcesAndSizes) {
    auto one = make_section(1, 1, [](int, int) { return 0x00102030u; });
    HRESULT hr = S_OK;
    auto bad = resample(one.get(), 5, 1, &hr);
    EXPECT_EQ(hr, static_cast<HRESULT>(T2_ERROR_STATUS(9)));  // the neighbour row lies outside
    EXPECT_FALSE(bad);
    auto copy = resample(one.get(), 1, 1, &hr);
    ASSERT_TRUE(copy);
    EXPECT_EQ(pixel(copy.get(), 0, 0), 0x00102030u);
    auto none = resample(one.get(), 0, 10, &hr);
    EXPECT_EQ(hr, S_OK);
    EXPECT_FALSE(none);
}

// Regression: Resample(-5, 10) raised 91 because the target was created as a
// top-down section; a zero or negative size gives Nothing without error.
TEST(Resample, AZeroOrNegativeSizeGivesNothing) {
    auto src = make_section(4, 3, [](int, int) { return 0x123456u; });
    const LONG sizes[][2] = {{-5, 10}, {10, -5}, {0, 3}, {3, 0}, {-1, -1}};
    for (const auto& s : sizes) {
        HRESULT hr = E_FAIL;
        auto out = resample(src.get(), s[0], s[1], &hr);
        EXPECT_EQ(hr, S_OK) << s[0] << "x" << s[1];
        EXPECT_FALSE(out) << s[0] << "x" << s[1];
    }
    EXPECT_EQ(pixel(src.get(), 3, 2), 0x123456u);
}

TEST(Resample, SameSizeIsAnExactCopyAndTheSourceStays) {
    auto f = [](int x, int y) { return static_cast<uint32_t>((x * 37 + y * 101) * 2654435761u) & 0xFFFFFFu; };
    auto src = make_section(7, 5, f);
    LONG bits_before = 0, dib_before = 0;
    src->get_DIBSectionBitsPtr(&bits_before);
    src->get_hDib(&dib_before);
    auto out = resample(src.get(), 5, 7);
    ASSERT_TRUE(out);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(pixel(out.get(), x, y), f(x, y));
            EXPECT_EQ(pixel(src.get(), x, y), f(x, y));
        }
    auto bigger = resample(src.get(), 9, 13);
    ASSERT_TRUE(bigger);
    LONG bits_after = 0, dib_after = 0, w = 0;
    src->get_DIBSectionBitsPtr(&bits_after);
    src->get_hDib(&dib_after);
    bigger->get_Width(&w);
    EXPECT_EQ(bits_after, bits_before);
    EXPECT_EQ(dib_after, dib_before);
    EXPECT_EQ(w, 13);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(pixel(src.get(), x, y), f(x, y));
}

}  // namespace
