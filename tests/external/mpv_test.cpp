// Real playback through libmpv, headless, of a tone that ffmpeg makes for the test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/mci/mci.hpp"
#include "support/recorder.hpp"

using namespace t2;

namespace {

// Media made with ffmpeg for the test: the path, or empty without ffmpeg.
std::string make_media(const std::string& name, const std::string& arguments) {
    std::string path = testing::TempDir() + "/" + name;
    std::string cmd = "ffmpeg -loglevel error -y -f lavfi " + arguments + " " + path + " 2>/dev/null";
    return std::system(cmd.c_str()) == 0 ? path : std::string();
}
std::string make_tone() { return make_media("t2-tone.mp3", "-i sine=frequency=440:duration=3 -ac 2"); }
std::string make_clip() { return make_media("t2-clip.mpg", "-i testsrc=size=352x240:rate=25:duration=3 -c:v mpeg1video"); }

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

// Runs a command and gives its output.
std::string output_of(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

// With a display (here a virtual X server) a movie gets a window of its own, and
// openMovieWindow puts it inside the caller's window.
TEST(Mpv, MovieWindowsOwnAndInsideAParent) {
    if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
    if (std::system("command -v Xvfb >/dev/null && command -v xwininfo >/dev/null") != 0)
        GTEST_SKIP() << "Xvfb and xwininfo are not installed (scripts/deps.sh installs xvfb and x11-utils)";
    std::string clip = make_clip();
    if (clip.empty()) GTEST_SKIP() << "ffmpeg is not installed";
    const std::string display = ":" + std::to_string(90 + getpid() % 100);
    std::system(("Xvfb " + display + " -screen 0 800x600x24 >/dev/null 2>&1 & echo $! > /tmp/t2-xvfb.pid").c_str());
    for (int i = 0; i < 50 && std::system(("xwininfo -root -display " + display + " >/dev/null 2>&1").c_str()) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const char* old = std::getenv("DISPLAY");
    std::string saved = old ? old : "";
    setenv("DISPLAY", display.c_str(), 1);
    mci::use_simulation(false);
    auto d = t2test::create(CLSID_MovieModule);
    Object movie(d.get());
    movie.put(u"Filename", Variant(from_utf8(clip)));
    movie.call(u"openMovie");
    ASSERT_EQ(movie.get(u"Error").to_long(), 0);
    std::string tree = output_of("xwininfo -root -tree -display " + display);
    auto at = tree.find("t2-clip.mpg - mpv");
    ASSERT_NE(at, std::string::npos) << tree;  // a window of its own, named by the file
    const std::string line = tree.substr(tree.rfind('\n', at) + 1);
    const Long parent = static_cast<Long>(std::stol(line.substr(line.find("0x")), nullptr, 16));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the window is mapped and drawn before a child joins it
    // a second movie inside that window (under another alias: the first one still holds movie)
    std::string open = "open \"" + clip + "\" type mpegvideo alias inner parent " + std::to_string(parent) + " style child ";
    ASSERT_EQ(mci::mciSendStringA(open.c_str(), nullptr, 0, 0), 0u);
    tree = output_of("xwininfo -children -id " + std::to_string(parent) + " -display " + display);
    EXPECT_NE(tree.find("1 child"), std::string::npos) << tree;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    mci::mciSendStringA("close inner", nullptr, 0, 0);  // the child first, then its parent
    mci::mciSendStringA("close all", nullptr, 0, 0);
    mci::use_simulation(true);
    if (saved.empty()) unsetenv("DISPLAY"); else setenv("DISPLAY", saved.c_str(), 1);
    std::system("kill $(cat /tmp/t2-xvfb.pid) 2>/dev/null; rm -f /tmp/t2-xvfb.pid");
}

}  // namespace
