// The process-wide device table and what every device keeps: its name, its
// medium, time format, mode, volumes and window rectangle.  Time-format
// conversion, the end-of-play check and the range rules live here once for
// every backend.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/mci/mci.hpp"
#include "platform/mci/tokenizer.hpp"

namespace t2::mci {

// Frame rate assumed for frame counts of a medium that reports none (25 a second, x 1000).
constexpr int32_t kDefaultFpsMilli = 25000;
// The scale of speeds and volumes: 1000 is normal speed, full volume.
constexpr int32_t kNormal = 1000;
constexpr int32_t kMinSpeed = 10, kMaxSpeed = 100000;

enum class Format { Ms, Frames };
enum class Mode { Stopped, Playing, Paused };

struct Device {
    std::string name;      // what commands use: alias, else the path
    bool aliased = false;  // aliases match in any case, paths exactly
    std::string path;
    std::string type;  // mpegvideo, ...
    uint32_t id = 0;
    std::unique_ptr<Session> session;
    Format format = Format::Ms;
    Mode mode = Mode::Stopped;
    int32_t left = kNormal, right = kNormal, speed = kNormal;
    bool audio = true, video = true, left_on = true, right_on = true;
    int32_t dest[4] = {0, 0, 0, 0};
    int64_t play_to = -1;  // stop here, in ms; -1 for the end

    int32_t fps_milli() const;
    void rate(int64_t& num, int64_t& den) const;
    int64_t to_units(int64_t ms) const;   // ms to the device's time format
    int64_t from_units(int64_t v) const;  // the device's time format to ms
    // The frame shown at `ms`, and the first whole millisecond of a frame: a
    // position in frames survives the trip to milliseconds and back.
    int64_t frame_of(int64_t ms) const;
    int64_t frame_start(int64_t frame) const;
    int64_t length_ms() const { return session->info().length_ms; }
    // Brings the mode up to date with the medium: at the end, or at a `to` point, it stops.
    void refresh();
    // The position in ms, clamped to the medium, after a refresh.
    int64_t position_ms();
    // Sends volumes and mute to the session.
    void apply_volume();
};

// The media types the channel plays, by extension; empty for an unknown one.
std::string type_of_extension(const std::string& path);

struct Channel {
    std::mutex lock;
    std::vector<std::unique_ptr<Device>> devices;  // in opening order
    uint32_t next_id = 1;
    std::unique_ptr<Backend> real = make_mpv_backend();
    std::unique_ptr<Backend> simulated = make_simulated_backend();
    bool simulation = !real;
    std::vector<std::string>* log = nullptr;

    Backend& backend() { return simulation ? *simulated : *real; }
    Device* find(const Token& name);  // an alias in any case, a path exactly
    Device* find(uint32_t id);
    // Takes a device out of the table; its player closes when the caller lets it go.
    std::unique_ptr<Device> take(const Device& d);
    // Takes every device out of the table.
    std::vector<std::unique_ptr<Device>> take_all() { return std::exchange(devices, {}); }
};
Channel& channel();

}  // namespace t2::mci
