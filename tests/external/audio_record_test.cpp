// What the players make heard, recorded: a private sound server with a null
// sink, the sink's monitor recorded while MP3Class and MovieModule play
// generated tones; the recording's frequency and level are measured here.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/mci/mci.hpp"
#include "external/media_fixtures.hpp"
#include "support/recorder.hpp"

using namespace t2;

namespace {

constexpr int kRate = 48000;

std::string shell_quote(const std::string& s) { return "'" + s + "'"; }

// A sound server of the test's own: a null sink, reached by a socket in a private folder.
class SoundServer {
public:
    SoundServer() {
        if (std::system(
                "command -v pulseaudio >/dev/null && command -v parec >/dev/null && command -v pactl >/dev/null") !=
            0) {
            why_ = "pulseaudio and pulseaudio-utils are not installed (scripts/deps.sh installs them)";
            return;
        }
        std::string templ = testing::TempDir() + "/t2-sound.XXXXXX";
        if (!mkdtemp(templ.data())) {
            why_ = "no private folder for the sound server";
            return;
        }
        dir_ = templ;
        socket_ = dir_ + "/native";
        const std::string env = "cd " + shell_quote(dir_) + " && XDG_RUNTIME_DIR=" + shell_quote(dir_) +
                                " PULSE_RUNTIME_PATH=" + shell_quote(dir_ + "/pulse") + " HOME=" + shell_quote(dir_) +
                                " ";
        const std::string start = env + "pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no" +
                                  " -L 'module-null-sink sink_name=t2sink rate=48000'" +
                                  " -L 'module-native-protocol-unix socket=" + socket_ + " auth-anonymous=1'" + " >" +
                                  shell_quote(dir_ + "/log") + " 2>&1 & echo $! >" + shell_quote(dir_ + "/pid");
        std::system(start.c_str());
        std::ifstream(dir_ + "/pid") >> pid_;
        const std::string probe = "PULSE_SERVER=unix:" + socket_ + " pactl info >/dev/null 2>&1";
        for (int i = 0; i < 100 && !up_; ++i) {
            up_ = std::system(probe.c_str()) == 0;
            if (!up_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!up_) {
            std::ifstream log(dir_ + "/log");
            why_ = "the sound server did not start: " + std::string(std::istreambuf_iterator<char>(log), {});
            return;
        }
        setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
        if (!start_recording()) {
            up_ = false;
            why_ = "the recorder (parec) did not start";
        }
    }
    ~SoundServer() {
        unsetenv("PULSE_SERVER");
        if (recorder_ > 0) kill(recorder_, SIGTERM);
        if (pid_ > 0) kill(pid_, SIGTERM);
        if (!dir_.empty()) std::system(("rm -rf " + shell_quote(dir_)).c_str());
    }
    bool up() const { return up_; }
    const std::string& why() const { return why_; }

    // Records the sink's monitor from now on, mono 16-bit samples into a file, until the server goes.
    // The recorder takes a while to start: this returns once samples arrive.
    bool start_recording() {
        file_ = dir_ + "/rec.raw";
        const std::string cmd =
            "PULSE_SERVER=unix:" + socket_ +
            " parec -d t2sink.monitor --raw --format=s16le --rate=48000 --channels=1 --latency-msec=20 >" +
            shell_quote(file_) + " 2>/dev/null & echo $! >" + shell_quote(dir_ + "/rec.pid");
        std::system(cmd.c_str());
        std::ifstream(dir_ + "/rec.pid") >> recorder_;
        for (int i = 0; i < 100; ++i) {
            if (mark() > 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    // How many samples are recorded so far.
    size_t mark() const {
        struct stat st {};
        return stat(file_.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) / 2 : 0;
    }
    // The samples recorded between two marks.
    std::vector<int16_t> samples(size_t from, size_t to) const {
        std::vector<int16_t> out(to > from ? to - from : 0);
        std::ifstream in(file_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(from * 2));
        in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size() * 2));
        out.resize(static_cast<size_t>(in.gcount()) / 2);
        return out;
    }
    // The samples recorded during the next `seconds`.
    std::vector<int16_t> listen(double seconds) const {
        const size_t from = mark();
        std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
        return samples(from, mark());
    }

private:
    std::string dir_, socket_, why_, file_;
    pid_t pid_ = 0, recorder_ = 0;
    bool up_ = false;
};

// Level of a stretch of samples in dB of full scale (-120 for silence).
double level_db(const std::vector<int16_t>& s, size_t from = 0, size_t count = SIZE_MAX) {
    count = std::min(count, s.size() - std::min(from, s.size()));
    if (count == 0) return -120;
    double sum = 0;
    for (size_t i = from; i < from + count; ++i) sum += static_cast<double>(s[i]) * s[i];
    const double rms = std::sqrt(sum / count) / 32768.0;
    return rms > 1e-6 ? 20 * std::log10(rms) : -120;
}

// The frequency (Hz) with the most power, by a Goertzel scan from 50 to 2000 Hz in steps of 1 Hz.
double dominant_frequency(const std::vector<int16_t>& s) {
    const size_t n = std::min<size_t>(s.size(), kRate / 2);
    const size_t from = (s.size() - n) / 2;  // the middle of the recording
    double best = 0, best_power = -1;
    for (double f = 50; f <= 2000; f += 1) {
        const double coeff = 2 * std::cos(2 * M_PI * f / kRate);
        double s1 = 0, s2 = 0;
        for (size_t i = from; i < from + n; ++i) {
            const double s0 = s[i] + coeff * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
        if (power > best_power) best_power = power, best = f;
    }
    return best;
}

// Seconds from the start of the recording to its first sounding 20 ms piece (-1 for none).
double onset_seconds(const std::vector<int16_t>& s) {
    const size_t piece = kRate / 50;
    for (size_t at = 0; at + piece <= s.size(); at += piece)
        if (level_db(s, at, piece) > -40) return static_cast<double>(at) / kRate;
    return -1;
}

// Seconds of the recording that sound (20 ms pieces above -40 dB).
double sounding_seconds(const std::vector<int16_t>& s) {
    const size_t piece = kRate / 50;
    size_t loud = 0;
    for (size_t at = 0; at + piece <= s.size(); at += piece)
        if (level_db(s, at, piece) > -40) ++loud;
    return loud / 50.0;
}

void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(300)); }

// The steady level now, over 0.4 s.
double level_now(const SoundServer& server) {
    const std::vector<int16_t> s = server.listen(0.4);
    return s.empty() ? 0 : level_db(s);  // no samples at all: the recorder stopped, which must not read as silence
}

class Heard : public ::testing::Test {
protected:
    void SetUp() override {
        if (!mci::real_backend_available()) GTEST_SKIP() << "this build has no libmpv";
        if (!server_.up()) GTEST_SKIP() << server_.why();
        mci::use_simulation(false);
    }
    void TearDown() override {
        mci::close_all();
        mci::use_simulation(true);
    }
    SoundServer server_;
};

TEST_F(Heard, Mp3PlaysItsToneForItsLength) {
    const std::string tone = t2test::make_media("t2-heard-440.mp3", "-i sine=frequency=440:duration=1.5 -ac 2");
    if (tone.empty()) GTEST_SKIP() << "ffmpeg is not installed";
    auto d = t2test::create(CLSID_MP3Class);
    Object mp3(d.get());
    mp3.put(u"MP3File", Variant(from_utf8(tone)));
    const size_t from = server_.mark();
    mp3.call(u"MP3Play");
    EXPECT_TRUE(mp3.call(u"MP3Playing").to_bool());
    for (int i = 0; i < 50 && mp3.call(u"MP3Playing").to_bool(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // what the server still holds
    const std::vector<int16_t> rec = server_.samples(from, server_.mark());
    ASSERT_GT(rec.size(), static_cast<size_t>(kRate));
    const double f = dominant_frequency(rec), secs = sounding_seconds(rec), db = level_db(rec);
    std::printf("recorded: %.0f Hz, %.2f s sounding, starting %.2f s after the play, %.1f dBFS overall\n", f, secs,
                onset_seconds(rec), db);
    RecordProperty("frequency_hz", std::to_string(f));
    RecordProperty("sounding_seconds", std::to_string(secs));
    EXPECT_NEAR(f, 440, 3);
    EXPECT_NEAR(secs, 1.5, 0.25);
}

// Play ended when the position reached the length, before the sound output
// had played what it held: a caller polling the state every 20 ms and closing
// at once cut off the last tenth of a second.
TEST_F(Heard, PlayEndsWhenTheLastSampleHasBeenHeard) {
    struct Case {
        const char* file;
        const char* arguments;
        int poll_ms;  // 0: the caller does not poll, it waits 4 s and stops
    } cases[] = {
        {"t2-heard-end.mp3", "-i sine=frequency=440:duration=3 -ac 2", 20},
        {"t2-heard-end.mp3", "-i sine=frequency=440:duration=3 -ac 2", 250},
        {"t2-heard-end.mp3", "-i sine=frequency=440:duration=3 -ac 2", 0},
        {"t2-heard-end.wav", "-i sine=frequency=440:duration=3 -ac 2", 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " polled every " + std::to_string(c.poll_ms) + " ms");
        const std::string tone = t2test::make_media(c.file, c.arguments);
        if (tone.empty()) GTEST_SKIP() << "ffmpeg is not installed";
        auto d = t2test::create(CLSID_MP3Class);
        Object mp3(d.get());
        mp3.put(u"MP3File", Variant(from_utf8(tone)));
        const size_t from = server_.mark();
        mp3.call(u"MP3Play");
        if (c.poll_ms == 0) std::this_thread::sleep_for(std::chrono::seconds(4));
        for (int i = 0; c.poll_ms && i < 10000 / c.poll_ms && mp3.call(u"MP3Playing").to_bool(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(c.poll_ms));
        mp3.call(u"MP3Stop");  // at once, as such a caller does
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const std::vector<int16_t> rec = server_.samples(from, server_.mark());
        const double secs = sounding_seconds(rec);
        std::printf("%s: %.2f s of its 3.00 s heard, %s\n", c.file, secs,
                    c.poll_ms ? ("polled every " + std::to_string(c.poll_ms) + " ms, stopped at the end").c_str()
                              : "not polled");
        RecordProperty(std::string(c.file) + "_" + std::to_string(c.poll_ms) + "ms_heard_seconds",
                       std::to_string(secs));
        EXPECT_GE(secs, 2.96);  // within two 20 ms pieces of the whole tone
        EXPECT_LE(secs, 3.04);
    }
}

TEST_F(Heard, PauseAndStopSilenceTheTone) {
    const std::string tone = t2test::make_media("t2-heard-long.mp3", "-i sine=frequency=440:duration=8 -ac 2");
    if (tone.empty()) GTEST_SKIP() << "ffmpeg is not installed";
    auto d = t2test::create(CLSID_MP3Class);
    Object mp3(d.get());
    mp3.put(u"MP3File", Variant(from_utf8(tone)));
    mp3.call(u"MP3Play");
    settle();
    const double playing = level_now(server_);
    mp3.call(u"MP3Pause");
    settle();
    const double paused = level_now(server_);
    mp3.call(u"MP3Resume");
    settle();
    const double resumed = level_now(server_);
    mp3.call(u"MP3Stop");
    settle();
    const double stopped = level_now(server_);
    std::printf("levels: playing %.1f, paused %.1f, resumed %.1f, stopped %.1f dBFS\n", playing, paused, resumed,
                stopped);
    EXPECT_GT(playing, -30);
    EXPECT_LT(paused, -60);
    EXPECT_GT(resumed, -30);
    EXPECT_LT(stopped, -60);
}

TEST_F(Heard, MovieVolumeAndAudioOffChangeTheLevel) {
    const std::string clip =
        t2test::make_media("t2-heard-clip.mpg",
                           "-i testsrc=size=160x120:rate=25:duration=8 -f lavfi -i sine=frequency=440:duration=8 "
                           "-c:v mpeg1video -c:a mp2 -ac 2 -shortest");
    if (clip.empty()) GTEST_SKIP() << "ffmpeg is not installed";
    auto d = t2test::create(CLSID_MovieModule);
    Object movie(d.get());
    movie.put(u"Filename", Variant(from_utf8(clip)));
    movie.call(u"openMovie");
    ASSERT_EQ(movie.get(u"Error").to_long(), 0);
    movie.call(u"playMovie");
    settle();
    const double full = level_now(server_);
    Variant quarter(Long{250});
    movie.call(u"setVolume", {Variant::by_ref(&quarter.raw())});
    settle();
    const double lower = level_now(server_);
    movie.call(u"setAudioOff");
    settle();
    const double off = level_now(server_);
    movie.call(u"setAudioOn");
    settle();
    const double on = level_now(server_);
    std::printf("levels: full %.1f, volume 250 %.1f, audio off %.1f, audio on %.1f dBFS\n", full, lower, off, on);
    EXPECT_GT(full, -30);
    EXPECT_LT(lower, full - 10);
    EXPECT_LT(off, -60);
    EXPECT_NEAR(on, lower, 3);
    movie.call(u"closeMovie");
}

}  // namespace
