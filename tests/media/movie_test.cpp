// MovieModule through the simulated channel: command texts, the shared reply
// buffer, readings, the size split, positions and relative moves, timeOut.
#include <gtest/gtest.h>

#include "media/size_split.hpp"
#include "platform/mci/errors.hpp"
#include "platform/mci/mci.hpp"
#include "platform/pump.hpp"
#include "support/recorder.hpp"

using namespace t2;

namespace {

class MovieTest : public ::testing::Test {
protected:
    void SetUp() override {
        mci::use_simulation(true);
        mci::close_all();
        mci::MediaInfo clip;
        clip.length_ms = 125999;
        clip.fps_milli = 29970;
        clip.width = 640;
        clip.height = 480;
        clip.video = true;
        mci::simulate_media("C:\\clips\\a.mpg", clip);
        mci::log_commands(&log);
        d = t2test::create(CLSID_MovieModule);
        m = Object(d.get());
        m.put(u"Filename", Variant(u"C:\\clips\\a.mpg"));
    }
    void TearDown() override {
        mci::log_commands(nullptr);
        mci::close_all();
    }
    std::vector<std::string> take() { return std::exchange(log, {}); }
    Long error() { return m.get(u"Error").to_long(); }
    std::vector<std::string> log;
    ComPtr<IDispatch> d;
    Object m;
};

TEST_F(MovieTest, OpeningQuotesTheNameOnce) {
    m.call(u"openMovie");
    EXPECT_EQ(take(),
              (std::vector<std::string>{"close movie", "open \"C:\\clips\\a.mpg\" type mpegvideo alias movie"}));
    EXPECT_EQ(m.get(u"Filename").to_string(), u"\"C:\\clips\\a.mpg\"");
    EXPECT_EQ(error(), 0);
    m.call(u"openMovie");  // again: the quoted name is not quoted twice
    EXPECT_EQ(take().back(), "open \"C:\\clips\\a.mpg\" type mpegvideo alias movie");
    EXPECT_EQ(error(), 0);
    Variant hwnd(Long{1234}), style(u"child");
    m.call(u"openMovieWindow", {Variant::by_ref(&hwnd.raw()), Variant::by_ref(&style.raw())});
    EXPECT_EQ(take().back(), "open \"C:\\clips\\a.mpg\" type mpegvideo alias movie parent 1234 style child ");
}

TEST_F(MovieTest, ActionCommandTexts) {
    m.call(u"openMovie");
    take();
    const std::pair<const char16_t*, const char*> actions[] = {
        {u"playMovie", "play movie"},
        {u"pauseMovie", "pause movie"},
        {u"resumeMovie", "resume movie"},
        {u"stopMovie", "stop movie"},
        {u"playFullScreen", "play movie fullscreen"},
        {u"minimizeMovie", "window movie state minimized"},
        {u"hideMovie", "window movie state hide"},
        {u"showMovie", "window movie state show"},
        {u"restoreMovie", "window movie state restore"},
        {u"restoreSizeDefault", "put movie window"},
        {u"setVideoOff", "set all video off"},
        {u"setVideoOn", "set all video on"},
        {u"setAudioOff", "set movie audio all off"},
        {u"setAudioOn", "set movie audio all on"},
        {u"setLeftOff", "set movie audio left off"},
        {u"setRightOff", "set movie audio right off"},
        {u"setLeftOn", "set movie audio left on"},
        {u"setRightOn", "set movie audio right on"},
    };
    for (auto& [member, text] : actions) {
        EXPECT_TRUE(m.call(member).is_empty());
        EXPECT_EQ(take(), (std::vector<std::string>{text}));
        EXPECT_EQ(error(), 0) << text;
    }
    Variant l(Long{-5}), t(Long{20}), w(Long{320}), h(Long{240});
    m.call(u"sizeLocateMovie", {Variant::by_ref(&l.raw()), Variant::by_ref(&t.raw()), Variant::by_ref(&w.raw()),
                                Variant::by_ref(&h.raw())});
    EXPECT_EQ(take().back(), "put movie window at -5 20 320 240");
    Variant v(Long{-1});
    m.call(u"stepFrames", {Variant::by_ref(&v.raw())});
    EXPECT_EQ(take().back(), "step movie by -1");
    m.call(u"setDoorOpen");
    EXPECT_EQ(take().back(), "set cdaudio door open");
    EXPECT_EQ(error(), 276);  // no disc drive: not ready
    m.call(u"restartMovie");
    EXPECT_EQ(take(), (std::vector<std::string>{"seek movie to start", "play movie"}));
    m.call(u"closeMovie");
    EXPECT_EQ(take().back(), "close all");
}

TEST_F(MovieTest, QueriesAndReadings) {
    m.call(u"openMovie");
    EXPECT_EQ(m.call(u"getFramePerSecRate").to_long(), 29);  // 29970 / 1000, remainder dropped
    EXPECT_EQ(m.call(u"getNominalFrameRate").to_long(), 29970);
    EXPECT_EQ(m.call(u"getLengthInSec").to_long(), 125);
    EXPECT_EQ(m.call(u"getLengthInMS").to_long(), 125999);
    EXPECT_EQ(m.call(u"getFormatLength").to_string(), u"2:06");
    take();
    m.call(u"getPositionInFrames");
    EXPECT_EQ(take(), (std::vector<std::string>{"set movie time format frames wait", "status movie position"}));
    m.call(u"getPositionInMS");
    EXPECT_EQ(take(), (std::vector<std::string>{"set movie time format ms", "status movie position wait"}));
    String status = m.call(u"getStatus").to_string();
    ASSERT_EQ(status.size(), 128u);
    EXPECT_EQ(status.substr(0, 8), String(u"Stopped\0", 8));
    m.call(u"playMovie");
    EXPECT_TRUE(m.call(u"isMoviePlaying").to_bool());
    EXPECT_EQ(m.call(u"getStatus").to_string().substr(0, 7), u"Playing");
    EXPECT_EQ(m.call(u"getVolume").to_long(), 1000);
    EXPECT_EQ(m.call(u"getRightVolume").to_long(), 1000);
    String size = m.call(u"getDefaultSize").to_string();
    EXPECT_EQ(size.substr(0, 12), String(u"0 0 640 480\0", 12));
    // the shared buffer keeps the tail of longer answers behind a shorter one
    String longer = m.call(u"getDeviceName").to_string();
    String shorter = m.call(u"getAudioStatus").to_string();
    size_t n = longer.find(u'\0');
    ASSERT_GT(n, 3u);
    EXPECT_EQ(shorter.substr(0, 3), String(u"on\0", 3));
    EXPECT_EQ(shorter.substr(3, n - 3), longer.substr(3, n - 3));
    String err = m.call(u"checkError").to_string();
    ASSERT_EQ(err.size(), 255u);
    EXPECT_EQ(err.back(), u' ');
}

TEST_F(MovieTest, AFreshObjectWithoutADevice) {
    EXPECT_EQ(m.call(u"getDeviceName").to_string(), String(128, u'\0'));
    EXPECT_EQ(error(), 263);
    EXPECT_EQ(m.call(u"getVolume").to_long(), 0);
    EXPECT_THROW(m.call(u"getRightVolume"), Error);
    EXPECT_FALSE(m.call(u"isMoviePlaying").to_bool());
}

TEST_F(MovieTest, SizeSplit) {
    m.call(u"openMovie");
    Variant w(Long{-1}), h(Long{-1}), l(Long{7}), t(Long{8});
    m.call(u"extractDefaultMovieSize", {Variant::by_ref(&w.raw()), Variant::by_ref(&h.raw())});
    EXPECT_EQ(w.to_long(), 640);
    EXPECT_EQ(h.to_long(), 480);
    Variant sl(Long{10}), st(Long{20}), sw(Long{320}), sh(Long{240});
    m.call(u"sizeLocateMovie", {Variant::by_ref(&sl.raw()), Variant::by_ref(&st.raw()), Variant::by_ref(&sw.raw()),
                                Variant::by_ref(&sh.raw())});
    m.call(u"extractCurrentMovieSize", {Variant::by_ref(&l.raw()), Variant::by_ref(&t.raw()), Variant::by_ref(&w.raw()),
                                        Variant::by_ref(&h.raw())});
    EXPECT_EQ(w.to_long(), 320);
    EXPECT_EQ(h.to_long(), 240);
    EXPECT_EQ(l.to_long(), 7);  // left and top are never written
    EXPECT_EQ(t.to_long(), 8);
    // a reply without spaces (a new object's buffer, its query refused): width 0, height skipped
    mci::close_all();
    auto fresh = t2test::create(CLSID_MovieModule);
    Variant w2(Long{-1}), h2(Long{-1});
    Object(fresh.get()).call(u"extractDefaultMovieSize", {Variant::by_ref(&w2.raw()), Variant::by_ref(&h2.raw())});
    EXPECT_EQ(w2.to_long(), 0);
    EXPECT_EQ(h2.to_long(), -1);
}

// Answers of every shape: a step that fails is skipped and leaves the caller's value.
TEST(SizeSplit, AnswersOfEveryShape) {
    const struct {
        const char16_t* answer;
        Long width, height;  // -1: left as the caller had it
    } cases[] = {
        {u"0 0 640 480", 640, 480},
        {u"1 2 3.6 4.5", 4, 4},  // rounded half to even
        {u"640 480", 640, 480},  // no second space: the whole answer is split
        {u"5 ", 5, 0},           // ... so the width is the first part, the height empty
        {u"0 0 640", 0, -1},     // no space after the width: no height
        {u"", 0, -1},
        {u"0 0 99999999999 7", -1, 7},  // the width overflows a Long and is skipped
    };
    for (const auto& c : cases) {
        Long w = -1, h = -1;
        split_size_answer(c.answer, w, h);
        EXPECT_EQ(w, c.width) << to_utf8(c.answer);
        EXPECT_EQ(h, c.height) << to_utf8(c.answer);
    }
}

TEST_F(MovieTest, PositionsAndRelativeMoves) {
    m.call(u"openMovie");
    m.call(u"playMovie");
    take();
    Variant s(Long{5});
    m.call(u"setPositionTo", {Variant::by_ref(&s.raw())});
    EXPECT_EQ(s.to_long(), 5000);
    auto sent = take();
    EXPECT_EQ(sent, (std::vector<std::string>{"status movie mode", "play movie from 5000"}));
    m.call(u"pauseMovie");
    take();
    Variant s2(Long{5});
    m.call(u"setPositionTo", {Variant::by_ref(&s2.raw())});
    EXPECT_EQ(take(), (std::vector<std::string>{"status movie mode", "status movie mode", "seek movie to 5000"}));
    Variant big(Long{3000000});
    EXPECT_THROW(m.call(u"setPositionTo", {Variant::by_ref(&big.raw())}), Error);
    EXPECT_EQ(big.to_long(), 3000000);
    EXPECT_TRUE(take().empty());  // nothing sent
    // rewind past the start: the negative target goes out, Error holds the refusal
    mci::mciSendStringA("seek movie to 3000", nullptr, 0, 0);
    take();
    Variant back(Long{5000});
    m.call(u"rewindByMS", {Variant::by_ref(&back.raw())});
    sent = take();
    EXPECT_EQ(sent.back(), "play movie from -2000");
    EXPECT_EQ(error(), 282);
    EXPECT_EQ(back.to_long(), 5000);
    Variant ten(Long{10});
    m.call(u"forwardBySeconds", {Variant::by_ref(&ten.raw())});
    EXPECT_EQ(take().back(), "play movie from 13000");
    Variant f(Long{2});
    m.call(u"forwardByFrames", {Variant::by_ref(&f.raw())});
    sent = take();
    EXPECT_EQ(sent.front(), "set movie time format frames");
}

// setPositionTo kept the status query's code in Error, so a refused seek read as 0.
TEST_F(MovieTest, SetPositionToKeepsItsOwnCodeInError) {
    m.call(u"openMovie");
    Variant frames(Long{10});
    m.call(u"rewindByFrames", {Variant::by_ref(&frames.raw())});  // leaves the time format in frames
    m.call(u"pauseMovie");
    struct Case {
        Long second;
        Long error;  // 8000 frames lie past the clip's 3,776
    } cases[] = {{8, mci::kOutOfRange}, {1, mci::kOk}};
    for (const Case& c : cases) {
        Variant s(c.second);
        m.call(u"setPositionTo", {Variant::by_ref(&s.raw())});
        EXPECT_EQ(take().back(), "seek movie to " + std::to_string(c.second * 1000));
        EXPECT_EQ(error(), c.error) << c.second;
    }
    m.call(u"playMovie");
    Variant s(Long{8});
    m.call(u"setPositionTo", {Variant::by_ref(&s.raw())});
    EXPECT_EQ(take().back(), "play movie from 8000");
    EXPECT_EQ(error(), mci::kOutOfRange);
}

// A failed status query left "playing" in the shared buffer, so isMoviePlaying read True after closeMovie.
TEST_F(MovieTest, IsMoviePlayingIsFalseWithoutAMovie) {
    m.call(u"openMovie");
    m.call(u"playMovie");
    ASSERT_TRUE(m.call(u"isMoviePlaying").to_bool());
    m.call(u"closeMovie");
    EXPECT_FALSE(m.call(u"isMoviePlaying").to_bool());
    EXPECT_EQ(error(), mci::kInvalidDeviceName);
}

TEST_F(MovieTest, RelativeMovesReadThePositionBeforeTheyOverflow) {
    m.call(u"openMovie");
    const std::pair<const char16_t*, Long> moves[] = {
        {u"forwardBySeconds", 3000000}, {u"rewindBySeconds", 3000000}, {u"forwardByMS", 2147483647}};
    for (auto& [member, amount] : moves) {
        take();
        Variant v(amount);
        if (String(member) == u"forwardByMS") mci::mciSendStringA("seek movie to 10", nullptr, 0, 0);
        take();
        EXPECT_THROW(m.call(member, {Variant::by_ref(&v.raw())}), Error);
        EXPECT_EQ(take(), (std::vector<std::string>{"set movie time format ms", "set movie time format ms",
                                                    "status movie position wait"}));
    }
}

TEST_F(MovieTest, CloseMovieClosesTheSoundFilesToo) {
    mci::MediaInfo song;
    song.length_ms = 10000;
    mci::simulate_media("s.mp3", song);
    auto p = t2test::create(CLSID_MP3Class);
    Object mp3(p.get());
    mp3.put(u"MP3File", Variant(u"s.mp3"));
    mp3.call(u"MP3Play");
    m.call(u"openMovie");
    m.call(u"closeMovie");
    char buf[16];
    EXPECT_EQ(mci::mciSendStringA("status \"s.mp3\" mode", buf, sizeof buf, 0), 263u);
}

// timeOut against a clock of the test's own: each turn of the wait gives the
// host's DoEvents hook its turn, and the hook moves the clock on.
double g_clock = 0;
int g_turns = 0;
double test_clock() { return g_clock; }
void tick(void*) {
    ++g_turns;
    g_clock += 0.0625;                       // a step a double holds exactly
    if (g_clock >= 86400) g_clock -= 86400;  // midnight
}

TEST_F(MovieTest, TimeOutWaitsOnTheClockAndGivesEachTurnAway) {
    platform::set_timer_source(test_clock);
    T2SetDoEventsHook(tick, nullptr);
    Variant bad(u"soon");
    EXPECT_THROW(m.call(u"timeOut", {Variant::by_ref(&bad.raw())}), Error);
    struct {
        double start;
        const char16_t* duration;
        int turns;
    } cases[] = {
        {100.25, u"0", 0},     // nothing to wait for
        {100.25, u"2", 28},    // from the nearest whole second (100) to 102
        {100.75, u"2", 36},    // from 101 to 103
        {100.5, u"2", 24},     // half a second rounds to even: from 100
        {86399.25, u"1", 12},  // 86399 to 86400, the clock starting again at midnight
    };
    for (auto& c : cases) {
        g_clock = c.start;
        g_turns = 0;
        Variant d(c.duration);
        m.call(u"timeOut", {Variant::by_ref(&d.raw())});
        EXPECT_EQ(g_turns, c.turns) << c.start;
    }
    T2SetDoEventsHook(nullptr, nullptr);
    platform::set_timer_source(nullptr);
}

}  // namespace
