#include "platform/mci/device.hpp"

#include <algorithm>

#include "platform/mci/tokenizer.hpp"

namespace t2::mci {

int32_t Device::fps_milli() const {
    const int32_t fps = session ? session->info().fps_milli : 0;
    return fps > 0 ? fps : kDefaultFpsMilli;
}

// Frames a second as a fraction: the player's exact rate where it has one, else the
// rate in thousandths.
void Device::rate(int64_t& num, int64_t& den) const {
    const MediaInfo info = session ? session->info() : MediaInfo{};
    num = info.rate_num > 0 && info.rate_den > 0 ? info.rate_num : fps_milli();
    den = info.rate_num > 0 && info.rate_den > 0 ? info.rate_den : 1000;
}

int64_t Device::frame_of(int64_t ms) const {
    int64_t num = 0, den = 0;
    rate(num, den);
    return ms * num / (den * 1000);
}

int64_t Device::frame_start(int64_t frame) const {
    int64_t num = 0, den = 0;
    rate(num, den);
    return (frame * den * 1000 + num - 1) / num;  // rounded up: the millisecond lies inside the frame
}

int64_t Device::to_units(int64_t ms) const { return format == Format::Ms ? ms : frame_of(ms); }

int64_t Device::from_units(int64_t v) const { return format == Format::Ms ? v : frame_start(v); }

void Device::refresh() {
    if (!session || mode != Mode::Playing) return;
    const int64_t pos = session->position_ms();
    const bool at_to = play_to >= 0 && pos >= play_to;
    if (session->at_end() || at_to) {
        session->pause();
        if (at_to) session->seek_ms(play_to);
        mode = Mode::Stopped;
        play_to = -1;
    }
}

int64_t Device::position_ms() {
    refresh();
    return std::clamp<int64_t>(session->position_ms(), 0, length_ms());
}

void Device::apply_volume() {
    if (!session) return;
    session->set_volume(left_on ? left : 0, right_on ? right : 0);
    session->set_mute(!audio);
}

std::string type_of_extension(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos) return {};
    const std::string ext = lower(path.substr(dot + 1));
    static const char* const kKnown[] = {"mp3", "mp2",  "wav", "ogg", "oga", "opus", "flac", "m4a",  "aiff", "aif",
                                         "mpg", "mpeg", "m1v", "avi", "mp4", "m4v",  "mkv",  "webm", "mov"};
    for (const char* k : kKnown)
        if (ext == k) return "mpegvideo";
    return {};
}

Device* Channel::find(const Token& name) {
    for (auto& d : devices)
        if (d->aliased ? lower(d->name) == name.key : d->name == name.text) return d.get();
    return nullptr;
}

Device* Channel::find(uint32_t id) {
    for (auto& d : devices)
        if (d->id == id) return d.get();
    return nullptr;
}

std::unique_ptr<Device> Channel::take(const Device& d) {
    std::unique_ptr<Device> gone;
    for (auto it = devices.begin(); it != devices.end(); ++it)
        if (it->get() == &d) {
            gone = std::move(*it);
            devices.erase(it);
            break;
        }
    return gone;
}

Channel& channel() {
    static Channel* c = new Channel();
    return *c;
}

}  // namespace t2::mci
