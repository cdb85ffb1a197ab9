// The conversion matrix of tagged values and by-ref assignment.
#include <gtest/gtest.h>

#include "frame/variant.hpp"

using namespace t2;

namespace {

HRESULT change(const Variant& v, VARTYPE vt, Variant& out) { return VariantChangeType(&out.raw(), &v.raw(), 0, vt); }

struct Case {
    Variant in;
    VARTYPE to;
    HRESULT hr;
    const char16_t* text;  // expected value as text, when it converts
    const char* note;
};

TEST(VariantConversion, Matrix) {
    const Case cases[] = {
        {Variant(u"40000"), VT_I2, DISP_E_OVERFLOW, nullptr, "text beyond Integer"},
        {Variant(u"32767"), VT_I2, S_OK, u"32767", "text at the top of Integer"},
        {Variant(u"abc"), VT_I4, DISP_E_TYPEMISMATCH, nullptr, "not a number"},
        {Variant(u"2.5"), VT_I4, S_OK, u"2", "text rounded half to even"},
        {Variant(u"&HFFFF"), VT_I2, S_OK, u"-1", "hex wraps to Integer"},
        {Variant(u"&HFFFF"), VT_I4, S_OK, u"65535", "hex as Long"},
        {Variant(u"&H100"), VT_UI1, DISP_E_OVERFLOW, nullptr, "hex beyond Byte"},
        {Variant(3.5), VT_I2, S_OK, u"4", "double rounded"},
        {Variant(Long{70000}), VT_I2, DISP_E_OVERFLOW, nullptr, "Long beyond Integer"},
        {Variant(Integer{-1}), VT_UI1, DISP_E_OVERFLOW, nullptr, "negative to Byte"},
        {Variant(), VT_I4, S_OK, u"0", "Empty is zero"},
        {Variant(), VT_BSTR, S_OK, u"", "Empty is the empty text"},
        {Variant::null(), VT_I4, DISP_E_TYPEMISMATCH, nullptr, "Null does not convert"},
        {Variant::boolean(true), VT_I4, S_OK, u"-1", "True is -1"},
        {Variant::boolean(true), VT_BSTR, S_OK, u"-1", "True as text: a number, without VARIANT_ALPHABOOL"},
        {Variant(String(u"12\0abc", 6)), VT_I2, S_OK, u"12", "a number text ends at its NUL"},
        {Variant(u"5$"), VT_I4, S_OK, u"5", "a currency sign after the number"},
        {Variant(u"$5"), VT_I4, S_OK, u"5", "a currency sign before it"},
        {Variant(u"$5$"), VT_I4, DISP_E_TYPEMISMATCH, nullptr, "but only one"},
        {Variant(Long{40000}), VT_I2, DISP_E_OVERFLOW, nullptr, "a real overflow stays one"},
        {Variant(u"tRuE"), VT_BOOL, S_OK, u"True", "true in any case"},
        {Variant(u"#FALSE#"), VT_BOOL, S_OK, u"False", "#FALSE#"},
        {Variant(u"0"), VT_BOOL, S_OK, u"False", "numeric text to Boolean"},
        {Variant(u"yes"), VT_BOOL, DISP_E_TYPEMISMATCH, nullptr, "other words"},
        {Variant(0.1), VT_BSTR, S_OK, u"0.1", "number text"},
        {Variant(Integer{5}), VT_DISPATCH, DISP_E_TYPEMISMATCH, nullptr, "a number is no object"},
        {Variant(u"1e400"), VT_R8, DISP_E_OVERFLOW, nullptr, "text beyond Double"},
        {Variant(1e39), VT_R4, DISP_E_OVERFLOW, nullptr, "double beyond Single"},
    };
    for (const Case& c : cases) {
        Variant out;
        HRESULT hr = change(c.in, c.to, out);
        EXPECT_EQ(hr, c.hr) << c.note;
        if (SUCCEEDED(hr) && c.text) {
            EXPECT_EQ(out.type(), c.to) << c.note;
            EXPECT_EQ(out.to_string(), c.text) << c.note;
        }
    }
}

TEST(VariantConversion, ByRefSourcesAreReadThrough) {
    LONG x = 42;
    VARIANT r;
    VariantInit(&r);
    r.vt = VT_BYREF | VT_I4;
    r.plVal = &x;
    Variant ref(r);
    EXPECT_EQ(ref.to_integer(), 42);
    Variant outer = Variant::by_ref(&ref.raw());
    EXPECT_EQ(outer.to_string(), u"42");
}

TEST(VariantConversion, AssignThroughReferences) {
    // a reference to a Long takes the value converted to Long
    LONG x = 1;
    VARIANT r;
    VariantInit(&r);
    r.vt = VT_BYREF | VT_I4;
    r.plVal = &x;
    Variant ref(r);
    ref.assign(Variant(u"7"));
    EXPECT_EQ(x, 7);
    EXPECT_THROW(ref.assign(Variant(u"seven")), Error);
    EXPECT_EQ(x, 7);

    // a reference to a Variant takes the value as it is
    Variant target(Integer{3});
    Variant vref = Variant::by_ref(&target.raw());
    vref.assign(Variant(u"text"));
    EXPECT_EQ(target.type(), VT_BSTR);
    EXPECT_EQ(target.to_string(), u"text");
}

TEST(VariantLifetime, CopyAndClearOwnTheirStrings) {
    Variant a(u"hello");
    Variant b = a;
    EXPECT_NE(a.raw().bstrVal, b.raw().bstrVal);
    Variant c = std::move(a);
    EXPECT_TRUE(a.is_empty());
    EXPECT_EQ(c.to_string(), u"hello");
    EXPECT_TRUE(Variant::missing().is_missing());
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    BSTR s = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 6u);
    EXPECT_EQ(s[3], 0);
    SysFreeString(s);
}

}  // namespace

// Same-size integers of the other signedness are copied bit for bit, both ways, as the
// platform's VariantChangeType does (a Long -1 is the colour &HFFFFFFFF).
TEST(VariantConversion, SameSizeSignedAndUnsignedCopyTheBits) {
    struct Case {
        VARTYPE from;
        LONG bits;
        VARTYPE to;
        LONG expect;  // the destination's bits, read through lVal (iVal, bVal for the small ones)
    } cases[] = {
        {VT_I4, -1, VT_UI4, -1},
        {VT_I4, static_cast<LONG>(0x8000000F), VT_UI4, static_cast<LONG>(0x8000000F)},
        {VT_UI4, static_cast<LONG>(0x8000000F), VT_I4, static_cast<LONG>(0x8000000F)},
        {VT_I2, -2, VT_UI2, 0xFFFE},
        {VT_UI2, 0xFFFE, VT_I2, -2},
        {VT_I1, -1, VT_UI1, 0xFF},
        {VT_UI1, 0x80, VT_I1, -128},
    };
    for (const Case& c : cases) {
        VARIANT in, out;
        VariantInit(&in);
        VariantInit(&out);
        in.vt = c.from;
        if (c.from == VT_I2 || c.from == VT_UI2)
            in.iVal = static_cast<SHORT>(c.bits);
        else if (c.from == VT_I1 || c.from == VT_UI1)
            in.bVal = static_cast<BYTE>(c.bits);
        else
            in.lVal = c.bits;
        ASSERT_EQ(VariantChangeType(&out, &in, 0, c.to), S_OK) << c.from << " to " << c.to;
        EXPECT_EQ(out.vt, c.to);
        LONG got = out.lVal;
        if (c.to == VT_UI2) got = static_cast<USHORT>(out.iVal);
        if (c.to == VT_I2) got = out.iVal;
        if (c.to == VT_UI1) got = out.bVal;
        if (c.to == VT_I1) got = static_cast<signed char>(out.bVal);
        EXPECT_EQ(got, c.expect) << c.from << " to " << c.to;
    }
    // the flags that ask for words
    VARIANT b, text;
    VariantInit(&b);
    VariantInit(&text);
    b.vt = VT_BOOL;
    b.boolVal = VARIANT_TRUE;
    ASSERT_EQ(VariantChangeType(&text, &b, 0x2 /* VARIANT_ALPHABOOL */, VT_BSTR), S_OK);
    EXPECT_EQ(from_bstr(text.bstrVal), u"True");
    VariantClear(&text);
}
