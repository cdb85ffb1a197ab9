// tavolin2/cpp.hpp against the shared library: owned values, late-bound calls
// with named and by-reference arguments, failures as ComError.
#include "tavolin2/cpp.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

namespace {

TEST(Cpp, ValuesOwnAndConvert) {
    t2::Bstr b("grüße");
    EXPECT_EQ(b.size(), 5u);
    EXPECT_EQ(t2::Bstr(b).utf8(), "grüße");
    t2::Variant n(42), t("3.5"), yes(true), none(nullptr);
    EXPECT_EQ(n.to_string(), "42");
    EXPECT_DOUBLE_EQ(t.to_double(), 3.5);
    EXPECT_EQ(yes.to_long(), -1);
    EXPECT_FALSE(none.to_dispatch());
    t2::Variant moved = std::move(t);
    EXPECT_TRUE(t.empty());
    EXPECT_EQ(moved.vt(), VT_BSTR);
    struct Case {
        t2::Variant v;
        VARTYPE to;
        long number;
    };
    const Case bad[] = {
        {t2::Variant("abc"), VT_I4, 13}, {t2::Variant(1e12), VT_I4, 6}, {t2::Variant(7), VT_DISPATCH, 13}};
    for (const Case& c : bad) {
        try {
            c.v.as(c.to);
            ADD_FAILURE() << "no error for vt " << c.to;
        } catch (const t2::ComError& e) {
            EXPECT_EQ(e.number(), c.number);
        }
    }
}

TEST(Cpp, LateBoundPropertiesMethodsAndNamedArguments) {
    t2::Dispatch gif("tavolin2.gif");
    gif.put("BestQuality", true);
    EXPECT_TRUE(gif.get("BestQuality").to_bool());
    t2::Dispatch company("TAVOLIN2.clsQELCompany");
    std::string by_position = company.call("GetQELCompanyInformation", 901).to_string();
    EXPECT_FALSE(by_position.empty());
    EXPECT_EQ(company.call("GetQELCompanyInformation", t2::named("lResConst", 901)).to_string(), by_position);
}

TEST(Cpp, ByReferenceResults) {
    t2::Dispatch dib("TAVOLIN2.cDIBSection");
    t2::Variant handle(0);
    EXPECT_TRUE(dib.call("CreateDIB", 0, 8, 4, t2::byref(handle)).to_bool());
    EXPECT_NE(handle.to_long(), 0);
    EXPECT_EQ(dib.get("Width").to_long(), 8);
}

TEST(Cpp, FailuresCarryNumberDescriptionAndSource) {
    t2::Dispatch company("TAVOLIN2.clsQELCompany");
    struct Case {
        const char* what;
        std::function<void()> call;
        long number;
        const char* text;
    };
    const Case cases[] = {
        {"unknown member", [&] { company.call("NoSuchMember"); }, 438, "NoSuchMember"},
        {"unknown argument name", [&] { company.call("GetQELCompanyInformation", t2::named("nope", 1)); }, 438,
         "argument name"},
        {"wrong type", [&] { company.call("GetQELCompanyInformation", "abc"); }, 13, "GetQELCompanyInformation"},
        {"no object", [&] { t2::Dispatch().call("X"); }, 91, "not set"},
        {"unknown class", [&] { t2::Dispatch("TAVOLIN2.NoSuchClass"); }, 0, ""},
    };
    for (const Case& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << c.what << ": no error";
        } catch (const t2::ComError& e) {
            EXPECT_TRUE(FAILED(e.hresult())) << c.what;
            if (c.number) {
                EXPECT_EQ(e.number(), c.number) << c.what << ": " << e.description();
            }
            EXPECT_NE(e.description().find(c.text), std::string::npos) << c.what << ": " << e.description();
        }
    }
}

TEST(Cpp, CheckReadsTheErrorInfo) {
    EXPECT_EQ(t2::check(S_FALSE), S_FALSE);
    CLSID clsid{};
    try {
        t2::check(T2CLSIDFromProgID("No.Such.Name", &clsid));
        ADD_FAILURE() << "no error";
    } catch (const t2::ComError& e) {
        EXPECT_FALSE(e.description().empty());
    }
}

// Registration records the library by its soname (libtavolin2.so.2), not the
// file of one release, so an upgrade within the major version keeps working.
TEST(Cpp, RegistrationRecordsTheSoname) {
    ASSERT_EQ(DllRegisterServer(), S_OK);
    std::ifstream f(T2RegistryPath());
    std::string line, server;
    while (std::getline(f, line))
        if (line.rfind("InprocServer32=", 0) == 0) server = line.substr(15);
    const std::string soname = "/libtavolin2.so.2";
    ASSERT_GT(server.size(), soname.size());
    EXPECT_EQ(server.substr(server.size() - soname.size()), soname) << server;
    EXPECT_EQ(server[0], '/') << server;
}

}  // namespace
