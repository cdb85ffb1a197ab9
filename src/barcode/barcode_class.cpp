// clsBCAT175: the barcode text model, Code 39 through a picture box, and
// Code 128 with background and caption through the picture's device context.
#include "barcode/code128.hpp"
#include "barcode/code39.hpp"
#include "frame/com.hpp"
#include "frame/msgbox.hpp"

namespace t2 {
namespace {

// Texts longer than this, or whose end characters have codes of four characters or more, are refused.
constexpr size_t kMaxModelText = 75;

// x written with at least k digits.
String digits(double x, int k) { return format_zero_padded(x, k); }

class Barcode : public ImplOf<_clsBCAT175> {
public:
    T2_MEMBERS__clsBCAT175(T2_NATURAL_DECL)

private:
    String m_sInputString;
    Variant m_vOutputCode;
    Integer m_iLength = 0;
    Variant m_vCode1, m_vCode2, m_vCode3;
    String m_sFirstCharacter, m_sLastCharacter;
};

String Barcode::get_InputString() { return m_sInputString; }

// Stores the text and derives the model, through the class's own properties.
void Barcode::put_InputString(String text) {
    m_sInputString = text;
    _clsBCAT175* me = self();
    check(me->put_Length(narrow<Integer>(static_cast<int64_t>(text.size()))));
    Bstr first(text.substr(0, 1)), last(text.empty() ? String() : text.substr(text.size() - 1));
    check(me->put_FirstCharacter(first.get()));
    check(me->put_LastCharacter(last.get()));
    if (m_sFirstCharacter.empty()) check(me->put_FirstCharacter(Bstr(u" ").get()));
    if (m_sLastCharacter.empty()) check(me->put_LastCharacter(Bstr(u" ").get()));
    const Integer A = AnsiCode(m_sFirstCharacter), B = AnsiCode(m_sLastCharacter);
    if (number_text(B).size() > 3 || number_text(A).size() > 3 || text.size() > kMaxModelText) {
        t2::MsgBox(
            u"Invalid string or characters entered are not allowed, it may be some special characters, "
            u"please try again with different characters.",
            platform::vbCritical | platform::vbOKOnly, u"Invalid Characters...");
        check(me->ClearAll());
        return;
    }
    const Integer n = m_iLength;
    String code1 = u"1" + digits(A + n, 3) + digits(B + n, 3);
    double sum = 0;
    for (Integer i = 1; i <= n; ++i)
        sum += checked::mul<Integer>(i, AnsiCode(text.substr(static_cast<size_t>(i - 1), 1)));
    String code2 = digits(sum + n, 6);
    VARIANT v1 = Variant(code1).release(), v2 = Variant(code2).release(), out = Variant(code1 + code2).release();
    HRESULT h1 = me->put_Code1(v1), h2 = me->put_Code2(v2), h3 = me->put_OutputCode(out);
    VariantClear(&v1);
    VariantClear(&v2);
    VariantClear(&out);
    check(h1);
    check(h2);
    check(h3);
}

void Barcode::ClearAll() {
    _clsBCAT175* me = self();
    Bstr empty(u"");
    check(me->put_FirstCharacter(empty.get()));
    check(me->put_LastCharacter(empty.get()));
    VARIANT nothing;
    VariantInit(&nothing);
    check(me->put_Code1(nothing));
    check(me->put_Code2(nothing));
    check(me->put_Code3(nothing));
    check(me->put_Length(0));
    check(me->put_OutputCode(nothing));
}

String Barcode::get_FirstCharacter() { return m_sFirstCharacter; }
void Barcode::put_FirstCharacter(String v) { m_sFirstCharacter = v; }
String Barcode::get_LastCharacter() { return m_sLastCharacter; }
void Barcode::put_LastCharacter(String v) { m_sLastCharacter = v; }
Integer Barcode::get_Length() { return m_iLength; }
void Barcode::put_Length(Integer v) { m_iLength = v; }
Variant Barcode::get_Code1() { return m_vCode1; }
void Barcode::put_Code1(Variant v) { m_vCode1 = v; }
Variant Barcode::get_Code2() { return m_vCode2; }
void Barcode::put_Code2(Variant v) { m_vCode2 = v; }
Variant Barcode::get_Code3() { return m_vCode3; }
void Barcode::put_Code3(Variant v) { m_vCode3 = v; }
Variant Barcode::get_OutputCode() { return m_vOutputCode; }
void Barcode::put_OutputCode(Variant v) { m_vOutputCode = v; }

String Barcode::GuessInputString() {
    String run;
    for (Integer i = 1; i <= m_iLength; ++i) run += number_text(i);
    String t = m_sFirstCharacter + run + m_sLastCharacter;
    // a text that reads as a plain number comes back as that number with at least 13 digits
    auto n = parse_number(t);
    if (n && !n->radix && std::isfinite(n->value)) return format_zero_padded(n->value, 13);
    return t;
}

Variant Barcode::Barcode39Draw(String& sBarCodeString, String& sBottomString, Object& oBarCodePic) {
    barcode::DrawCode39(sBarCodeString, sBottomString, oBarCodePic);
    return {};
}

Variant Barcode::Barcode128Draw(String& sBarCodeString, Object& oBarCodePic, String& sBottomString, Long& lBackColor,
                                Long& lForeColor, Long& lColorConst, Integer& iAlign, Integer& iTextDisplay,
                                Integer& iStyle, Integer& iFontSize, String& sFontName, Integer& iBarHeight,
                                Integer& iLeft, Integer& iTop) {
    oBarCodePic.call(u"Cls");
    barcode::BarcodeProps& p = barcode::barcode_props();
    p.Text = sBarCodeString;
    p.Caption = sBottomString;
    p.FontName = sFontName;
    p.Symbology = barcode::kSymbologyCode128;
    p.Align = iAlign;
    p.TextDisplay = iTextDisplay;
    p.FontSize = iFontSize;
    p.Style = iStyle;
    p.BarHeight = iBarHeight;
    p.Left = iLeft;
    p.Top = iTop;
    p.ModuleWidth = 1;
    p.CaptionGap = 2;
    p.Orientation = 0;
    p.ForeColor = lForeColor;
    p.BackColor = lBackColor;
    p.CaptionColor = lColorConst;
    p.CheckChar = 1;
    const Long hdc = oBarCodePic.get(u"hDc").to_long();
    const Long r = barcode::DrawBarcode(p, hdc);
    if (r != 0) t2::MsgBox(barcode::BarcodeErrorText(r), platform::vbOKOnly, u"");
    return {};
}

}  // namespace
}  // namespace t2

T2_DEFINE_CLASS(clsBCAT175, _clsBCAT175, t2::Barcode)
