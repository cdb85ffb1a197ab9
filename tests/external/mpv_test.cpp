// Real playback through libmpv, headless, of a tone that ffmpeg makes for the test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/mci/mci.hpp"
#include "support/recorder.hpp"

using namespace t2;

namespace {

std::string make_tone() {
    std::string path = testing::TempDir() + "/t2-tone.mp3";
    std::string cmd = "ffmpeg -loglevel error -y -f lavfi -i sine=frequency=440:duration=3 -ac 2 " + path + " 2>/dev/null";
    return std::system(cmd.c_str()) == 0 ? path : std::string();
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
