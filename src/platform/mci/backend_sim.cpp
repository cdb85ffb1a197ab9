// The simulated backend: media from a catalogue (or any ordinary file that is
// no play list, as three seconds of sound), played against a virtual clock that
// tests move on.  Opening and closing a file the tests hold waits until they let
// it go, as a slow player would.
#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

#include "platform/mci/errors.hpp"
#include "platform/mci/mci.hpp"
#include "platform/mci/medium.hpp"

namespace t2::mci {

namespace {

// How long a readable file the catalogue does not know plays.
constexpr int64_t kUnknownFileMs = 3000;

struct World {
    std::mutex lock;
    std::map<std::string, MediaInfo> media;
    int64_t clock_ms = 0;
    bool drive = false, door_open = false;
    std::set<std::string> held;  // files whose opening and closing wait
    int waiting = 0;             // calls waiting on a held file now
    std::condition_variable released;
};
World& world() {
    static World* w = new World();
    return *w;
}

// Waits while the tests hold `path`.
void wait_until_released(const std::string& path) {
    std::unique_lock<std::mutex> g(world().lock);
    ++world().waiting;
    world().released.wait(g, [&] { return world().held.count(path) == 0; });
    --world().waiting;
}

class SimSession final : public Session {
public:
    SimSession(MediaInfo info, std::string path) : info_(info), path_(std::move(path)) {}
    ~SimSession() override { wait_until_released(path_); }
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
    std::string path_;
    int64_t base_ = 0, started_ = 0;
    int32_t speed_ = 1000;
    bool playing_ = false;
};

class SimBackend final : public Backend {
public:
    const char* name() const override { return "simulated"; }
    std::unique_ptr<Session> open(const std::string& path, const OpenOptions&, uint32_t& error) override {
        wait_until_released(path);
        MediaInfo info;
        {
            std::lock_guard<std::mutex> g(world().lock);
            auto it = world().media.find(path);
            if (it != world().media.end()) return std::make_unique<SimSession>(it->second, path);
        }
        error = check_medium(path);
        if (error != kOk) return nullptr;
        info.length_ms = kUnknownFileMs;
        return std::make_unique<SimSession>(info, path);
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

void hold_simulated_file(const std::string& path, bool hold) {
    {
        std::lock_guard<std::mutex> g(world().lock);
        if (hold)
            world().held.insert(path);
        else
            world().held.erase(path);
    }
    world().released.notify_all();
}

int simulated_calls_held() {
    std::lock_guard<std::mutex> g(world().lock);
    return world().waiting;
}

bool simulated_door_open() {
    std::lock_guard<std::mutex> g(world().lock);
    return world().door_open;
}

std::unique_ptr<Backend> make_simulated_backend() { return std::make_unique<SimBackend>(); }

}  // namespace t2::mci
