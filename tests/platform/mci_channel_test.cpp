// The media channel on its simulated backend: replies and their buffers, the
// error numbers, the table lock while a play waits, the disc door.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "external/media_fixtures.hpp"
#include "platform/mci/errors.hpp"
#include "platform/mci/mci.hpp"

using namespace t2;

namespace {

class Channel : public ::testing::Test {
protected:
    void SetUp() override {
        mci::use_simulation(true);
        mci::close_all();
    }
    void TearDown() override {
        mci::simulate_disc_drive(false);
        mci::close_all();
    }
};

TEST_F(Channel, RepliesStayWithinTheirBuffers) {
    mci::MediaInfo m;
    m.length_ms = 123456789;
    mci::simulate_media("big.mp3", m);
    ASSERT_EQ(mci::mciSendStringA("open \"big.mp3\" alias big", nullptr, 0, 0), 0u);
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(mci::mciSendStringA("status big length", buf, 5, 0), 268u);  // 9 digits and a NUL do not fit 5
    EXPECT_EQ(std::string(buf, 8), "########");
    EXPECT_EQ(mci::mciSendStringA("status big length", buf, 8, 0), 268u);
    char ok[16];
    std::memset(ok, '#', sizeof ok);
    EXPECT_EQ(mci::mciSendStringA("status big mode", ok, 16, 0), 0u);
    EXPECT_EQ(std::string(ok, 9), std::string("stopped\0#", 9));  // the rest of the buffer stays
    struct {
        const char* cmd;
        uint32_t error;
    } cases[] = {
        {"", 267},
        {"close", 292},
        {"frobnicate big", 261},
        {"status nobody mode", 263},
        {"status big colour", 290},
        {"seek big", 273},
        {"seek big to soon", 270},
        {"seek big to -5", 282},
        {"set big time format furlongs", 293},
        {"open \"big.mp3", 294},
        {"open \"big.mp3\"x", 305},
        {"play all", 279},
        {"open \"x.unknown\"", 281},
        {"open \"/no/such/file.mp3\"", 275},
        {"open \"big.mp3\" alias big", 289},
        {"set cdaudio door open", 276},
        {"status big", 273},
        {"play big from 999999999999", 282},
    };
    for (auto& c : cases) EXPECT_EQ(mci::mciSendStringA(c.cmd, ok, 16, 0), c.error) << c.cmd;
    char text[64];
    EXPECT_EQ(mci::mciGetErrorStringA(263, text, sizeof text), 1);
    EXPECT_GT(std::strlen(text), 10u);
}

TEST_F(Channel, EveryNumberTheChannelGivesHasItsText) {
    // among them those the backends and the classes give (257, 262, 264, 269, 277)
    for (uint32_t code : {0u,   257u, 259u, 261u, 262u, 263u, 264u, 265u, 267u, 268u, 269u, 270u, 273u, 274u, 275u,
                          276u, 277u, 279u, 281u, 282u, 284u, 289u, 290u, 292u, 293u, 294u, 295u, 296u, 305u}) {
        char text[256];
        EXPECT_EQ(mci::mciGetErrorStringA(code, text, sizeof text), 1) << code;
        EXPECT_GT(std::strlen(text), 10u) << code;
    }
    char text[256];
    EXPECT_EQ(mci::mciGetErrorStringA(999, text, sizeof text), 0);
    EXPECT_STREQ(text, "Unknown media error 999.");
    char small[8];
    EXPECT_EQ(mci::mciGetErrorStringA(mci::kFileNotFound, small, sizeof small), 1);
    EXPECT_EQ(std::strlen(small), 7u);  // cut to the buffer, NUL-terminated
}

TEST_F(Channel, AWaitingPlayLetsOtherCallsThrough) {
    mci::MediaInfo m;
    m.length_ms = 1000000000;  // far longer than the test waits: only a stop from the other thread ends it
    mci::simulate_media("long.mp3", m);
    mci::simulate_media("other.mp3", m);
    ASSERT_EQ(mci::mciSendStringA("open \"long.mp3\" alias long", nullptr, 0, 0), 0u);
    ASSERT_EQ(mci::mciSendStringA("open \"other.mp3\" alias other", nullptr, 0, 0), 0u);
    std::atomic<bool> returned{false};
    std::thread player([&] {
        EXPECT_EQ(mci::mciSendStringA("play long wait", nullptr, 0, 0), 0u);
        returned = true;
    });
    // while the play waits, this thread's calls are answered and can stop it
    char mode[16] = {};
    while (std::strcmp(mode, "playing") != 0) {
        ASSERT_EQ(mci::mciSendStringA("status long mode", mode, sizeof mode, 0), 0u);
        std::this_thread::yield();
    }
    EXPECT_STREQ(mode, "playing");
    EXPECT_EQ(mci::mciSendStringA("status other mode", mode, sizeof mode, 0), 0u);
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(mci::mciSendStringA("stop long", nullptr, 0, 0), 0u);
    player.join();
    char pos[32];
    ASSERT_EQ(mci::mciSendStringA("status long position", pos, sizeof pos, 0), 0u);
    EXPECT_LT(std::stoll(pos), m.length_ms);  // stopped before its end
}

TEST_F(Channel, AWaitingPlayEndsWhenItsDeviceIsClosed) {
    mci::MediaInfo m;
    m.length_ms = 100000000;
    mci::simulate_media("long.mp3", m);
    ASSERT_EQ(mci::mciSendStringA("open \"long.mp3\" alias long", nullptr, 0, 0), 0u);
    std::thread player([] { EXPECT_EQ(mci::mciSendStringA("play long wait", nullptr, 0, 0), 0u); });
    char mode[16] = {};
    while (std::strcmp(mode, "playing") != 0) mci::mciSendStringA("status long mode", mode, sizeof mode, 0);
    EXPECT_EQ(mci::mciSendStringA("close long", nullptr, 0, 0), 0u);
    player.join();
}

TEST_F(Channel, TheDiscDoorMovesOnlyTheSimulatedDrive) {
    EXPECT_EQ(mci::mciSendStringA("set cdaudio door open", nullptr, 0, 0), 276u);  // no drive
    mci::simulate_disc_drive(true);
    EXPECT_EQ(mci::mciSendStringA("set cdaudio door open", nullptr, 0, 0), 0u);
    EXPECT_TRUE(mci::simulated_door_open());
    EXPECT_EQ(mci::mciSendStringA("set CDAudio door closed wait", nullptr, 0, 0), 0u);
    EXPECT_FALSE(mci::simulated_door_open());
    EXPECT_EQ(mci::mciSendStringA("set cdaudio door ajar", nullptr, 0, 0), 259u);
    EXPECT_EQ(mci::mciSendStringA("play cdaudio", nullptr, 0, 0), 276u);
}

// An answer of open: a device number.
bool opened(const std::string& answer) {
    return !answer.empty() && answer.find_first_not_of("0123456789") == std::string::npos;
}

// Answers of one command, or "error N".
std::string ask(const std::string& cmd) {
    char reply[64] = {};
    const uint32_t r = mci::mciSendStringA(cmd.c_str(), reply, sizeof reply, 0);
    return r ? "error " + std::to_string(r) : std::string(reply);
}

TEST_F(Channel, NegativeTargetsAreRefusedAndAbsentOnesAreNoValue) {
    mci::MediaInfo m;
    m.length_ms = 10000;
    mci::simulate_media("a.mp3", m);
    ASSERT_TRUE(opened(ask("open \"a.mp3\" alias a")));
    ASSERT_EQ(ask("seek a to 4000"), "");
    for (const char* cmd : {"play a from -1", "play a from -2", "play a to -1", "play a from 0 to -1", "seek a to -1"})
        EXPECT_EQ(ask(cmd), "error 282") << cmd;
    EXPECT_EQ(ask("status a position"), "4000");  // nothing moved
    EXPECT_EQ(ask("status a mode"), "stopped");
    EXPECT_EQ(ask("play a"), "");  // no from: from where it stands
    EXPECT_EQ(ask("status a position"), "4000");
}

TEST_F(Channel, FramePositionsSurviveTheTripToMillisecondsAndBack) {
    for (int32_t fps : {25000, 29970, 23976}) {
        mci::close_all();
        mci::MediaInfo m;
        m.length_ms = 600000;
        m.fps_milli = fps;
        m.video = true;
        mci::simulate_media("f.mpg", m);
        ASSERT_TRUE(opened(ask("open \"f.mpg\" alias f")));
        ASSERT_EQ(ask("set f time format frames"), "");
        int lost = 0;
        for (int frame = 0; frame < 3000; frame += 7) {
            ask("seek f to " + std::to_string(frame));
            lost += ask("status f position") != std::to_string(frame);
        }
        EXPECT_EQ(lost, 0) << fps;
        ask("seek f to 100");
        ask("step f by 3");
        EXPECT_EQ(ask("status f position"), "103") << fps;
        ask("step f reverse by 2");
        EXPECT_EQ(ask("status f position"), "101") << fps;
        EXPECT_EQ(ask("step f reverse by 102"), "error 282") << fps;
    }
}

// Regression: lengths in frames were one short at 29.97 and 23.976 fps (240 and 192
// frames read as 239 and 191): the rate rounded to 29970 or 23976 was divided by.
// With the player's exact rate every frame of the length counts.
TEST_F(Channel, LengthsInFramesCountAtTheExactRate) {
    struct Case {
        int64_t num, den, frames;
    };
    const Case cases[] = {{30000, 1001, 240}, {24000, 1001, 192}, {60000, 1001, 240}, {25, 1, 200}};
    for (const Case& c : cases) {
        mci::close_all();
        mci::MediaInfo m;
        m.length_ms = c.frames * c.den * 1000 / c.num;  // the duration a player reports, in whole ms
        m.fps_milli = static_cast<int32_t>((c.num * 1000 + c.den / 2) / c.den);
        m.rate_num = c.num;
        m.rate_den = c.den;
        m.video = true;
        mci::simulate_media("r.mp4", m);
        ASSERT_TRUE(opened(ask("open \"r.mp4\" alias r")));
        ask("set r time format frames");
        EXPECT_EQ(ask("status r length"), std::to_string(c.frames)) << c.num << "/" << c.den;
        // and each frame's first millisecond is that frame
        int wrong = 0;
        for (int64_t f = 0; f < c.frames; ++f) {
            ask("seek r to " + std::to_string(f));
            wrong += ask("status r position") != std::to_string(f);
        }
        EXPECT_EQ(wrong, 0) << c.num << "/" << c.den;
    }
}

TEST_F(Channel, FileNamesMatchExactlyAliasesInAnyCase) {
    mci::MediaInfo lower, upper;
    lower.length_ms = 1000;
    upper.length_ms = 2000;
    mci::simulate_media("tone.mp3", lower);
    mci::simulate_media("Tone.mp3", upper);
    EXPECT_TRUE(opened(ask("open \"tone.mp3\"")));
    EXPECT_TRUE(opened(ask("open \"Tone.mp3\"")));  // another file, another device
    EXPECT_EQ(ask("status \"tone.mp3\" length"), "1000");
    EXPECT_EQ(ask("STATUS \"Tone.mp3\" LENGTH"), "2000");
    EXPECT_EQ(ask("status \"TONE.mp3\" length"), "error 263");
    EXPECT_EQ(ask("open \"tone.mp3\""), "error 265");
    EXPECT_TRUE(opened(ask("open \"tone.mp3\" alias Song")));
    EXPECT_EQ(ask("status SONG length"), "1000");
    EXPECT_EQ(ask("open \"Tone.mp3\" alias song"), "error 289");
}

TEST_F(Channel, FileNamesInTheCodePageReachTheFileSystemInUtf8) {
    const std::string dir = testing::TempDir();
    const std::string utf8 = dir + "/caf\xc3\xa9.mp3";  // café.mp3 as the file system names it
    std::FILE* f = std::fopen(utf8.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    const std::string cp1252 = dir + "/caf\xe9.mp3";  // as a command names it
    EXPECT_TRUE(opened(ask("open \"" + cp1252 + "\" alias cafe")));
    EXPECT_EQ(ask("status cafe mode"), "stopped");
    EXPECT_EQ(ask("open \"" + utf8 + "\" alias raw"), "error 275");  // those bytes read as two letters of the code page
    std::remove(utf8.c_str());
}

// A folder, a play list or a file that is no file was given to the player as a
// medium (the player walked the folder, followed the list, or waited on the pipe).
TEST_F(Channel, OnlyOrdinaryFilesThatAreNoPlayListsOpen) {
    t2test::NonMedia non;
    auto names = non.names();
    names.emplace_back("a device", "/dev/null");
    for (const auto& [what, path] : names) {
        std::string answer;
        const bool soon = t2test::returns_soon([&] { answer = ask("open \"" + path + "\" type mpegvideo alias x"); },
                                               [&] { t2test::end_pipe(path); });
        EXPECT_TRUE(soon) << what;
        EXPECT_EQ(answer, "error " + std::to_string(mci::kInvalidFile)) << what;
        ask("close x");
    }
    EXPECT_EQ(ask("open \"" + non.dir() + "/missing.mp3\""), "error " + std::to_string(mci::kFileNotFound));
    EXPECT_TRUE(opened(ask("open \"" + non.inner() + "\"")));  // the medium inside the folder is one
    char text[128];
    EXPECT_NE(mci::mciGetErrorStringA(mci::kInvalidFile, text, sizeof text), 0);
    EXPECT_STREQ(text, "The file exists but its content is not something this device can play.");
}

// The table lock was held while a player opened or closed its file, so a slow
// one kept every other thread's media calls waiting.
TEST_F(Channel, ASlowOpenOrCloseKeepsOnlyItsOwnCallerWaiting) {
    mci::MediaInfo m;
    m.length_ms = 5000;
    mci::simulate_media("slow.mp3", m);
    mci::simulate_media("quick.mp3", m);
    ASSERT_TRUE(opened(ask("open \"quick.mp3\" alias quick")));
    for (const char* slow : {"open \"slow.mp3\" alias slow", "close slow"}) {
        mci::hold_simulated_file("slow.mp3", true);
        std::string slow_answer;
        std::thread slow_caller([&] { slow_answer = ask(slow); });
        while (mci::simulated_calls_held() == 0) std::this_thread::yield();  // inside the backend now
        const bool soon = t2test::returns_soon(
            [&] {
                EXPECT_EQ(ask("play quick"), "") << slow;
                EXPECT_EQ(ask("status quick mode"), "playing") << slow;
                EXPECT_TRUE(opened(ask("open \"quick.mp3\" alias other"))) << slow;
                EXPECT_EQ(ask("close other"), "") << slow;
            },
            [] { mci::hold_simulated_file("slow.mp3", false); });
        EXPECT_TRUE(soon) << slow;
        mci::hold_simulated_file("slow.mp3", false);
        slow_caller.join();
        EXPECT_TRUE(slow_answer.empty() || opened(slow_answer)) << slow << ": " << slow_answer;
    }
    EXPECT_EQ(ask("status slow mode"), "error 263");  // closed
}

}  // namespace
