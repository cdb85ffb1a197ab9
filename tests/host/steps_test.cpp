// The call step language.
#include <gtest/gtest.h>

#include "host/steps.hpp"

using namespace host;

namespace {

TEST(Steps, Forms) {
    Step s;
    std::string err;
    ASSERT_TRUE(parse_step("Count", s, err));
    EXPECT_EQ(s.kind, Step::Get);
    ASSERT_TRUE(parse_step(" InputString = \"A,B\" ", s, err));
    EXPECT_EQ(s.kind, Step::Let);
    EXPECT_EQ(s.member, "InputString");
    EXPECT_EQ(show(s.args[0].value.get()), "A,B");
    ASSERT_TRUE(parse_step("Add(1, 2 ,3)", s, err));
    EXPECT_EQ(s.kind, Step::Call);
    ASSERT_EQ(s.args.size(), 3u);
    ASSERT_TRUE(parse_step("M()", s, err));
    EXPECT_TRUE(s.args.empty());
    ASSERT_TRUE(parse_step("LoadPictureBlt(5, , 7, eRop:=&H42)", s, err));
    ASSERT_EQ(s.args.size(), 4u);
    EXPECT_EQ(s.args[1].value.get().vt, VT_ERROR);  // omitted
    EXPECT_EQ(s.args[3].name, "eRop");
    EXPECT_EQ(s.args[3].value.get().iVal, 0x42);
}

TEST(Steps, Values) {
    struct {
        const char* text;
        VARTYPE vt;
        const char* shown;
    } cases[] = {
        {"12", VT_I2, "12"},
        {"-32768", VT_I2, "-32768"},
        {"40000", VT_I4, "40000"},
        {"3000000000", VT_R8, "3000000000"},
        {"-4.5", VT_R8, "-4.5"},
        {"1E3", VT_R8, "1000"},
        {"&HFFFF", VT_I2, "-1"},
        {"&H10000", VT_I4, "65536"},
        {"True", VT_BOOL, "True"},
        {"false", VT_BOOL, "False"},
        {"Empty", VT_EMPTY, ""},
        {"Null", VT_NULL, "Null"},
        {"Nothing", VT_DISPATCH, "Nothing"},
        {"\"say \"\"hi\"\"\"", VT_BSTR, "say \"hi\""},
        {"c\"a\\tb\\0c\\x41\"", VT_BSTR, "a\\tb\\0cA"},
        {"\"C:\\dir\\a.mp3\"", VT_BSTR, "C:\\dir\\a.mp3"},
    };
    for (auto c : cases) {
        Value v;
        std::string err;
        ASSERT_TRUE(parse_value(c.text, v, err)) << c.text << ": " << err;
        EXPECT_EQ(v.vt(), c.vt) << c.text;
        EXPECT_EQ(show(v.get()), c.shown) << c.text;
    }
    Value nul;
    std::string err;
    ASSERT_TRUE(parse_value("c\"x\\0y\"", nul, err));
    EXPECT_EQ(SysStringLen(nul.get().bstrVal), 3u);  // the NUL is inside the text
}

TEST(Steps, SyntaxErrors) {
    const char* bad[] = {
        "", "1abc", "Add(1", "Add(\"open)", "X=", "X=abc", "Add(p:=)", "Add(9x:=1)", "c\"\\q\"", "M(c\"\\x4\")"};
    for (const char* b : bad) {
        Step s;
        std::string err;
        EXPECT_FALSE(parse_step(b, s, err)) << b;
        EXPECT_FALSE(err.empty()) << b;
    }
}

}  // namespace
