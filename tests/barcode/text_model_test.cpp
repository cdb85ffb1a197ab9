// The barcode text model: derived codes, refused texts, GuessInputString.
#include <gtest/gtest.h>

#include "support/recorder.hpp"

using namespace t2;
using namespace t2test;

namespace {

struct Model {
    ComPtr<IDispatch> d = create(CLSID_clsBCAT175);
    Object o{d.get()};
    void set(const String& text) { o.put(u"InputString", Variant(text)); }
    String str(const char16_t* member) { return o.get(member).to_string(); }
};

TEST(TextModel, Vectors) {
    struct {
        String text;
        Integer length;
        const char16_t *first, *last, *code1, *code2, *output, *guess;
    } cases[] = {
        {u"ABC", 3, u"A", u"C", u"1068070", u"000401", u"1068070000401", u"A123C"},
        {u"", 0, u" ", u" ", u"1032032", u"000000", u"1032032000000", u"  "},
        {u"5xy9", 4, u"5", u"9", u"1057061", u"", nullptr, u"0000000512349"},
    };
    for (auto& c : cases) {
        BoxRecorder boxes;
        Model m;
        m.set(c.text);
        EXPECT_EQ(m.o.get(u"Length").to_integer(), c.length);
        EXPECT_EQ(m.str(u"FirstCharacter"), c.first);
        EXPECT_EQ(m.str(u"LastCharacter"), c.last);
        EXPECT_EQ(m.str(u"Code1"), c.code1);
        if (*c.code2) {
            EXPECT_EQ(m.str(u"Code2"), c.code2);
        }
        if (c.output) {
            EXPECT_EQ(m.str(u"OutputCode"), c.output);
        }
        EXPECT_EQ(m.o.call(u"GuessInputString").to_string(), c.guess);
        EXPECT_TRUE(boxes.boxes.empty());
    }
}

TEST(TextModel, SeventyFiveCharactersAreTheLimit) {
    Model m;
    BoxRecorder boxes;
    m.set(String(75, u'x'));
    EXPECT_EQ(m.o.get(u"Length").to_integer(), 75);
    EXPECT_TRUE(boxes.boxes.empty());
    m.set(String(76, u'x'));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, "Invalid Characters...");
    EXPECT_EQ(boxes.boxes[0].style, 16);
    EXPECT_NE(boxes.boxes[0].text.find("Invalid string or characters entered are not allowed"), std::string::npos);
    EXPECT_EQ(m.str(u"InputString"), String(76, u'x'));  // kept
    EXPECT_EQ(m.o.get(u"Length").to_integer(), 0);
    EXPECT_TRUE(m.o.get(u"Code1").is_empty());
    EXPECT_TRUE(m.o.get(u"OutputCode").is_empty());
    EXPECT_EQ(m.str(u"FirstCharacter"), u"");
}

TEST(TextModel, DirectAssignmentAndClearAll) {
    Model m;
    m.set(u"ABC");
    m.o.put(u"Code1", Variant(u"anything"));
    m.o.put(u"OutputCode", Variant(Long{42}));
    m.o.put(u"Code3", Variant(2.5));
    EXPECT_EQ(m.str(u"Code1"), u"anything");
    EXPECT_EQ(m.o.get(u"OutputCode").type(), VT_I4);
    EXPECT_EQ(m.str(u"Code2"), u"000401");  // nothing else changed
    m.o.call(u"ClearAll");
    EXPECT_EQ(m.str(u"InputString"), u"ABC");
    EXPECT_TRUE(m.o.get(u"Code3").is_empty());
    EXPECT_EQ(m.o.call(u"GuessInputString").to_string(), u"");
    EXPECT_EQ(m.o.get(u"Length").to_integer(), 0);
}

TEST(TextModel, LongTextsOverflow) {
    Model m;
    EXPECT_THROW(m.set(String(40000, u'a')), Error);  // Length is 16 bits
    EXPECT_EQ(m.str(u"InputString").size(), 40000u);
}

}  // namespace
