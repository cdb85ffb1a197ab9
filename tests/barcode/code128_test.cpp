// The Code 128 encoder and the drawing engine's layout, with a font of known
// metrics, checked through the graphics layer's call trace.
#include <gtest/gtest.h>

#include "barcode/code128.hpp"
#include "platform/gdi/font.hpp"
#include "platform/gdi/gdi.hpp"

using namespace t2;
using namespace t2::barcode;

namespace {

using Row = std::vector<Long>;

TEST(Code128, Rows) {
    struct {
        String text;
        Long check;
        Row row;
        const char* note;
    } cases[] = {
        {u"AB", 1, {104, 33, 34, 102, 106}, "205 mod 103 = 102"},
        {u"12", 1, {104, 17, 18, (104 + 17 + 36) % 103, 106}, "digits stay in set B"},
        {u"a", 0, {104, 65, 106}, "no check character"},
        {u"p~\x7F", 0, {104, 80, 94, 95, 106}, "p, tilde, DEL"},
        {u"\u00B3\u00B2\u00BC\u00B9", 0, {104, 96, 97, 100, 102, 106}, "FNC3, FNC2, FNC4, FNC1"},
        {u"A\u0010B",
         1,
         {104, 33, 98, 80, 34, (104 + 33 + 2 * 98 + 3 * 80 + 4 * 34) % 103, 106},
         "DLE: SHIFT, then set A's 80"},
        {u"code c", 0, {104, 67, 79, 68, 69, 0, 67, 106}, "words are ordinary characters"},
    };
    for (auto& c : cases) EXPECT_EQ(EncodeCode128(c.text, c.check), c.row) << c.note;
    EXPECT_EQ(code128_modules(EncodeCode128(u"AB", 1)), 57);
    EXPECT_EQ(code128_modules(EncodeCode128(u"ABC", 0)), 11 * 4 + 13);
}

TEST(Code128, Alphabet) {
    for (const char16_t* bad : {u"\u00E9", u"a\tb", u"x\n", u"\0a", u"\u0011", u"\u20AC"})
        EXPECT_EQ(CheckCode128Text(String(bad, bad[0] == 0 ? 2 : std::char_traits<char16_t>::length(bad))), 54548);
    EXPECT_EQ(CheckCode128Text(u""), 0);
    EXPECT_EQ(CheckCode128Text(u"Hello \u0010 \u00B9"), 0);
    EXPECT_EQ(CheckCode128Text(u"\u00E9ABC"), 54548);
}

TEST(Code128, CheckSumLimits) {
    EXPECT_NO_THROW(EncodeCode128(String(321, u'\u00B9'), 1));
    try {
        EncodeCode128(String(322, u'\u00B9'), 1);
        FAIL() << "no overflow";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 6);
    }
}

// A memory context with the synthetic font of the published vectors selected.
class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        gdi::register_synthetic_font("T2 Vector Font", 16, 3, 7, 7);
        gdi::BITMAPINFO bi{};
        bi.bmiHeader = {40, 400, 120, 1, 24, gdi::BI_RGB, 0, 0, 0, 0, 0};
        int32_t bits;
        bm = gdi::CreateDIBSection(0, &bi, 0, &bits, nullptr, 0);
        dc = gdi::CreateCompatibleDC(0);
        old = gdi::SelectObject(dc, bm);
        start = gdi::object_count();
        props.Text = u"AB";
        props.FontName = u"T2 Vector Font";
        props.Symbology = 16;
        props.Align = 1;
        props.TextDisplay = 1;
        props.FontSize = 10;
        props.Style = 2;
        props.BarHeight = 30;
        props.Left = props.Top = 10;
        props.ModuleWidth = 1;
        props.CaptionGap = 2;
        props.ForeColor = 0;
        props.BackColor = 0xFFFFFF;
        props.CheckChar = 1;
    }
    void TearDown() override {
        EXPECT_EQ(gdi::object_count(), start);  // everything the engine made is gone
        gdi::SelectObject(dc, old);
        gdi::DeleteDC(dc);
        gdi::DeleteObject(bm);
    }
    std::vector<std::string> draw(Long* result = nullptr) {
        std::vector<std::string> log;
        gdi::trace_calls(&log);
        struct Untrace {  // also when the engine raises: the log is about to go
            ~Untrace() { gdi::trace_calls(nullptr); }
        } untrace;
        Long r = DrawBarcode(props, dc);
        if (result) *result = r;
        return log;
    }
    static std::vector<std::string> bars(const std::vector<std::string>& log) {
        return std::vector<std::string>(log.begin() + 1, log.begin() + 1 + 16);  // after the background
    }
    gdi::HGDI bm = 0, dc = 0, old = 0;
    size_t start = 0;
    BarcodeProps props;
};

TEST_F(Engine, ABWithoutCaption) {
    auto log = draw();
    ASSERT_EQ(log.size(), 17u);
    EXPECT_EQ(log[0], "Rectangle 10 10 69 41");
    EXPECT_EQ(log[1], "Rectangle 10 10 12 40");   // start B begins with a 2-module bar
    EXPECT_EQ(log[16], "Rectangle 65 10 67 40");  // the stop's closing bar ends at 10 + 57
}

TEST_F(Engine, CaptionBelowAndAbove) {
    props.Caption = u"Hi";
    auto log = draw();
    EXPECT_EQ(log[0], "Rectangle 10 10 69 60");
    EXPECT_EQ(log.back(), "DrawTextA \"Hi\" 10 42 67 58 1");
    props.TextDisplay = 2;
    log = draw();
    EXPECT_EQ(log[1], "Rectangle 10 29 12 59");  // bars from 29 to 59
    EXPECT_EQ(log.back(), "DrawTextA \"Hi\" 10 10 67 28 1");
    props.TextDisplay = 1;
    props.Align = 3;
    EXPECT_EQ(draw().back(), "DrawTextA \"Hi\" 10 42 67 58 3");
}

TEST_F(Engine, WideCaptionsCentreTheSymbol) {
    props.Caption = String(21, u'x');  // 147 pixels
    auto log = draw();
    EXPECT_EQ(log[0], "Rectangle 10 10 165 60");
    EXPECT_EQ(log[1], "Rectangle 58 10 60 40");
    EXPECT_EQ(log.back(), "DrawTextA \"" + std::string(21, 'x') + "\" 10 42 163 58 1");
    props.TextDisplay = 2;
    EXPECT_EQ(draw().back(), "DrawTextA \"" + std::string(21, 'x') + "\" 10 10 160 28 1");
    props.TextDisplay = 1;
    props.Caption = String(20, u'x');  // 140 pixels: 10 + 89 / 2, 44.5 rounds to 44
    EXPECT_EQ(draw()[1], "Rectangle 54 10 56 40");
}

TEST_F(Engine, JustifyWritesTheTextSpaced) {
    props.Caption = u"Hi";
    props.Align = 4;
    auto log = draw();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], "SetTextCharacterExtra 21");  // 57 / 2 = 28.5 -> 28, minus 7
    EXPECT_EQ(log[log.size() - 2], "DrawTextA \"AB\" 10 42 67 58 1025");
    EXPECT_EQ(log.back().substr(0, 14), "DrawTextA \"AB\"");
    EXPECT_EQ(log.back().substr(log.back().size() - 2), " 1");
    props.Caption.clear();
    EXPECT_EQ(draw().size(), 17u);  // nothing written without a caption
}

TEST_F(Engine, ValidationOrder) {
    struct {
        std::function<void(BarcodeProps&)> change;
        Long code;
    } cases[] = {
        {[](BarcodeProps& p) {
             p.Align = 5;
             p.FontSize = 0;
         },
         54546},
        {[](BarcodeProps& p) {
             p.ModuleWidth = 0;
             p.Text = u"\u00E9";
         },
         54548},
        {[](BarcodeProps& p) { p.Symbology = 17; }, 54543},
        {[](BarcodeProps& p) { p.TextDisplay = 3; }, 54547},
        {[](BarcodeProps& p) { p.Style = 16; }, 54544},
        {[](BarcodeProps& p) { p.FontName.clear(); }, 54544},
        {[](BarcodeProps& p) { p.Text.clear(); }, 0},
        {[](BarcodeProps& p) {
             p.Text.clear();
             p.BarHeight = 0;
         },
         54542},
        {[](BarcodeProps& p) {
             p.ModuleWidth = -1;
             p.BarHeight = 0;
         },
         54541},
    };
    for (auto& c : cases) {
        BarcodeProps saved = props;
        c.change(props);
        Long r = -1;
        auto log = draw(&r);
        EXPECT_EQ(r, c.code);
        EXPECT_TRUE(log.empty());  // nothing painted
        props = saved;
    }
}

TEST_F(Engine, FontNamesOfThirtyCharactersAndErrorsCleanUp) {
    props.FontName = String(30, u'f');
    Long r = -1;
    draw(&r);
    EXPECT_EQ(r, 0);
    props.FontName = String(31, u'f');
    try {
        draw();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 9);
    }
    props.FontName = u"T2 Vector Font";
    props.Text = String(322, u'\u00B9');
    try {
        draw();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 6);
    }
    EXPECT_EQ(BarcodeErrorText(54548), u"Error(54548):Illegal character for this symbology specified.");
    EXPECT_EQ(BarcodeErrorText(1), u"");
}

}  // namespace
