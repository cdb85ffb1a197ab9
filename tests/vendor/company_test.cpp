// clsQELCompany: every entry 900-921, and the message box for numbers without one.
#include <gtest/gtest.h>

#include <thread>

#include "frame/com.hpp"
#include "support/recorder.hpp"

using namespace t2;

namespace {

Variant info(_clsQELCompany* c, LONG n, HRESULT* status = nullptr) {
    VARIANT v;
    HRESULT hr = c->GetQELCompanyInformation(&n, &v);
    if (status) *status = hr;
    Variant out;
    out.raw() = v;
    return out;
}

TEST(Company, EveryEntryHasItsOneLineText) {
    t2test::BoxRecorder boxes;
    auto d = t2test::create(CLSID_clsQELCompany);
    auto* c = static_cast<_clsQELCompany*>(d.get());
    for (LONG n = 900; n <= 921; ++n) {
        Variant v = info(c, n);
        ASSERT_EQ(v.type(), VT_BSTR) << n;
        String s = v.to_string();
        EXPECT_FALSE(s.empty()) << n;
        EXPECT_EQ(s.find(u'\n'), String::npos) << n;
        bool placeholder = (n >= 907 && n <= 910) || (n >= 912 && n <= 915) || n >= 917;
        if (placeholder)
            EXPECT_EQ(s, u"-") << n;
        else
            EXPECT_NE(s, u"-") << n;
    }
    EXPECT_EQ(info(c, 901).to_string(), u"QEL");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(Company, NumbersWithoutAnEntryShowOneBoxAndReturnEmpty) {
    auto d = t2test::create(CLSID_clsQELCompany);
    auto* c = static_cast<_clsQELCompany*>(d.get());
    for (LONG n : {899, 922, 0, -1, INT32_MAX}) {
        t2test::BoxRecorder boxes;
        HRESULT hr = E_FAIL;
        Variant v = info(c, n, &hr);
        EXPECT_EQ(hr, S_OK);  // no error reaches the caller
        EXPECT_TRUE(v.is_empty());
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text, "326, Resource with identifier '" + std::to_string(n) + "' not found");
        EXPECT_EQ(boxes.boxes[0].title, "Error In Tavolin2.clsQELCompany.GetQELCompanyInfo");
        EXPECT_EQ(boxes.boxes[0].style, 16);  // critical icon, OK only
    }
}

TEST(Company, TheImplicitInstanceGivesTheSameTexts) {
    std::thread([] {
        auto d = t2test::create(CLSID_clsQELCompany);
        _clsQELCompany* implicit = nullptr;
        ASSERT_EQ(T2GetAppObject(CLSID_clsQELCompany, IID__clsQELCompany, reinterpret_cast<void**>(&implicit)), S_OK);
        for (LONG n = 900; n <= 921; ++n)
            EXPECT_EQ(info(implicit, n).to_string(), info(static_cast<_clsQELCompany*>(d.get()), n).to_string());
        implicit->Release();
    }).join();
}

TEST(Company, LateBoundArgumentIsConverted) {
    t2test::BoxRecorder boxes;
    auto d = t2test::create(CLSID_clsQELCompany);
    DISPID id;
    LPOLESTR name = const_cast<LPOLESTR>(u"GETQELCOMPANYINFORMATION");
    ASSERT_EQ(d->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocString(u"902");
    DISPPARAMS dp{&arg, nullptr, 1, 0};
    VARIANT r;
    VariantInit(&r);
    ASSERT_EQ(d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, &r, nullptr, nullptr), S_OK);
    EXPECT_EQ(bstr_view(r.bstrVal), u"Quillmere");
    VariantClear(&r);
    SysFreeString(arg.bstrVal);
    arg.bstrVal = SysAllocString(u"nine hundred");
    UINT err = 9;
    EXPECT_EQ(d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &dp, &r, nullptr, &err), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(err, 0u);
    VariantClear(&arg);
    EXPECT_TRUE(boxes.boxes.empty());  // the member did not run
}

}  // namespace
