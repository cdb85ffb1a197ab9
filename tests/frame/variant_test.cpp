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
        {Variant::boolean(true), VT_BSTR, S_OK, u"True", "True as text"},
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
