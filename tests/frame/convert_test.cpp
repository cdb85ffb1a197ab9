// Conversions, readings and checked arithmetic of the runtime.
#include <gtest/gtest.h>

#include <cmath>

#include "frame/convert.hpp"
#include "base/strings.hpp"

using namespace t2;

namespace {

int error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

TEST(Rounding, HalfToEven) {
    struct {
        double in, out;
    } cases[] = {
        {2.5, 2}, {3.5, 4}, {-1.5, -2}, {-0.5, 0}, {0.5, 0}, {1.5, 2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3}, {-3.5, -4},
    };
    for (auto c : cases) EXPECT_EQ(round_half_even(c.in), c.out) << c.in;
}

TEST(Rounding, RangeEdgesOfEachType) {
    // Integer accepts [-32768.5, 32767.5); the half at the top rounds past the range
    EXPECT_EQ(round_to<Integer>(-32768.5), -32768);
    EXPECT_EQ(round_to<Integer>(32767.49), 32767);
    EXPECT_EQ(error_of([] { round_to<Integer>(32767.5); }), 6);
    EXPECT_EQ(error_of([] { round_to<Integer>(-32768.51); }), 6);
    EXPECT_EQ(round_to<Long>(2147483647.4), 2147483647);
    EXPECT_EQ(error_of([] { round_to<Long>(2147483647.5); }), 6);
    EXPECT_EQ(round_to<Long>(-2147483648.5), INT32_MIN);
    EXPECT_EQ(round_to<Byte>(255.4), 255);
    EXPECT_EQ(round_to<Byte>(-0.5), 0);
    EXPECT_EQ(error_of([] { round_to<Byte>(-0.51); }), 6);
    EXPECT_EQ(error_of([] { round_to<Byte>(255.5); }), 6);
    EXPECT_EQ(error_of([] { round_to<Long>(std::nan("")); }), 6);
}

TEST(Checked, OverflowAndDivision) {
    EXPECT_EQ(checked::add<Integer>(32766, 1), 32767);
    EXPECT_EQ(error_of([] { checked::add<Integer>(32767, 1); }), 6);
    EXPECT_EQ(error_of([] { checked::sub<Integer>(-32768, 1); }), 6);
    EXPECT_EQ(error_of([] { checked::mul<Long>(65536, 32768); }), 6);
    EXPECT_EQ(checked::mul<Long>(-65536, 32768), INT32_MIN);
    EXPECT_EQ(error_of([] { checked::add<Byte>(255, 1); }), 6);
    EXPECT_EQ(error_of([] { checked::sub<Byte>(0, 1); }), 6);
    EXPECT_EQ(error_of([] { checked::idiv<Long>(1, 0); }), 11);
    EXPECT_EQ(error_of([] { checked::idiv<Integer>(-32768, -1); }), 6);
    EXPECT_EQ(error_of([] { checked::fdiv(1, 0); }), 11);
    EXPECT_EQ(error_of([] { checked::fdiv(1e308, 1e-308); }), 6);
    EXPECT_EQ(error_of([] { narrow<Integer>(Long{40000}); }), 6);
    EXPECT_EQ(error_of([] { narrow<Byte>(Integer{-1}); }), 6);
    EXPECT_EQ(narrow<Integer>(Long{-32768}), -32768);
}

TEST(StrictNumber, AcceptedForms) {
    struct {
        const char16_t* text;
        double value;
    } cases[] = {
        {u"12", 12},     {u"  -4.5 ", -4.5},    {u".5", 0.5},   {u"5.", 5},        {u"1,000", 1000},    {u"1,0,0", 100},
        {u"(5)", -5},    {u"5-", -5},           {u"+7", 7},     {u"$12.50", 12.5}, {u"1e3", 1000},      {u"1E-2", 0.01},
        {u"2.5E+1", 25}, {u"\t\r\n42\v\f", 42}, {u"&HFF", 255}, {u"&o17", 15},     {u"&HFFFFFFFF", -1}, {u"- 3", -3},
    };
    for (auto c : cases) {
        auto v = strict_number(c.text);
        ASSERT_TRUE(v.has_value()) << to_utf8(c.text);
        EXPECT_DOUBLE_EQ(*v, c.value) << to_utf8(c.text);
    }
}

TEST(StrictNumber, RefusedForms) {
    const char16_t* cases[] = {u"",   u"   ", u"abc", u"12abc", u"1.2.3", u"1 2", u"1e",  u"1e+", u"1D3",
                               u"(5", u"5)",  u",5",  u".",     u"--5",   u"&H",  u"&HG", u"+",   u"-(5)"};
    for (auto c : cases) EXPECT_FALSE(strict_number(c).has_value()) << to_utf8(c);
}

TEST(LeadingNumber, ValReadsThePrefix) {
    struct {
        const char16_t* text;
        double value;
    } cases[] = {
        {u" 2 45 7", 2457}, {u"24 and 57", 24}, {u"abc", 0},     {u"", 0},        {u"-3.5x", -3.5},    {u"1.2.3", 1.2},
        {u"1e2z", 100},     {u"1d2", 100},      {u"1e", 1},      {u"&HFFFF", -1}, {u"&H10000", 65536}, {u"&O777", 511},
        {u"$5", 0},         {u"1,000", 1},      {u"\t\n12", 12}, {u"--5", 0},     {u"+.5", 0.5},       {u"4.6 s", 4.6},
    };
    for (auto c : cases) EXPECT_DOUBLE_EQ(leading_number(c.text), c.value) << to_utf8(c.text);
}

TEST(NumberText, StandardForms) {
    struct {
        double in;
        const char16_t* out;
    } cases[] = {
        {12000, u"12000"}, {0.1, u"0.1"},       {1e16, u"1E+16"},
        {1e15, u"1E+15"},  {0.00001, u"1E-05"}, {1.0 / 3, u"0.333333333333333"},
        {-0.0, u"0"},      {-2.5, u"-2.5"},     {123456789012345, u"123456789012345"},
    };
    for (auto c : cases) EXPECT_EQ(number_text(c.in), c.out) << c.in;
    EXPECT_EQ(single_text(0.1f), u"0.1");
}

TEST(FormatZeroPadded, HalfAwayFromZeroAndPadding) {
    EXPECT_EQ(format_zero_padded(5, 3), u"005");
    EXPECT_EQ(format_zero_padded(1234, 3), u"1234");
    EXPECT_EQ(format_zero_padded(2.5, 3), u"003");
    EXPECT_EQ(format_zero_padded(-7, 3), u"-007");
    EXPECT_EQ(format_zero_padded(0, 2), u"00");
}

TEST(AnsiCode, Windows1252) {
    EXPECT_EQ(AnsiCode(u"A"), 65);
    EXPECT_EQ(AnsiCode(u"ABC"), 65);
    EXPECT_EQ(AnsiCode(u"\u00E9"), 0xE9);
    EXPECT_EQ(AnsiCode(u"\u20AC"), 0x80);  // euro sign
    EXPECT_EQ(AnsiCode(u"\u0178"), 0x9F);  // Y with diaeresis
    EXPECT_EQ(AnsiCode(u"\u0081"), 0x81);  // an undefined byte maps to itself
    EXPECT_EQ(AnsiCode(u"\u4E2D"), 63);    // not in the code page
    EXPECT_EQ(AnsiCode(u"\u0085"), 63);    // C1 control that 1252 uses for an ellipsis
    EXPECT_EQ(error_of([] { AnsiCode(u""); }), 5);
    for (int b = 0; b < 256; ++b) EXPECT_EQ(to_cp1252(from_cp1252(static_cast<uint8_t>(b))), b);
}

TEST(Arrays, BoundsRaiseSubscript) {
    Array<Long> a;
    EXPECT_EQ(error_of([&] { a(0); }), 9);  // not allocated
    a.redim(1, 3);
    a(1) = 10;
    a(3) = 30;
    EXPECT_EQ(error_of([&] { a(0); }), 9);
    EXPECT_EQ(error_of([&] { a(4); }), 9);
    a.redim_preserve(5);
    EXPECT_EQ(a(1), 10);
    EXPECT_EQ(a.ubound(), 5);
    a.erase();
    EXPECT_EQ(error_of([&] { a.ubound(); }), 9);

    uint8_t mem[12] = {};
    Grid<uint8_t> g(mem, 5, 2, 6);  // 5 bytes used of each 6-byte row
    g(4, 1) = 7;
    EXPECT_EQ(mem[10], 7);
    EXPECT_EQ(error_of([&] { g(5, 0); }), 9);
    EXPECT_EQ(error_of([&] { g(0, 2); }), 9);
    EXPECT_EQ(error_of([&] { g(-1, 0); }), 9);
}

// Regression: a byte of no UTF-8 sequence became U+FFFD, so a file name such as
// caf\xE9 was written as caf\xEF\xBF\xBD, another file.  Every byte string now
// survives the round trip.
TEST(Utf, RoundTripKeepsEveryByte) {
    String s = u"a\u00E9\u4E2D\U0001F600";
    EXPECT_EQ(from_utf8(to_utf8(s)), s);
    struct Case {
        std::string bytes;
        String text;
        const char* what;
    };
    const Case cases[] = {
        {"caf\xE9", u"caf\xDCE9", "a Latin-1 name"},
        {"\xFF", u"\xDCFF", "a byte no sequence starts with"},
        {"\xE4\xB8", u"\xDCE4\xDCB8", "a truncated sequence"},
        {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80", "an encoded surrogate"},
        {"\xC0\xAF", u"\xDCC0\xDCAF", "an overlong form"},
        {"ok\xE9\xE4\xB8\xAD", u"ok\xDCE9\u4E2D", "a stray byte before a valid sequence"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(from_utf8(c.bytes), c.text) << c.what;
        EXPECT_EQ(to_utf8(from_utf8(c.bytes)), c.bytes) << c.what;
    }
    EXPECT_EQ(to_utf8(u"\xD800"), "\xEF\xBF\xBD");  // other lone surrogates have no byte to give back
    EXPECT_EQ(to_utf8(u"\xDC7F"), "\xEF\xBF\xBD");
}

}  // namespace

namespace {

TEST(HandlingStyles, ResumeNextSkipsOnlyTheFailingStatement) {
    std::vector<int> done;
    EXPECT_TRUE(t2::resume_next([&] { done.push_back(1); }));
    EXPECT_FALSE(t2::resume_next([&] {
        t2::checked::add<t2::Integer>(32767, 1);
        done.push_back(2);
    }));
    EXPECT_TRUE(t2::resume_next([&] { done.push_back(3); }));
    EXPECT_EQ(done, (std::vector<int>{1, 3}));
}

}  // namespace
