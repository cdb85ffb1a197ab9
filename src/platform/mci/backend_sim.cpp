// The simulated backend: media from a catalogue (or any readable file, as three
// seconds of sound), played against a virtual clock that tests move on.
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/mci/errors.hpp"
#include "platform/mci/mci.hpp"

namespace t2::mci {

namespace {

// How long a readable file the catalogue does not know plays.
constexpr int64_t kUnknownFileMs = 3000;

struct World {
    std::mutex lock;
    std::map<std::string, MediaInfo> media;
    int64_t clock_ms = 0;
    bool drive = false, door_open = false;
};
World& world() {
    static World* w = new World();
    return *w;
}

class SimSession final : public Session {
public:
    explicit SimSession(MediaInfo info) : info_(info) {}
    MediaInfo info() const override { return info_; }
    void play() override {
        if (playing_) return;
        base_ = position_ms();
        started_ = now();
        playing_ = true;
    }
    void pause() override {
        base_ = position_ms();
        playing_ = false;
    }
    void seek_ms(int64_t ms) override {
        base_ = std::clamp<int64_t>(ms, 0, info_.length_ms);
        started_ = now();
    }
    int64_t position_ms() override {
        int64_t p = base_;
        if (playing_) p += (now() - started_) * speed_ / 1000;
        return std::min(p, info_.length_ms);
    }
    bool at_end() override { return position_ms() >= info_.length_ms; }
    void set_volume(int32_t, int32_t) override {}
    void set_mute(bool) override {}
    void set_video(bool) override {}
    void set_speed(int32_t milli) override {
        base_ = position_ms();
        started_ = now();
        speed_ = milli;
    }

private:
    static int64_t now() {
        std::lock_guard<std::mutex> g(world().lock);
        return world().clock_ms;
    }
    MediaInfo info_;
    int64_t base_ = 0, started_ = 0;
    int32_t speed_ = 1000;
    bool playing_ = false;
};

class SimBackend final : public Backend {
public:
    const char* name() const override { return "simulated"; }
    std::unique_ptr<Session> open(const std::string& path, const OpenOptions&, uint32_t& error) override {
        MediaInfo info;
        {
            std::lock_guard<std::mutex> g(world().lock);
            auto it = world().media.find(path);
            if (it != world().media.end()) return std::make_unique<SimSession>(it->second);
        }
        struct stat st {};
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            error = kFileNotFound;
            return nullptr;
        }
        info.length_ms = kUnknownFileMs;
        return std::make_unique<SimSession>(info);
    }
    uint32_t move_door(bool open) override {
        std::lock_guard<std::mutex> g(world().lock);
        if (!world().drive) return kDeviceNotReady;
        world().door_open = open;
        return kOk;
    }
};

}  // namespace

void simulate_media(const std::string& path, const MediaInfo& info) {
    std::lock_guard<std::mutex> g(world().lock);
    world().media[path] = info;
}

void advance_clock(int64_t ms) {
    std::lock_guard<std::mutex> g(world().lock);
    world().clock_ms += ms;
}

void simulate_disc_drive(bool present) {
    std::lock_guard<std::mutex> g(world().lock);
    world().drive = present;
    world().door_open = false;
}

bool simulated_door_open() {
    std::lock_guard<std::mutex> g(world().lock);
    return world().door_open;
}

std::unique_ptr<Backend> make_simulated_backend() { return std::make_unique<SimBackend>(); }

}  // namespace t2::mci
