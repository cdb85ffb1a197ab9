// tavolin2/cpp.hpp against the shared library: owned values, late-bound calls
// with named and by-reference arguments, failures as ComError, and event
// connections.
#include "tavolin2/cpp.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>

#include "tavolin2/kit.h"
#include "tavolin2/platform.h"

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

struct Event {
    DISPID id;
    size_t count;
    VARTYPE vt;
    long value;
};
// A handler that records every event's id, argument count, the first argument's type and value.
t2::EventHandler recorder(std::vector<Event>& seen) {
    return [&seen](DISPID id, const std::vector<t2::Variant>& args) {
        seen.push_back(
            {id, args.size(), args.empty() ? VARTYPE(VT_EMPTY) : args[0].vt(), args.empty() ? 0 : args[0].to_long()});
    };
}

// A random 8 x 5 picture for cPalette.CreateOptimal, which raises
// InitProgress(height - 1 + palette size), Progress(row or node) and Complete(ms).
t2::Dispatch random_dib() {
    t2::Dispatch dib("TAVOLIN2.cDIBSection");
    EXPECT_TRUE(dib.call("Create", 8, 5).to_bool());
    dib.call("RandomiseBits");
    return dib;
}

TEST(CppConnection, PaletteEventsReachTheHandlerUntilItGoes) {
    t2::Dispatch dib = random_dib(), pal("TAVOLIN2.cPalette");
    std::vector<Event> seen;
    {
        t2::Connection c(pal, DIID___cPalette, recorder(seen));
        EXPECT_TRUE(c);
        EXPECT_NE(c.cookie(), 0u);
        pal.call("CreateOptimal", dib, 16, 6);
        ASSERT_GE(seen.size(), 3u);
        EXPECT_EQ(seen.front().id, 1);  // InitProgress(Max)
        EXPECT_EQ(seen.front().vt, VT_I4);
        EXPECT_EQ(seen.front().value, 4 + 16);
        EXPECT_EQ(seen.back().id, 3);  // Complete
        for (size_t i = 1; i + 1 < seen.size(); ++i) {
            EXPECT_EQ(seen[i].id, 2) << i;  // Progress
            EXPECT_EQ(seen[i].count, 1u) << i;
        }
    }
    const size_t before = seen.size();
    pal.call("CreateOptimal", dib, 16, 6);
    EXPECT_EQ(seen.size(), before) << "events after the connection went";
}

TEST(CppConnection, GifProgressWhileSaving) {
    IDispatch* box = nullptr;
    ASSERT_EQ(T2CreatePictureBox(20, 50, &box), S_OK);
    t2::Dispatch picture_box(t2::ComPtr<IDispatch>::attach(box));
    IDispatch* raw = nullptr;
    ASSERT_EQ(T2CreatePicture(T2GetCurrentObject(picture_box.get("hDc").to_long(), T2_OBJ_BITMAP), FALSE, &raw), S_OK);
    t2::Dispatch pic(t2::ComPtr<IDispatch>::attach(raw));
    const std::string out = ::testing::TempDir() + "cpp_connection_" + std::to_string(getpid()) + ".gif";
    t2::Dispatch gif("TAVOLIN2.GIF");
    std::vector<Event> seen;
    {
        t2::Connection c(gif, DIID___GIF, recorder(seen));
        EXPECT_TRUE(gif.call("SaveGIF", pic, out).to_bool());
    }
    // one Progress(percent) every 10 rows of 50, as an Integer
    std::vector<long> percents;
    for (const Event& e : seen) {
        EXPECT_EQ(e.id, 1);
        EXPECT_EQ(e.vt, VT_I2);
        percents.push_back(e.value);
    }
    EXPECT_EQ(percents, (std::vector<long>{20, 40, 60, 80, 100}));
    seen.clear();
    EXPECT_TRUE(gif.call("SaveGIF", pic, out).to_bool());
    EXPECT_TRUE(seen.empty());
    std::remove(out.c_str());
}

TEST(CppConnection, HandlerLifetimeMovesAndFailures) {
    t2::Dispatch dib = random_dib(), pal("TAVOLIN2.cPalette");
    // the handler is released with the sink once the connection has gone
    auto token = std::make_shared<int>(0);
    int calls = 0, second = 0;
    {
        t2::Connection a(pal, DIID___cPalette, [token, &calls](DISPID, const std::vector<t2::Variant>&) { ++calls; });
        EXPECT_EQ(token.use_count(), 2);
        t2::Connection moved(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_TRUE(moved);
        // a second connection on the same point, whose handler throws: the others still hear every event
        t2::Connection b(pal, DIID___cPalette, [&second](DISPID, const std::vector<t2::Variant>&) {
            ++second;
            throw std::runtime_error("handler failure");
        });
        EXPECT_NE(b.cookie(), moved.cookie());
        pal.call("CreateOptimal", dib, 16, 6);
        EXPECT_GE(calls, 3);
        EXPECT_EQ(second, calls);
        a = std::move(b);  // `a` takes over b's connection
        EXPECT_FALSE(b);
        a.disconnect();
        EXPECT_FALSE(a);
        calls = second = 0;
        pal.call("CreateOptimal", dib, 16, 6);
        EXPECT_GE(calls, 3);
        EXPECT_EQ(second, 0);
    }
    EXPECT_EQ(token.use_count(), 1);

    struct Case {
        const char* what;
        IUnknown* source;
        const IID& events;
        HRESULT status;
    } refused[] = {
        {"an object without events", dib.object(), DIID___cPalette, E_NOINTERFACE},
        {"another class's events", pal.object(), DIID___GIF, CONNECT_E_NOCONNECTION},
        {"no object", nullptr, DIID___cPalette, T2_ERROR_STATUS(91)},
    };
    for (const Case& c : refused) {
        try {
            t2::Connection x(c.source, c.events, [](DISPID, const std::vector<t2::Variant>&) {});
            ADD_FAILURE() << c.what << ": connected";
        } catch (const t2::ComError& e) {
            EXPECT_EQ(e.hresult(), c.status) << c.what << ": " << e.description();
        }
    }
}

}  // namespace
