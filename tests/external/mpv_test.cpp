// Real playback through libmpv, headless, of a tone that ffmpeg makes for the test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cmath>
#include <fstream>
#include <thread>
#include <vector>

#include <xcb/xcb.h>

#include "platform/mci/errors.hpp"
#include "platform/mci/mci.hpp"
#include "external/media_fixtures.hpp"
#include "support/recorder.hpp"

using namespace t2;

namespace {

using t2test::make_media;
using t2test::output_of;

std::string make_tone() { return make_media("t2-tone.mp3", "-i sine=frequency=440:duration=3 -ac 2"); }
std::string make_clip() {
    return make_media("t2-clip.mpg", "-i testsrc=size=352x240:rate=25:duration=3 -c:v mpeg1video");
}

TEST(Mpv, PlaysPausesSeeksAndCloses) {
    if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
    std::string tone = make_tone();
    if (tone.empty()) GTEST_SKIP() << "ffmpeg is not installed (scripts/deps.sh installs it)";
    mci::use_simulation(false);
    auto d = t2test::create(CLSID_MP3Class);
    Object mp3(d.get());
    mp3.put(u"MP3File", Variant(from_utf8(tone)));
    mp3.call(u"MP3Play");
    EXPECT_TRUE(mp3.call(u"MP3Playing").to_bool());
    double length = mp3.call(u"MP3DurationInMs").to_double();
    EXPECT_NEAR(length, 3000, 150);
    double a = mp3.call(u"MP3PositionInMS").to_double();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    double b = mp3.call(u"MP3PositionInMS").to_double();
    EXPECT_GT(b, a + 150);  // it advances in real time
    mp3.call(u"MP3Pause");
    EXPECT_FALSE(mp3.call(u"MP3Playing").to_bool());
    double held = mp3.call(u"MP3PositionInMS").to_double();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_NEAR(mp3.call(u"MP3PositionInMS").to_double(), held, 30);  // pause keeps the position
    Variant second(Long{2});
    mp3.call(u"MP3ChangePositionTo", {Variant::by_ref(&second.raw())});
    EXPECT_NEAR(mp3.call(u"MP3PositionInMS").to_double(), 2000, 60);  // seek moves it
    EXPECT_EQ(mci::mciSendStringA("close all", nullptr, 0, 0), 0u);
    char mode[32] = {};
    std::string status = "status \"" + tone + "\" mode";
    EXPECT_EQ(mci::mciSendStringA(status.c_str(), mode, sizeof mode, 0), 263u);  // closed
    mci::use_simulation(true);
}

}  // namespace

namespace {

TEST(Mpv, MovieLengthsRatesSizeAndMoves) {
    if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
    std::string clip = make_clip();
    if (clip.empty()) GTEST_SKIP() << "ffmpeg is not installed (scripts/deps.sh installs it)";
    mci::use_simulation(false);
    auto d = t2test::create(CLSID_MovieModule);
    Object movie(d.get());
    movie.put(u"Filename", Variant(from_utf8(clip)));
    movie.call(u"openMovie");
    ASSERT_EQ(movie.get(u"Error").to_long(), 0);
    EXPECT_NEAR(movie.call(u"getLengthInMS").to_long(), 3000, 100);
    EXPECT_NEAR(movie.call(u"getLengthInFrames").to_long(), 75, 3);
    EXPECT_EQ(movie.call(u"getFramePerSecRate").to_long(), 25);
    EXPECT_EQ(movie.call(u"getDefaultSize").to_string().substr(0, 13), String(u"0 0 352 240\0", 12) + u'\0');
    movie.call(u"playMovie");
    EXPECT_TRUE(movie.call(u"isMoviePlaying").to_bool());
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    movie.call(u"pauseMovie");
    Long held = movie.call(u"getPositionInMS").to_long();
    EXPECT_GT(held, 150);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_NEAR(movie.call(u"getPositionInMS").to_long(), held, 40);
    Variant s(Long{2});
    movie.call(u"setPositionTo", {Variant::by_ref(&s.raw())});  // paused and in milliseconds: a seek
    EXPECT_NEAR(movie.call(u"getPositionInMS").to_long(), 2000, 60);
    movie.call(u"getPositionInFrames");
    Variant step(Long{5});
    Long before = movie.call(u"getPositionInFrames").to_long();
    movie.call(u"stepFrames", {Variant::by_ref(&step.raw())});
    EXPECT_NEAR(movie.call(u"getPositionInFrames").to_long(), before + 5, 1);
    // closeMovie also closes a sound file of MP3Class
    std::string tone = make_tone();
    auto p = t2test::create(CLSID_MP3Class);
    Object mp3(p.get());
    mp3.put(u"MP3File", Variant(from_utf8(tone)));
    mp3.call(u"MP3Play");
    movie.call(u"closeMovie");
    char mode[32];
    EXPECT_EQ(mci::mciSendStringA(("status \"" + tone + "\" mode").c_str(), mode, sizeof mode, 0), 263u);
    mci::use_simulation(true);
}

}  // namespace

namespace {

// With a display (here a virtual X server) a movie gets a window of the
// channel's own, and openMovieWindow puts it inside the caller's window.
TEST(Mpv, MovieWindowsOwnAndInsideAParent) {
    if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
    t2test::VirtualDisplay x;
    if (!x.up()) GTEST_SKIP() << "Xvfb and xwininfo are not installed (scripts/deps.sh installs xvfb and x11-utils)";
    std::string clip = make_clip();
    if (clip.empty()) GTEST_SKIP() << "ffmpeg is not installed";
    mci::use_simulation(false);
    auto d = t2test::create(CLSID_MovieModule);
    Object movie(d.get());
    movie.put(u"Filename", Variant(from_utf8(clip)));
    movie.call(u"openMovie");
    ASSERT_EQ(movie.get(u"Error").to_long(), 0);
    std::string tree = x.info("-root -tree");
    auto at = tree.find("\"t2-clip.mpg - tavolin2\"");
    ASSERT_NE(at, std::string::npos) << tree;  // a window of its own, named by the file
    const std::string line = tree.substr(tree.rfind('\n', at) + 1);
    const Long parent = static_cast<Long>(std::stol(line.substr(line.find("0x")), nullptr, 16));
    const std::string before = x.info("-children -id " + std::to_string(parent));
    // a second movie inside that window (under another alias: the first one still holds movie)
    std::string open =
        "open \"" + clip + "\" type mpegvideo alias inner parent " + std::to_string(parent) + " style child ";
    ASSERT_EQ(mci::mciSendStringA(open.c_str(), nullptr, 0, 0), 0u);
    tree = x.info("-children -id " + std::to_string(parent));
    EXPECT_NE(tree.find("t2-clip.mpg - tavolin2"), std::string::npos) << before << tree;  // the inner movie's window
    mci::mciSendStringA("close inner", nullptr, 0, 0);  // the child first, then its parent
    mci::mciSendStringA("close all", nullptr, 0, 0);
    mci::use_simulation(true);
}

// Regression: openMovieWindow on a handle that is no window set Error 0, and the
// closeMovie after it ended the process (Xlib's default handler on BadGC); a movie
// inside a caller's window whose owner closed it ended the process at closeMovie
// (BadWindow).  The process lives on, each in its own child so an exit shows.
TEST(Mpv, XErrorsNeverEndTheProcess) {
    if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
    t2test::VirtualDisplay x;
    if (!x.up()) GTEST_SKIP() << "Xvfb and xwininfo are not installed (scripts/deps.sh installs xvfb and x11-utils)";
    std::string clip = make_clip();
    if (clip.empty()) GTEST_SKIP() << "ffmpeg is not installed";
    mci::use_simulation(false);
    // a handle that is no window is refused when it is given
    EXPECT_EXIT(
        {
            auto d = t2test::create(CLSID_MovieModule);
            Object movie(d.get());
            movie.put(u"Filename", Variant(from_utf8(clip)));
            movie.call(u"openMovieWindow", {Variant(Long{1234}), Variant(String(u"child"))});
            const Long error = movie.get(u"Error").to_long();
            movie.call(u"closeMovie");
            std::exit(error == 347 ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
    // the caller closes its window under the movie: later calls answer, close cleans up
    EXPECT_EXIT(
        {
            xcb_connection_t* c = xcb_connect(nullptr, nullptr);
            xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
            const xcb_window_t form = xcb_generate_id(c);
            xcb_create_window(c, XCB_COPY_FROM_PARENT, form, screen->root, 0, 0, 320, 240, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
            xcb_map_window(c, form);
            std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));  // a round trip
            const std::string open =
                "open \"" + clip + "\" type mpegvideo alias inner parent " + std::to_string(form) + " style child";
            if (mci::mciSendStringA(open.c_str(), nullptr, 0, 0) != 0) std::exit(4);
            mci::mciSendStringA("play inner", nullptr, 0, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            xcb_destroy_window(c, form);
            std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            char mode[64] = "";
            mci::mciSendStringA("status inner mode", mode, sizeof mode, 0);
            mci::mciSendStringA("window inner state hide", nullptr, 0, 0);
            mci::mciSendStringA("put inner window at 0 0 100 100", nullptr, 0, 0);
            const uint32_t closed = mci::mciSendStringA("close inner", nullptr, 0, 0);
            xcb_disconnect(c);
            std::exit(closed == 0 && *mode ? 0 : 5);
        },
        ::testing::ExitedWithCode(0), "");
    mci::use_simulation(true);
}

// The id of the movie window named after `file`, from the tree of the root window.
std::string movie_window(const t2test::VirtualDisplay& x, const std::string& file) {
    const std::string tree = x.info("-root -tree");
    const auto at = tree.find("\"" + file + " - tavolin2\"");
    if (at == std::string::npos) return {};
    const std::string line = tree.substr(tree.rfind('\n', at) + 1);
    return line.substr(line.find("0x"), line.find(' ', line.find("0x")) - line.find("0x"));
}

// A field of xwininfo's report, such as "Map State" or "Width".
std::string field(const std::string& report, const std::string& name) {
    const auto at = report.find(name + ": ");
    if (at == std::string::npos) return {};
    auto from = at + name.size() + 2;
    while (from < report.size() && report[from] == ' ') ++from;
    return report.substr(from, report.find('\n', from) - from);
}

TEST(Mpv, HideShowPlaceAndRestoreReachTheWindow) {
    if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
    t2test::VirtualDisplay x;
    if (!x.up()) GTEST_SKIP() << "Xvfb and xwininfo are not installed (scripts/deps.sh installs xvfb and x11-utils)";
    std::string clip = make_clip();
    if (clip.empty()) GTEST_SKIP() << "ffmpeg is not installed";
    mci::use_simulation(false);
    auto d = t2test::create(CLSID_MovieModule);
    Object movie(d.get());
    movie.put(u"Filename", Variant(from_utf8(clip)));
    movie.call(u"openMovie");
    ASSERT_EQ(movie.get(u"Error").to_long(), 0);
    const std::string id = movie_window(x, "t2-clip.mpg");
    ASSERT_FALSE(id.empty()) << x.info("-root -tree");
    auto report = [&] { return x.info("-id " + id); };
    EXPECT_EQ(field(report(), "Map State"), "IsViewable");
    movie.call(u"hideMovie");
    EXPECT_EQ(field(report(), "Map State"), "IsUnMapped");
    movie.call(u"showMovie");
    EXPECT_EQ(field(report(), "Map State"), "IsViewable");
    Variant l(Long{40}), t(Long{30}), w(Long{200}), h(Long{150});
    movie.call(u"sizeLocateMovie", {Variant::by_ref(&l.raw()), Variant::by_ref(&t.raw()), Variant::by_ref(&w.raw()),
                                    Variant::by_ref(&h.raw())});
    std::string r = report();
    EXPECT_EQ(field(r, "Absolute upper-left X"), "40");
    EXPECT_EQ(field(r, "Absolute upper-left Y"), "30");
    EXPECT_EQ(field(r, "Width"), "200");
    EXPECT_EQ(field(r, "Height"), "150");
    movie.call(u"restoreSizeDefault");
    r = report();
    EXPECT_EQ(field(r, "Width"), "352");
    EXPECT_EQ(field(r, "Height"), "240");
    EXPECT_EQ(movie.call(u"getCurrentSize").to_string().substr(0, 12), String(u"0 0 352 240\0", 12));
    movie.call(u"closeMovie");
    mci::use_simulation(true);
}

// Regression: `where destination` kept what was asked for: 0 0 320 240 after
// playFullScreen filled a 1280x1024 screen, -5 0 0 0 after sizeLocateMovie(-5,0,0,0).
TEST(Mpv, WhereDestinationIsTheWindowAsItIs) {
    if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
    t2test::VirtualDisplay x;
    if (!x.up()) GTEST_SKIP() << "Xvfb and xwininfo are not installed (scripts/deps.sh installs xvfb and x11-utils)";
    std::string clip = make_clip();
    if (clip.empty()) GTEST_SKIP() << "ffmpeg is not installed";
    mci::use_simulation(false);
    ASSERT_EQ(mci::mciSendStringA(("open \"" + clip + "\" type mpegvideo alias w").c_str(), nullptr, 0, 0), 0u);
    auto where = [] {
        char r[64] = "";
        mci::mciSendStringA("where w destination", r, sizeof r, 0);
        return std::string(r);
    };
    mci::mciSendStringA("put w window at 10 20 200 100", nullptr, 0, 0);
    EXPECT_EQ(where(), "10 20 200 100");
    mci::mciSendStringA("put w window at -5 0 0 0", nullptr, 0, 0);  // no size: the window stays as it was
    EXPECT_EQ(where(), "10 20 200 100");
    mci::mciSendStringA("play w fullscreen", nullptr, 0, 0);
    const std::string root = x.info("-root");
    EXPECT_EQ(where(), "0 0 " + field(root, "Width") + " " + field(root, "Height"));
    mci::mciSendStringA("close w", nullptr, 0, 0);
    mci::use_simulation(true);
}

// A picture file of ffmpeg's "ppm" kind (P6, 8 bits): width, height, RGB bytes.
struct Picture {
    int width = 0, height = 0;
    std::string rgb;
};
Picture read_ppm(const std::string& path) {
    Picture p;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int depth = 0;
    in >> magic >> p.width >> p.height >> depth;
    in.get();
    if (magic != "P6" || depth != 255) return {};
    p.rgb.resize(static_cast<size_t>(p.width) * p.height * 3);
    in.read(p.rgb.data(), static_cast<std::streamsize>(p.rgb.size()));
    return p;
}
double psnr(const Picture& a, const Picture& b) {
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        const double e = static_cast<unsigned char>(a.rgb[i]) - static_cast<unsigned char>(b.rgb[i]);
        sum += e * e;
    }
    const double mse = sum / static_cast<double>(a.rgb.size());
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}

// How like frames n-1, n and n+1 of `clip` (PSNR, dB) the window `id` looks now.
struct Likeness {
    double before = 0, at = 0, after = 0;
};
Likeness grab_against_frames(const t2test::VirtualDisplay& x, const std::string& id, const std::string& clip, int n) {
    const std::string dir = testing::TempDir();
    const std::string grab = dir + "/t2-grab.xwd", shown = dir + "/t2-shown.ppm", ref = dir + "/t2-ref.ppm";
    if (std::system(("xwd -silent -id " + id + " -display " + x.name() + " > " + grab).c_str()) != 0 ||
        std::system(("ffmpeg -loglevel error -y -i " + grab + " -pix_fmt rgb24 -f image2 -c:v ppm " + shown).c_str()) !=
            0)
        return {};
    const Picture a = read_ppm(shown);
    auto like = [&](int k) {
        const std::string cmd = "ffmpeg -loglevel error -y -i " + clip + " -vf 'select=eq(n\\," + std::to_string(k) +
                                ")' -vsync 0 -frames:v 1 -pix_fmt rgb24 -f image2 -c:v ppm " + ref;
        if (k < 0 || std::system(cmd.c_str()) != 0) return 0.0;
        const Picture b = read_ppm(ref);
        return b.width == a.width && b.height == a.height ? psnr(a, b) : 0.0;
    };
    return {like(n - 1), like(n), like(n + 1)};
}

// The same once the window has been drawn: a player on a busy machine may take a while to
// put its first picture up, and a grab before that shows the window's background.
Likeness drawn_against_frames(const t2test::VirtualDisplay& x, const std::string& id, const std::string& clip, int n) {
    Likeness seen;
    for (int i = 0; i < 40; ++i) {
        seen = grab_against_frames(x, id, clip, n);
        if (std::max({seen.before, seen.at, seen.after}) > 25) break;  // one of them is on screen
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return seen;
}

// Frames with their own colours in smooth ramps, so frames tell apart and no sharp edge turns
// on how a converter smooths colour.
std::string make_ramps(const std::string& name, const std::string& rate, int frames) {
    return make_media(name,
                      "-i \"nullsrc=size=352x240:rate=" + rate +
                          ",geq=lum='mod(X/2+N*37\\,200)+20':cb='mod(Y/2+N*53\\,200)+28':cr='mod(N*91\\,200)+28'\" "
                          "-frames:v " +
                          std::to_string(frames) + " -pix_fmt yuv420p -c:v mpeg1video -q:v 2");
}

TEST(Mpv, APausedFrameIsWhatTheWindowShows) {
    if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
    if (std::system("command -v xwd >/dev/null") != 0)
        GTEST_SKIP() << "xwd is not installed (scripts/deps.sh installs x11-apps)";
    t2test::VirtualDisplay x;
    if (!x.up()) GTEST_SKIP() << "Xvfb and xwininfo are not installed (scripts/deps.sh installs xvfb and x11-utils)";
    const std::string clip = make_ramps("t2-frames.mpg", "25", 75);
    if (clip.empty()) GTEST_SKIP() << "ffmpeg is not installed";
    mci::use_simulation(false);
    auto d = t2test::create(CLSID_MovieModule);
    Object movie(d.get());
    movie.put(u"Filename", Variant(from_utf8(clip)));
    movie.call(u"openMovie");
    ASSERT_EQ(movie.get(u"Error").to_long(), 0);
    // frame 37 (1.48 s at 25 a second), shown paused
    ASSERT_EQ(mci::mciSendStringA("set movie time format frames", nullptr, 0, 0), 0u);
    ASSERT_EQ(mci::mciSendStringA("seek movie to 37", nullptr, 0, 0), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // drawn
    const std::string id = movie_window(x, "t2-frames.mpg");
    ASSERT_FALSE(id.empty());
    const Likeness seen = drawn_against_frames(x, id, clip, 37);
    std::printf("grab of frame 37 against ffmpeg's: PSNR %.1f dB, against frame 36: %.1f dB\n", seen.at, seen.before);
    RecordProperty("psnr_db", std::to_string(seen.at));
    EXPECT_GT(seen.at, 30);
    EXPECT_LT(seen.before, seen.at - 10);  // and it is that frame, not its neighbour
    movie.call(u"closeMovie");
    mci::use_simulation(true);
}

// At each common rate the length in frames is the file's frame count, and a movie paused while
// it plays reports the frame its window shows; one step forward shows the next.
TEST(Mpv, FramesAtEveryRateAreTheFramesShown) {
    if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
    if (std::system("command -v xwd >/dev/null") != 0)
        GTEST_SKIP() << "xwd is not installed (scripts/deps.sh installs x11-apps)";
    t2test::VirtualDisplay x;
    if (!x.up()) GTEST_SKIP() << "Xvfb and xwininfo are not installed (scripts/deps.sh installs xvfb and x11-utils)";
    struct Rate {
        const char* rate;
        int frames;
        Long fps;  // the whole frames a second, the fraction dropped
    };
    const Rate rates[] = {{"30000/1001", 120, 29}, {"24000/1001", 96, 23}, {"60", 180, 60}, {"25", 100, 25}};
    mci::use_simulation(false);
    int paused = 0, shown = 0;
    for (const Rate& r : rates) {
        SCOPED_TRACE(r.rate);
        const std::string name = std::string("t2-rate-") + std::to_string(r.frames) + ".mpg";
        const std::string clip = make_ramps(name, r.rate, r.frames);
        if (clip.empty()) GTEST_SKIP() << "ffmpeg is not installed";
        auto d = t2test::create(CLSID_MovieModule);
        Object movie(d.get());
        movie.put(u"Filename", Variant(from_utf8(clip)));
        movie.call(u"openMovie");
        ASSERT_EQ(movie.get(u"Error").to_long(), 0);
        EXPECT_EQ(movie.call(u"getLengthInFrames").to_long(), r.frames);
        EXPECT_EQ(movie.call(u"getFramePerSecRate").to_long(), r.fps);
        const std::string id = movie_window(x, name);
        ASSERT_FALSE(id.empty());
        for (int wait_ms : {450, 700}) {
            movie.call(u"playMovie");
            std::this_thread::sleep_for(std::chrono::milliseconds(wait_ms));
            movie.call(u"pauseMovie");
            std::this_thread::sleep_for(std::chrono::milliseconds(300));  // drawn
            const Long at = movie.call(u"getPositionInFrames").to_long();
            Likeness seen = drawn_against_frames(x, id, clip, static_cast<int>(at));
            ++paused;
            if (seen.at > seen.before && seen.at > seen.after) ++shown;
            EXPECT_GT(seen.at, seen.before) << "paused at frame " << at;
            EXPECT_GT(seen.at, seen.after) << "paused at frame " << at;
            Variant one(Long{1});
            movie.call(u"stepFrames", {Variant::by_ref(&one.raw())});
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_EQ(movie.call(u"getPositionInFrames").to_long(), at + 1);
            seen = drawn_against_frames(x, id, clip, static_cast<int>(at + 1));
            EXPECT_GT(seen.at, seen.before) << "stepped to frame " << at + 1;
        }
        movie.call(u"closeMovie");
    }
    std::printf("paused frames shown as reported: %d of %d\n", shown, paused);
    RecordProperty("paused_frames_shown", std::to_string(shown) + "/" + std::to_string(paused));
    mci::use_simulation(true);
}

// A number printed under a comma locale reads the same before and after the player starts.
// Sets LC_NUMERIC to a comma locale made for the test; the reason when it cannot.
std::string use_comma_locale() {
    const std::string dir = testing::TempDir() + "/t2-locale";
    if (std::system(
            ("mkdir -p " + dir + " && localedef -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 2>/dev/null").c_str()) != 0)
        return "localedef cannot make a comma locale (scripts/deps.sh installs locales)";
    setenv("LOCPATH", dir.c_str(), 1);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) return "the comma locale does not load";
    return {};
}

TEST(Mpv, TheCallersLocaleStaysAsItWas) {
    if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
    if (const std::string why = use_comma_locale(); !why.empty()) GTEST_SKIP() << why;
    std::string tone = make_tone();
    if (tone.empty()) GTEST_SKIP() << "ffmpeg is not installed";
    auto text = [] {
        char b[16];
        std::snprintf(b, sizeof b, "%.2f", 1.5);
        return std::string(b);
    };
    EXPECT_EQ(text(), "1,50");
    mci::use_simulation(false);
    auto d = t2test::create(CLSID_MP3Class);
    Object mp3(d.get());
    mp3.put(u"MP3File", Variant(from_utf8(tone)));
    mp3.call(u"MP3Play");
    EXPECT_TRUE(mp3.call(u"MP3Playing").to_bool());
    EXPECT_EQ(text(), "1,50");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "de_DE.UTF-8");
    Variant second(1.5);
    mp3.call(u"MP3ChangePositionTo", {Variant::by_ref(&second.raw())});  // a seek while the comma locale is on
    mp3.call(u"MP3Pause");
    // 1.5 s read as 1.5 (a comma locale would make it 1 or 15): at 1.5 s or a little
    // after, by however long the pause took to arrive on a loaded machine
    const double at = mp3.call(u"MP3PositionInMS").to_double();
    EXPECT_GE(at, 1440);
    EXPECT_LE(at, 1950);
    mp3.call(u"MP3Stop");
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
    mci::use_simulation(true);
}

}  // namespace

namespace {

// The player waited for ever on a pipe named as a medium (with the table lock
// held), walked a folder to play the file inside it, and followed a play list
// to its first entry.
TEST(Mpv, PipesFoldersAndPlayListsAreNoMedia) {
    if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
    std::string tone = make_tone();
    if (tone.empty()) GTEST_SKIP() << "ffmpeg is not installed (scripts/deps.sh installs it)";
    mci::use_simulation(false);
    t2test::NonMedia non(tone);
    auto names = non.names();
    const std::string plain = non.dir() + "/plain.m3u";  // a list by its extension alone: the player's to refuse
    std::ofstream(plain) << non.inner() << "\n";
    names.emplace_back("a plain M3U list", plain);
    for (const auto& [what, path] : names) {
        uint32_t code = 0;
        const bool soon = t2test::returns_soon(
            [&, p = path] {
                code = mci::mciSendStringA(("open \"" + p + "\" type mpegvideo alias x").c_str(), nullptr, 0, 0);
            },
            [&, p = path] { t2test::end_pipe(p); });
        EXPECT_TRUE(soon) << what;
        EXPECT_EQ(code, mci::kInvalidFile) << what;
        mci::mciSendStringA("close x", nullptr, 0, 0);
        if (path == plain) continue;  // no extension MP3Class plays
        bool playing = true;
        const auto play = [&, p = path] {  // on a thread of its own, so an object of its own
            auto own = t2test::create(CLSID_MP3Class);
            Object player(own.get());
            player.put(u"MP3File", Variant(from_utf8(p)));
            player.call(u"MP3Play");
            playing = player.call(u"MP3Playing").to_bool();
            player.call(u"MP3Stop");
        };
        EXPECT_TRUE(t2test::returns_soon(play, [&, p = path] { t2test::end_pipe(p); })) << what;
        EXPECT_FALSE(playing) << what;
    }
    auto m = t2test::create(CLSID_MovieModule);
    Object movie(m.get());
    movie.put(u"Filename", Variant(from_utf8(non.dir() + "/dir.mp3/")));
    movie.call(u"openMovie");
    EXPECT_EQ(movie.get(u"Error").to_long(), mci::kInvalidFile);
    EXPECT_EQ(movie.call(u"getLengthInMS").to_long(), 0);
    // the file inside the folder is a medium of its own
    auto d = t2test::create(CLSID_MP3Class);
    Object mp3(d.get());
    mp3.put(u"MP3File", Variant(from_utf8(non.inner())));
    mp3.call(u"MP3Play");
    EXPECT_TRUE(mp3.call(u"MP3Playing").to_bool());
    mci::close_all();
    mci::use_simulation(true);
}

// The player reads the file that was checked, not the name: a name that turns
// into a pipe between the check and the player's open (another user's doing, in
// a shared folder) can neither hold the open nor be played.
TEST(Mpv, ANameSwappedForAPipeAfterTheCheckNeverHoldsTheOpen) {
    if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
    std::string tone = make_tone();
    if (tone.empty()) GTEST_SKIP() << "ffmpeg is not installed (scripts/deps.sh installs it)";
    mci::use_simulation(false);
    const std::string dir = testing::TempDir() + "/t2-swap";
    std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str());
    const std::string name = dir + "/swapped.mp3", media = dir + "/media.mp3";
    ASSERT_EQ(std::system(("cp " + tone + " " + media).c_str()), 0);
    std::atomic<bool> stop{false};
    std::thread swapper([&] {  // the name is the tone and a pipe by turns, each put in place at once
        const std::string fresh = dir + "/fresh.mp3";
        for (bool as_pipe = false; !stop; as_pipe = !as_pipe) {
            if (as_pipe ? mkfifo(fresh.c_str(), 0600) == 0 : link(media.c_str(), fresh.c_str()) == 0)
                std::rename(fresh.c_str(), name.c_str());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    int opened = 0, refused = 0, waited = 0;
    for (int i = 0; i < 40; ++i) {
        uint32_t code = 0;
        const bool soon = t2test::returns_soon(
            [&] {
                code = mci::mciSendStringA(("open \"" + name + "\" type mpegvideo alias s").c_str(), nullptr, 0, 0);
            },
            [&] { t2test::end_pipe(name); });
        EXPECT_TRUE(soon) << "open " << i << " waited on a pipe";
        waited += !soon;
        if (code == 0) {
            ++opened;
            char length[32] = "";
            mci::mciSendStringA("status s length", length, sizeof length, 0);
            EXPECT_NEAR(std::atol(length), 3000, 100) << "open " << i << " played something else";
        } else {
            ++refused;
            EXPECT_TRUE(code == mci::kInvalidFile || code == mci::kFileNotFound) << code;
        }
        mci::mciSendStringA("close s", nullptr, 0, 0);
    }
    stop = true;
    swapper.join();
    std::printf("opens while the name changed: %d played the tone, %d refused, %d waited\n", opened, refused, waited);
    std::system(("rm -rf " + dir).c_str());
    mci::use_simulation(true);
}

// Players open with the table lock let go, so several threads start theirs at
// once, each switching the numeric locale to "C" and back: every one must
// start, and the caller's comma locale must stay.
TEST(Mpv, PlayersOpenOnSeveralThreadsAtOnce) {
    if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
    const std::string tone = make_tone();
    if (tone.empty()) GTEST_SKIP() << "ffmpeg is not installed (scripts/deps.sh installs it)";
    if (const std::string why = use_comma_locale(); !why.empty()) GTEST_SKIP() << why;
    mci::use_simulation(false);
    constexpr int kThreads = 4, kRounds = 3;
    uint32_t codes[kThreads] = {};
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::thread> openers;
        for (int i = 0; i < kThreads; ++i)
            openers.emplace_back([&, i] {
                const std::string cmd = "open \"" + tone + "\" alias t" + std::to_string(i);
                codes[i] = mci::mciSendStringA(cmd.c_str(), nullptr, 0, 0);
            });
        for (auto& t : openers) t.join();
        for (int i = 0; i < kThreads; ++i) EXPECT_EQ(codes[i], 0u) << "round " << round << ", thread " << i;
        EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "de_DE.UTF-8") << "round " << round;
        mci::close_all();
    }
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
    mci::use_simulation(true);
}

// Milliseconds until `playing` turns false, polled every 20 ms; -1 after 10 s.
template <class Playing>
int64_t ms_until_stopped(Playing playing) {
    const auto start = std::chrono::steady_clock::now();
    while (playing()) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(10)) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// After an MP3 had played to its end a play did nothing: the position stopped
// short of the length (encoder padding), so "a play at the end starts over" never applied.
TEST(Mpv, APlayAtTheEndStartsOverInEveryFormat) {
    if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
    struct Format {
        const char* file;
        const char* arguments;
    } formats[] = {
        {"t2-end.mp3", "-i sine=frequency=440:duration=1 -ac 2"},
        {"t2-end.ogg", "-i sine=frequency=440:duration=1 -ac 2 -c:a libvorbis"},
        {"t2-end.wav", "-i sine=frequency=440:duration=1 -ac 2"},
        {"t2-end.mp4",
         "-i testsrc=size=160x120:rate=25:duration=1 -f lavfi -i sine=frequency=440:duration=1 "
         "-c:v mpeg4 -c:a aac -shortest"},
    };
    mci::use_simulation(false);
    for (const Format& f : formats) {
        const std::string path = make_media(f.file, f.arguments);
        if (path.empty()) GTEST_SKIP() << "ffmpeg is not installed (scripts/deps.sh installs it)";
        auto d = t2test::create(CLSID_MP3Class);
        Object mp3(d.get());
        mp3.put(u"MP3File", Variant(from_utf8(path)));
        mp3.call(u"MP3Play");
        const int64_t took = ms_until_stopped([&] { return mp3.call(u"MP3Playing").to_bool(); });
        ASSERT_GE(took, 0) << f.file << " never ended";
        const double length = mp3.call(u"MP3DurationInMs").to_double();
        const double end = mp3.call(u"MP3PositionInMS").to_double();
        mp3.call(u"MP3Resume");
        const bool again = mp3.call(u"MP3Playing").to_bool();
        std::printf("%s: length %.0f ms, stopped at %.0f ms after %lld ms; played again: %s\n", f.file, length, end,
                    static_cast<long long>(took), again ? "yes" : "no");
        EXPECT_EQ(end, length) << f.file;
        EXPECT_TRUE(again) << f.file;
        mp3.call(u"MP3Stop");
        // the same through MovieModule's playMovie
        auto m = t2test::create(CLSID_MovieModule);
        Object movie(m.get());
        movie.put(u"Filename", Variant(from_utf8(path)));
        movie.call(u"openMovie");
        ASSERT_EQ(movie.get(u"Error").to_long(), 0) << f.file;
        movie.call(u"playMovie");
        ASSERT_GE(ms_until_stopped([&] { return movie.call(u"isMoviePlaying").to_bool(); }), 0) << f.file;
        EXPECT_EQ(movie.call(u"getPositionInMS").to_long(), movie.call(u"getLengthInMS").to_long()) << f.file;
        movie.call(u"playMovie");
        EXPECT_EQ(movie.get(u"Error").to_long(), 0) << f.file;
        EXPECT_TRUE(movie.call(u"isMoviePlaying").to_bool()) << f.file;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_LT(movie.call(u"getPositionInMS").to_long(), movie.call(u"getLengthInMS").to_long()) << f.file;
        movie.call(u"closeMovie");
    }
    mci::use_simulation(true);
}

}  // namespace
