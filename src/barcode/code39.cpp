// Code 39 through a picture box: the surface is resized to the code, cleared,
// every bar and space painted as a filled box in pixels, the caption printed.
#include "barcode/code39.hpp"

#include <array>

#include "frame/convert.hpp"

namespace t2::barcode {

namespace {

// Code39Patterns: per character code 0 to 90, the five bars ("1" narrow, "2" wide);
// a blank between bar digits makes the space before the next bar wide.
std::array<const char16_t*, 91> code39_patterns() {
    std::array<const char16_t*, 91> p{};
    p.fill(u"");
    p[1] = p[2] = p[42] = u"1 1221";  // start and stop marks draw as "*"
    p[32] = u"1 2121";
    p[36] = u"1 1 1 11";
    p[37] = u"11 1 1 1";
    p[43] = u"1 11 1 1";
    p[45] = u"1 1122";
    p[46] = u"2 1121";
    p[47] = u"1 1 11 1";
    const char16_t* digits[10] = {u"11 221", u"21 112", u"12 112", u"22 111", u"11 212",
                                  u"21 211", u"12 211", u"11 122", u"21 121", u"12 121"};
    for (int i = 0; i < 10; ++i) p[48 + i] = digits[i];
    const char16_t* letters[26] = {u"211 12", u"121 12", u"221 11", u"112 12", u"212 11", u"122 11", u"111 22",
                                   u"211 21", u"121 21", u"112 21", u"2111 2", u"1211 2", u"2211 1", u"1121 2",
                                   u"2121 1", u"1221 1", u"1112 2", u"2112 1", u"1212 1", u"1122 1", u"2 1112",
                                   u"1 2112", u"2 2111", u"1 1212", u"2 1211", u"1 2211"};
    for (int i = 0; i < 26; ++i) p[65 + i] = letters[i];
    return p;
}

String upper_case(String s) {
    for (char16_t& c : s)
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c = static_cast<char16_t>(c - 32);
    return s;
}

constexpr Long kWhite = 0xFFFFFF, kBlack = 0;
constexpr Long kBoxFilled = 38;  // Line flags: a box filled with the colour given

}  // namespace

void DrawCode39(const String& sBarCodeString, const String& sBottomString, const Object& pic) {
    String text = sBarCodeString;
    pic.put(u"ScaleMode", Variant(Integer{3}));
    pic.put(u"Height", Variant(pic.get(u"Height").to_double() * 56 / pic.get(u"ScaleHeight").to_double()));
    pic.put(u"FontSize", Variant(Integer{8}));
    if (text.empty()) {
        pic.call(u"Cls");
        return;
    }
    const auto patterns = code39_patterns();
    text = upper_case(text);
    pic.put(u"ScaleMode", Variant(Integer{3}));
    pic.call(u"Cls");
    pic.put(u"Picture", Variant(static_cast<IDispatch*>(nullptr)));
    Integer d = round_to<Integer>(pic.get(u"ScaleHeight").to_double() / 40);
    if (d < 1) d = 1;
    const float th = pic.call(u"TextHeight", {Variant(text)}).to_single();
    const double tw = pic.call(u"TextWidth", {Variant(text)}).to_double();
    const String s = String(1, char16_t{1}) + text + String(1, char16_t{2});
    const float top = pic.get(u"ScaleTop").to_single();
    const float bottom =
        static_cast<float>(pic.get(u"ScaleTop").to_double() + pic.get(u"ScaleHeight").to_double() - 1.5 * th);
    const Integer cell = checked::mul<Integer>(15, d);
    pic.put(u"Width", Variant(pic.get(u"Width").to_double() * (static_cast<double>(s.size()) * 1.1 * cell) /
                              pic.get(u"ScaleWidth").to_double()));
    float x = pic.get(u"ScaleLeft").to_single();
    auto box = [&](float from, float to, Long colour) {
        pic.call(u"Line",
                 {Variant(kBoxFilled), Variant(from), Variant(top), Variant(to), Variant(bottom), Variant(colour)});
    };
    const Integer wide = checked::mul<Integer>(2, d);
    for (char16_t ch : s) {
        Integer c = AnsiCode(String(1, ch));
        if (c > 90) c = 0;
        if (c < 0) raise(err::Subscript);
        for (const char16_t* e = patterns[static_cast<size_t>(c)]; *e; ++e) {
            if (*e == u' ') {
                box(x, x + d, kWhite);
                x += d;
            } else if (*e == u'1') {
                box(x, x + d, kWhite);
                x += d;
                box(x, x + d, kBlack);
                x += d;
            } else if (*e == u'2') {
                box(x, x + d, kWhite);
                x += d;
                box(x, x + wide, kBlack);
                x += wide;
            }
        }
    }
    box(x, x + d, kWhite);
    x += d;
    pic.put(u"Width", Variant(pic.get(u"Width").to_double() * (x + d) / pic.get(u"ScaleWidth").to_double()));
    pic.put(u"CurrentX", Variant((pic.get(u"ScaleWidth").to_double() - tw) / 2));
    pic.put(u"CurrentY", Variant(th * 0.25 + bottom));
    pic.call(u"Print", {Variant(sBottomString)});
}

}  // namespace t2::barcode
