// MP3Class through the simulated channel: the exact command texts of every
// member, and the readings of the replies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "platform/mci/mci.hpp"
#include "support/recorder.hpp"

using namespace t2;

namespace {

class Mp3 : public ::testing::Test {
protected:
    void SetUp() override {
        mci::use_simulation(true);
        mci::close_all();
        mci::MediaInfo song;
        song.length_ms = 200000;
        mci::simulate_media("song.mp3", song);
        mci::log_commands(&log);
        d = t2test::create(CLSID_MP3Class);
        o = Object(d.get());
    }
    void TearDown() override {
        mci::log_commands(nullptr);
        mci::close_all();
    }
    std::vector<std::string> take() { return std::exchange(log, {}); }
    std::vector<std::string> log;
    ComPtr<IDispatch> d;
    Object o;
};

TEST_F(Mp3, PlayPauseResumeStopCommands) {
    o.put(u"MP3File", Variant(u" song.mp3 "));
    o.call(u"MP3Play");
    EXPECT_EQ(take(), (std::vector<std::string>{"close ", "open \"song.mp3\"", "play \"song.mp3\""}));
    EXPECT_TRUE(o.call(u"MP3Playing").to_bool());
    o.call(u"MP3Pause");
    o.call(u"MP3Resume");
    o.call(u"MP3Stop");
    EXPECT_EQ(take(), (std::vector<std::string>{"status \"song.mp3\" mode", "Stop \"song.mp3\"", "play \"song.mp3\"",
                                                "close \"song.mp3\""}));
    // after Stop the device is gone: Resume does nothing visible
    o.call(u"MP3Resume");
    EXPECT_FALSE(o.call(u"MP3Playing").to_bool());
    EXPECT_EQ(take().back(), "status \"song.mp3\" mode");
}

// A failed status query left the buffer's last answer "playing" standing, so
// MP3Playing read True for a stopped device or a missing file.
TEST_F(Mp3, PlayingIsFalseWhenTheStatusQueryFails) {
    const std::pair<const char*, void (*)(Object&)> cases[] = {
        {"after MP3Stop", [](Object& p) { p.call(u"MP3Stop"); }},
        {"a missing file next",
         [](Object& p) {
             p.put(u"MP3File", Variant(u"/no/such/file.mp3"));
             p.call(u"MP3Play");
         }},
        {"the device closed under it", [](Object&) { mci::close_all(); }},
    };
    for (const auto& [what, then] : cases) {
        o.put(u"MP3File", Variant(u"song.mp3"));
        o.call(u"MP3Play");
        ASSERT_TRUE(o.call(u"MP3Playing").to_bool()) << what;  // the buffer now starts with "playing"
        then(o);
        EXPECT_FALSE(o.call(u"MP3Playing").to_bool()) << what;
    }
}

TEST_F(Mp3, PlayingBeforeAnythingElseAsksAnEmptyName) {
    EXPECT_FALSE(o.call(u"MP3Playing").to_bool());
    EXPECT_EQ(take(), (std::vector<std::string>{"status  mode"}));
}

TEST_F(Mp3, LengthCommandsAroundTheTimeFormat) {
    o.put(u"MP3File", Variant(u"song.mp3"));
    o.call(u"MP3Play");
    take();
    EXPECT_EQ(o.call(u"MP3Duration").to_string(), u"03:20");
    EXPECT_EQ(take(), (std::vector<std::string>{"set \"song.mp3\" time format ms", "status \"song.mp3\" length",
                                                "set \"song.mp3\" time format frames"}));
    EXPECT_EQ(o.call(u"MP3DurationInSec").to_double(), 200);
    EXPECT_EQ(o.call(u"MP3DurationInMs").to_double(), 200000);
    take();
    o.call(u"MP3PositionInMS");  // positions set milliseconds again after a length member
    EXPECT_EQ(take(),
              (std::vector<std::string>{"set \"song.mp3\" time format milliseconds", "status \"song.mp3\" position"}));
}

TEST_F(Mp3, ChangePositionMultipliesTheCallersVariable) {
    o.put(u"MP3File", Variant(u"song.mp3"));
    o.call(u"MP3Play");
    take();
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = 12;
    o.call(u"MP3ChangePositionTo", {Variant::by_ref(&v)});
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 12000);
    auto sent = take();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0], "set \"song.mp3\" time format milliseconds");
    EXPECT_EQ(sent[2], "play \"song.mp3\" from 12000");  // playing: play from
    o.call(u"MP3Pause");
    take();
    VARIANT i;
    VariantInit(&i);
    i.vt = VT_I2;
    i.iVal = 40;
    o.call(u"MP3ChangePositionTo", {Variant::by_ref(&i)});
    EXPECT_EQ(i.vt, VT_I4);  // the Integer product widened to a Long
    EXPECT_EQ(i.lVal, 40000);
    sent = take();
    EXPECT_EQ(sent.back(), "seek \"song.mp3\" to 40000");  // paused: seek
    VARIANT t;
    VariantInit(&t);
    t.vt = VT_BSTR;
    t.bstrVal = SysAllocString(u"1.5");
    o.call(u"MP3ChangePositionTo", {Variant::by_ref(&t)});
    EXPECT_EQ(t.vt, VT_R8);
    EXPECT_EQ(t.dblVal, 1500);
    VariantClear(&t);
    t.vt = VT_BSTR;
    t.bstrVal = SysAllocString(u"soon");
    EXPECT_TRUE(o.call(u"MP3ChangePositionTo", {Variant::by_ref(&t)}).is_empty());  // skipped, not an error
    EXPECT_EQ(bstr_view(t.bstrVal), u"soon");
    VariantClear(&t);
}

TEST_F(Mp3, PositionReadings) {
    struct {
        int64_t ms;
        const char16_t* in_sec;
        VARTYPE sec_type;
        const char16_t* text;
    } cases[] = {
        {4600, u"05", VT_BSTR, u"0:05"}, {9499, u"09", VT_BSTR, u"0:09"},      {9500, u"10", VT_R8, u"0:10"},
        {10500, u"10", VT_R8, u"0:10"},  {7000, u"07", VT_BSTR, u"0:07"},      {59000, u"59", VT_R8, u"0:59"},
        {65000, u"65", VT_R8, u"01:05"}, {6000000, u"6000", VT_R8, u"100:00"},
    };
    mci::MediaInfo longer;
    longer.length_ms = 7000000;
    mci::simulate_media("long.mp3", longer);
    o.put(u"MP3File", Variant(u"long.mp3"));
    o.call(u"MP3Play");
    o.call(u"MP3Pause");
    for (auto& c : cases) {
        std::string cmd = "seek \"long.mp3\" to " + std::to_string(c.ms);
        mci::mciSendStringA("set \"long.mp3\" time format ms", nullptr, 0, 0);
        ASSERT_EQ(mci::mciSendStringA(cmd.c_str(), nullptr, 0, 0), 0u);
        Variant sec = o.call(u"MP3PositionInSec");
        EXPECT_EQ(sec.type(), c.sec_type) << c.ms;
        EXPECT_EQ(sec.to_string(), c.in_sec) << c.ms;
        EXPECT_EQ(o.call(u"MP3Position").to_string(), c.text) << c.ms;
        EXPECT_EQ(o.call(u"MP3PositionInMS").to_double(), static_cast<double>(c.ms));
    }
}

TEST_F(Mp3, DurationTexts) {
    struct {
        int64_t ms;
        const char16_t* text;
    } cases[] = {{0, u"00:00"}, {59499, u"00:59"}, {59500, u"01:00"}, {3723000, u"1:02:03"}, {36000000, u"10:00:00"}};
    int n = 0;
    for (auto& c : cases) {
        std::string path = "len" + std::to_string(n++) + ".mp3";
        mci::MediaInfo m;
        m.length_ms = c.ms;
        mci::simulate_media(path, m);
        o.put(u"MP3File", Variant(from_utf8(path)));
        o.call(u"MP3Play");
        EXPECT_EQ(o.call(u"MP3Duration").to_string(), c.text) << c.ms;
    }
}

TEST_F(Mp3, ReadingsWithoutAnAnswer) {
    o.put(u"MP3File", Variant(u"nothing-open.mp3"));
    EXPECT_EQ(o.call(u"MP3PositionInSec").to_string(), u"0");
    EXPECT_EQ(o.call(u"MP3Position").to_string(), u"0:00");
    EXPECT_TRUE(o.call(u"MP3DurationInSec").is_empty());
    EXPECT_EQ(o.call(u"MP3PositionInMS").to_double(), 0);
    EXPECT_EQ(o.call(u"MP3Duration").to_string(), u"00:00");
}

TEST_F(Mp3, PlayingIsAPrefixTest) {
    mci::MediaInfo m;
    m.length_ms = 1000;
    mci::simulate_media("short.mp3", m);
    o.put(u"MP3File", Variant(u"short.mp3"));
    o.call(u"MP3Play");
    EXPECT_TRUE(o.call(u"MP3Playing").to_bool());
    mci::advance_clock(2000);  // played to its end
    EXPECT_FALSE(o.call(u"MP3Playing").to_bool());
    EXPECT_EQ(o.call(u"MP3PositionInMS").to_double(), 1000);
}

TEST_F(Mp3, ChangePositionMultipliesEveryNumericType) {
    o.put(u"MP3File", Variant(u"song.mp3"));
    o.call(u"MP3Play");
    o.call(u"MP3Pause");
    struct Case {
        VARTYPE vt;
        int64_t value;
        VARTYPE product;
    };
    const Case cases[] = {
        {VT_I1, 12, VT_I4},   {VT_UI2, 12, VT_I4}, {VT_UI4, 12, VT_I4}, {VT_INT, 12, VT_I4},
        {VT_UINT, 12, VT_I4}, {VT_I8, 12, VT_I4},  {VT_UI8, 12, VT_I4}, {VT_I8, 3000000, VT_R8},
    };
    for (const Case& c : cases) {
        VARIANT v;
        VariantInit(&v);
        v.vt = c.vt;
        v.llVal = c.value;  // the low bytes hold the smaller types
        take();
        o.call(u"MP3ChangePositionTo", {Variant::by_ref(&v)});
        EXPECT_EQ(v.vt, c.product) << c.vt;
        EXPECT_EQ(Variant(v).to_double(), c.value * 1000.0) << c.vt;
        if (c.value == 12) {
            EXPECT_EQ(take().back(), "seek \"song.mp3\" to 12000") << c.vt;
        }
    }
    VARIANT cy;
    VariantInit(&cy);
    cy.vt = VT_CY;
    cy.cyVal.int64 = 125000;  // 12.5
    o.call(u"MP3ChangePositionTo", {Variant::by_ref(&cy)});
    EXPECT_EQ(cy.vt, VT_CY);
    EXPECT_EQ(cy.cyVal.int64, 125000000);
    VARIANT date;
    VariantInit(&date);
    date.vt = VT_DATE;
    date.date = 0.5;
    o.call(u"MP3ChangePositionTo", {Variant::by_ref(&date)});
    EXPECT_EQ(date.vt, VT_R8);
    EXPECT_EQ(date.dblVal, 500);
}

TEST_F(Mp3, ChangePositionBeforeTheStartMovesNothing) {
    o.put(u"MP3File", Variant(u"song.mp3"));
    o.call(u"MP3Play");
    Variant at(Long{7});
    o.call(u"MP3ChangePositionTo", {Variant::by_ref(&at.raw())});
    Variant before(-0.001);
    o.call(u"MP3ChangePositionTo", {Variant::by_ref(&before.raw())});
    const auto sent = take();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "play \"song.mp3\" from -1"), sent.end());
    EXPECT_EQ(o.call(u"MP3PositionInMS").to_double(), 7000);  // refused: still where it was
}

TEST_F(Mp3, OpenPlayListOnAFolderOrAMissingFileGoesOnSilently) {
    // the read fails before the list is touched, so no list is needed to see it
    for (const char16_t* name : {u"/", u"/no/such/list.m3u"}) {
        Variant r = o.call(u"MP3OpenPlayList", {Variant(String(name)), Variant()});
        EXPECT_TRUE(r.is_empty());
    }
}

TEST_F(Mp3, FileNamesOutsideAsciiOpen) {
    const std::string path = testing::TempDir() + "/caf\xc3\xa9.mp3";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    o.put(u"MP3File", Variant(from_utf8(path)));
    o.call(u"MP3Play");
    EXPECT_TRUE(o.call(u"MP3Playing").to_bool());
    o.call(u"MP3Stop");
    std::remove(path.c_str());
}

}  // namespace
