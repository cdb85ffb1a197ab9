// The libmpv backend: one player per open device, paused on open, positions
// from time-pos less the stream's start, exact seeks that wait for the player
// to settle.  A player plays the one ordinary file it was given as a medium:
// it never follows a play list, a folder or a reference to other files.  Play
// ends when the player says the file ended, once its sound has drained.
// Sound goes to the machine's sound server or device (PulseAudio, PipeWire,
// ALSA: the first of those this machine has), and nowhere only when none is
// there; pictures go to a window of the channel's own when there is a display.
#ifdef TAVOLIN2_HAVE_MPV

#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include "platform/mci/audio_outputs.hpp"
#include "platform/mci/errors.hpp"
#include "platform/mci/mci.hpp"
#include "platform/mci/medium.hpp"
#include "platform/mci/movie_window.hpp"
#include "platform/mci/mpv_library.hpp"

namespace t2::mci {

namespace {

// Only reached through a backend, which exists only once the library has loaded.
const MpvLibrary& mpv() { return *mpv_library(); }

// How long the player may take to load a file or to settle after a seek.
constexpr double kLoadTimeout = 10.0, kSeekTimeout = 5.0;

// A frame rate as a fraction: whole rates and the 1000/1001 family (29.97, 23.976,
// 59.94) exactly, as their streams keep them; other rates in thousandths.
void exact_rate(double fps, int64_t& num, int64_t& den) {
    num = den = 0;
    if (!(fps > 0) || fps > 1000) return;
    if (const double n = std::round(fps); std::fabs(fps - n) < 1e-4) {
        num = static_cast<int64_t>(n);
        den = 1;
    } else if (const double m = std::round(fps * 1.001); std::fabs(fps * 1.001 - m) < 2e-3) {
        num = static_cast<int64_t>(m) * 1000;  // 30000/1001, 24000/1001, 60000/1001
        den = 1001;
    }
}

double get_double(mpv_handle* h, const char* name, double fallback) {
    double v = fallback;
    if (mpv().get_property(h, name, MPV_FORMAT_DOUBLE, &v) < 0) return fallback;
    return v;
}
int64_t get_int(mpv_handle* h, const char* name, int64_t fallback) {
    int64_t v = fallback;
    if (mpv().get_property(h, name, MPV_FORMAT_INT64, &v) < 0) return fallback;
    return v;
}
void set_flag(mpv_handle* h, const char* name, bool on) {
    int v = on ? 1 : 0;
    mpv().set_property(h, name, MPV_FORMAT_FLAG, &v);
}

// Waits for an event of the given id; false on timeout, when the file ended
// with an error, or when the player turned it into a list of other files.
bool wait_for(mpv_handle* h, mpv_event_id id, double timeout, int* end_error = nullptr) {
    while (true) {
        mpv_event* e = mpv().wait_event(h, timeout);
        if (e->event_id == MPV_EVENT_NONE) return false;
        if (e->event_id == id) return true;
        if (e->event_id == MPV_EVENT_END_FILE) {
            auto* end = static_cast<mpv_event_end_file*>(e->data);
            if (end && end->reason == MPV_END_FILE_REASON_ERROR) {
                if (end_error) *end_error = end->error;
                return false;
            }
            if (end && end->reason == MPV_END_FILE_REASON_REDIRECT) return false;
        }
        if (e->event_id == MPV_EVENT_SHUTDOWN) return false;
    }
}

// A gain 0..1 as a decimal with four places, whatever the locale.
std::string gain_text(double g) {
    const long v = std::lround(std::clamp(g, 0.0, 1.0) * 10000);
    char text[48];
    std::snprintf(text, sizeof text, "%ld.%04ld", v / 10000, v % 10000);
    return text;
}

// LC_NUMERIC "C" for as long as it lives, then the caller's setting again.
// One at a time in the process: players open on several threads at once (the
// channel's table lock is let go while they do), and two switches interleaved
// would put back the "C" the other one set.
class NumericC {
public:
    NumericC() : hold_(lock()) {
        const char* now = std::setlocale(LC_NUMERIC, nullptr);
        saved_ = now ? now : "C";
        if (saved_ != "C") std::setlocale(LC_NUMERIC, "C");
    }
    ~NumericC() {
        if (saved_ != "C") std::setlocale(LC_NUMERIC, saved_.c_str());
    }
    NumericC(const NumericC&) = delete;
    NumericC& operator=(const NumericC&) = delete;

private:
    static std::mutex& lock() {
        static std::mutex* m = new std::mutex();  // never destroyed: players may close during exit
        return *m;
    }
    std::lock_guard<std::mutex> hold_;
    std::string saved_;
};

// The player is made with LC_NUMERIC "C" (it refuses to start otherwise), and
// the caller's setting comes back at once: the process is left as it was.
mpv_handle* create_player() {
    NumericC c_numbers;
    return mpv().create();
}

std::string file_part(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void drain(mpv_handle* h) {
    while (mpv().wait_event(h, 0)->event_id != MPV_EVENT_NONE) {
    }
}

// A file descriptor this code owns, closed when it goes.
struct FileHandle {
    int fd = -1;
    explicit FileHandle(int f = -1) : fd(f) {}
    FileHandle(FileHandle&& o) noexcept : fd(std::exchange(o.fd, -1)) {}
    FileHandle& operator=(FileHandle&&) = delete;
    ~FileHandle() {
        if (fd >= 0) ::close(fd);
    }
};

class MpvSession final : public Session {
public:
    MpvSession(mpv_handle* h, MediaInfo info, double start, std::unique_ptr<MovieWindow> window, FileHandle file)
        : h_(h), info_(info), start_(start), window_(std::move(window)), file_(std::move(file)) {
        if (window_ && info_.video) {
            window_->place(0, 0, info_.width, info_.height);
            window_->show();
        }
    }
    ~MpvSession() override {
        mpv().terminate_destroy(h_);  // the player's drawing goes before its window
        window_.reset();
    }
    MediaInfo info() const override { return info_; }
    void play() override {
        set_flag(h_, "pause", false);
        halted_ = false;
    }
    void pause() override {
        set_flag(h_, "pause", true);
        held_ = raw_position();
        halted_ = true;
    }
    void seek_ms(int64_t ms) override {
        drain(h_);
        ended_ = false;
        // the target goes as a number, not as text: the player reads text numbers in the process's locale
        mpv_node args[3];
        args[0].format = MPV_FORMAT_STRING;
        args[0].u.string = const_cast<char*>("seek");
        args[1].format = MPV_FORMAT_DOUBLE;
        args[1].u.double_ = static_cast<double>(ms) / 1000.0;
        args[2].format = MPV_FORMAT_STRING;
        args[2].u.string = const_cast<char*>("absolute+exact");
        mpv_node_list list{3, args, nullptr};
        mpv_node cmd;
        cmd.format = MPV_FORMAT_NODE_ARRAY;
        cmd.u.list = &list;
        if (mpv().command_node(h_, &cmd, nullptr) >= 0) wait_for(h_, MPV_EVENT_PLAYBACK_RESTART, kSeekTimeout);
        held_ = ms;  // while halted, report the target: the player may still show the old time
    }
    // Once the file has ended the position is its length, whatever time the
    // last decoded sample had: an MP3's length counts its encoder's padding
    // (1,045 ms for a 1 s tone whose last sample plays at 1,000 ms), and a play at
    // the end must find the device at the end to start over.
    int64_t position_ms() override {
        if (ended_ || (!halted_ && at_end())) return info_.length_ms;
        if (halted_) return std::min(held_, info_.length_ms);
        return raw_position();
    }
    // The end is the player's end of file, which it reaches after its sound
    // output has played out what it holds (not when the decoder runs dry, nor
    // when the time reaches the length: either would cut off the last tenth of
    // a second).
    bool at_end() override {
        int flag = 0;
        if (!ended_ && mpv().get_property(h_, "eof-reached", MPV_FORMAT_FLAG, &flag) >= 0 && flag) ended_ = true;
        return ended_;
    }
    void set_volume(int32_t left, int32_t right) override {
        double l = left / 1000.0, r = right / 1000.0;
        double overall = std::max(left, right) / 10.0;
        mpv().set_property(h_, "volume", MPV_FORMAT_DOUBLE, &overall);
        if (left != right) {
            double top = std::max(l, r);
            std::string af = "lavfi=[pan=stereo|c0=" + gain_text(top > 0 ? l / top : 0) +
                             "*c0|c1=" + gain_text(top > 0 ? r / top : 0) + "*c1]";
            NumericC c_numbers;  // the filter's gains are read as text in the process's locale
            mpv().set_property_string(h_, "af", af.c_str());
        } else {
            mpv().set_property_string(h_, "af", "");
        }
    }
    void set_mute(bool off) override { set_flag(h_, "mute", off); }
    void set_video(bool on) override { mpv().set_property_string(h_, "vid", on ? "auto" : "no"); }
    void set_speed(int32_t milli) override {
        double s = milli / 1000.0;
        mpv().set_property(h_, "speed", MPV_FORMAT_DOUBLE, &s);
    }
    void window_state(const std::string& state) override {
        if (window_) {
            if (state == "hide")
                window_->hide();
            else if (state == "minimized" || state == "minimize" || state == "iconic")
                window_->minimize();
            else if (state == "maximized")
                window_->fill_screen();
            else
                window_->show();  // show, restore
            return;
        }
        set_flag(h_, "window-minimized", state == "minimized" || state == "minimize" || state == "iconic");
        if (state == "maximized") set_flag(h_, "window-maximized", true);
        if (state == "restore") set_flag(h_, "window-maximized", false);
    }
    void place_window(int32_t l, int32_t t, int32_t w, int32_t h) override {
        if (w <= 0 || h <= 0) return;
        if (window_) {
            window_->place(l, t, w, h);
            return;
        }
        std::string g = std::to_string(w) + "x" + std::to_string(h) + "+" + std::to_string(l) + "+" + std::to_string(t);
        mpv().set_property_string(h_, "geometry", g.c_str());
    }
    void set_fullscreen(bool on) override {
        if (window_ && on)
            window_->fill_screen();
        else
            set_flag(h_, "fullscreen", on);
    }
    bool window_rect(int32_t (&r)[4]) override { return window_ && window_->rect(r); }

private:
    // A movie's time is its shown frame's: the first whole millisecond inside that frame,
    // so that the position in frames is the frame on screen (rounded to the nearest
    // millisecond, the start of a frame at 29.97 fps could fall into the frame before).
    int64_t raw_position() {
        double t = get_double(h_, "time-pos", start_) - start_;
        const double ms = info_.video ? std::ceil(t * 1000 - 1e-3) : std::round(t * 1000);
        return std::clamp<int64_t>(static_cast<int64_t>(ms), 0, info_.length_ms);
    }
    mpv_handle* h_;
    MediaInfo info_;
    double start_;
    bool halted_ = true;
    bool ended_ = false;  // the player reached the end of the file; a seek starts it again
    int64_t held_ = 0;
    std::unique_ptr<MovieWindow> window_;
    FileHandle file_;  // what the player reads; closed after the player has gone (members go after the body)
};

class MpvBackend final : public Backend {
public:
    const char* name() const override { return "libmpv"; }
    std::unique_ptr<Session> open(const std::string& path, const OpenOptions& options, uint32_t& error) override {
        // a pipe would keep the player (and whoever waits for it) for ever; a folder or a play list is no medium
        int fd = -1;
        error = check_medium(path, &fd);
        if (error != kOk) return nullptr;
        FileHandle file(fd);  // the player reads this descriptor, never the name again
        mpv_handle* h = create_player();
        if (!h) {
            error = kInternal;
            return nullptr;
        }
        static const char* kOptions[][2] = {
            {"vo", "null"},
            {"pulse-buffer", "50"},
            {"audio-buffer", "0.05"},
            {"config", "no"},
            {"terminal", "no"},
            {"input-default-bindings", "no"},
            {"load-scripts", "no"},
            {"osc", "no"},
            {"ytdl", "no"},
            {"audio-display", "no"},
            {"idle", "yes"},
            {"keep-open", "yes"},
            {"pause", "yes"},
            {"hr-seek", "yes"},
            {"hr-seek-demuxer-offset", "1"},
            // the file is one medium: no list it holds, no file it refers to, no folder is played
            {"load-unsafe-playlists", "no"},
            {"access-references", "no"},
            {"ordered-chapters", "no"},
            {"autoload-files", "no"},
            // the end of the file is when its sound output has played out, not when it was handed over
            {"gapless-audio", "no"}};
        for (auto& o : kOptions) mpv().set_option_string(h, o[0], o[1]);
        mpv().set_option_string(h, "ao", audio_outputs(read_sound_facts()).c_str());
        // With a display the movie gets a window of the channel's own, top-level or inside the
        // caller's window `parent`, shown once the file turns out to have pictures.
        // Without one (a server, a test run) it plays headless.
        uint32_t window_error = 0;
        auto window =
            open_movie_window(static_cast<uint64_t>(options.parent), file_part(path) + " - tavolin2", &window_error);
        if (window_error) {  // a parent handle that is no window
            mpv().terminate_destroy(h);
            error = window_error;
            return nullptr;
        }
        if (window) {
            mpv().set_option_string(h, "vo", "x11");
            mpv().set_option_string(h, "wid", std::to_string(window->id()).c_str());
        }
        if (mpv().initialize(h) < 0) {
            mpv().terminate_destroy(h);
            error = kInternal;
            return nullptr;
        }
        // `replace` keeps the player's list at this one entry; a list the file turned out to be
        // (a redirect, or more entries than the one) is refused rather than played
        const std::string url = "fd://" + std::to_string(file.fd);
        const char* cmd[] = {"loadfile", url.c_str(), "replace", nullptr};
        int end_error = 0;
        if (mpv().command(h, cmd) < 0 || !wait_for(h, MPV_EVENT_FILE_LOADED, kLoadTimeout, &end_error) ||
            get_int(h, "playlist-count", 0) != 1) {
            mpv().terminate_destroy(h);
            error = kInvalidFile;
            return nullptr;
        }
        MediaInfo info;
        info.length_ms = static_cast<int64_t>(std::llround(get_double(h, "duration", 0) * 1000));
        info.width = static_cast<int32_t>(get_int(h, "video-params/w", 0));
        info.height = static_cast<int32_t>(get_int(h, "video-params/h", 0));
        if (info.width == 0) info.width = static_cast<int32_t>(get_int(h, "width", 0));
        if (info.height == 0) info.height = static_cast<int32_t>(get_int(h, "height", 0));
        // before the first picture is decoded only the container knows the size
        if (info.width == 0) info.width = static_cast<int32_t>(get_int(h, "current-tracks/video/demux-w", 0));
        if (info.height == 0) info.height = static_cast<int32_t>(get_int(h, "current-tracks/video/demux-h", 0));
        info.video = info.width > 0;
        double fps = get_double(h, "container-fps", 0);
        info.fps_milli = info.video ? static_cast<int32_t>(std::llround(fps * 1000)) : 0;
        if (info.video) exact_rate(fps, info.rate_num, info.rate_den);
        double start = get_double(h, "time-pos", 0);
        if (info.length_ms <= 0) {
            mpv().terminate_destroy(h);
            error = kInvalidFile;
            return nullptr;
        }
        return std::make_unique<MpvSession>(h, info, start, std::move(window), std::move(file));
    }
    uint32_t move_door(bool open) override { return move_drive_door(open); }
};

}  // namespace

std::unique_ptr<Backend> make_mpv_backend() { return mpv_library() ? std::make_unique<MpvBackend>() : nullptr; }

}  // namespace t2::mci
#endif
