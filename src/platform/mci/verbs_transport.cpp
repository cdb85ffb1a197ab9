// play, stop, pause, resume, seek, step: moving through a medium.
#include <chrono>
#include <optional>
#include <thread>

#include "platform/mci/verbs.hpp"

namespace t2::mci {

namespace {

// How `play ... wait` looks at a playing device: the simulation's clock moves
// on by a step, a real player is polled.
constexpr int64_t kSimulatedWaitStepMs = 10;
constexpr auto kRealWaitPoll = std::chrono::milliseconds(5);

// Waits until the device `id` stops playing (or is closed).  The table lock is
// let go between looks, so other threads' media calls go on meanwhile.
void wait_while_playing(Context& c, uint32_t id) {
    for (;;) {
        Device* d = c.ch.find(id);
        if (!d) return;
        d->refresh();
        if (d->mode != Mode::Playing) return;
        const bool simulated = c.ch.simulation;
        c.lock.unlock();
        if (simulated)
            advance_clock(kSimulatedWaitStepMs);
        else
            std::this_thread::sleep_for(kRealWaitPoll);
        c.lock.lock();
    }
}

}  // namespace

uint32_t verb_play(Context& c, Device& d) {
    const auto& t = c.t;
    std::optional<int64_t> from, to;  // absent: from the current place, to the end
    bool wait = false;
    for (size_t i = 2; i < t.size(); ++i) {
        const std::string& k = t[i].key;
        if (k == "wait") {
            wait = true;
        } else if (k == "fullscreen") {
            d.session->set_fullscreen(true);
        } else if (k == "notify" || k == "window") {
            continue;
        } else if (k == "from" || k == "to") {
            int64_t v;
            if (i + 1 >= t.size()) return kMissingParameter;
            if (!parse_int(t[i + 1].text, v)) return kBadInteger;
            if (v < 0) return kOutOfRange;
            ((k == "from") ? from : to) = d.from_units(v);
            ++i;
        } else {
            return kUnrecognizedKeyword;
        }
    }
    const int64_t length = d.length_ms();
    if ((from && *from > length) || (to && *to > length)) return kOutOfRange;
    if (from)
        d.session->seek_ms(*from);
    else if (d.position_ms() >= length)
        d.session->seek_ms(0);  // at the end a play starts over
    d.play_to = to.value_or(-1);
    d.session->play();
    d.mode = Mode::Playing;
    if (wait) wait_while_playing(c, d.id);
    return kOk;
}

uint32_t verb_stop(Context& c, Device& d) {
    if (!c.only_flags(2)) return kUnrecognizedKeyword;
    d.refresh();
    d.session->pause();
    d.mode = Mode::Stopped;
    return kOk;
}

uint32_t verb_pause(Context& c, Device& d) {
    if (!c.only_flags(2)) return kUnrecognizedKeyword;
    d.refresh();
    d.session->pause();
    if (d.mode == Mode::Playing) d.mode = Mode::Paused;
    return kOk;
}

uint32_t verb_resume(Context& c, Device& d) {
    if (!c.only_flags(2)) return kUnrecognizedKeyword;
    d.session->play();
    d.mode = Mode::Playing;
    return kOk;
}

uint32_t verb_seek(Context& c, Device& d) {
    const auto& t = c.t;
    if (t.size() < 3) return kMissingParameter;
    if (t[2].key != "to") return kUnrecognizedKeyword;
    if (t.size() < 4) return kMissingParameter;
    const int64_t length = d.length_ms();
    int64_t target;
    if (t[3].key == "start") {
        target = 0;
    } else if (t[3].key == "end") {
        target = length;
    } else {
        int64_t v;
        if (!parse_int(t[3].text, v)) return kBadInteger;
        target = d.from_units(v);
    }
    if (!c.only_flags(4)) return kUnrecognizedKeyword;
    if (target < 0 || target > length) return kOutOfRange;
    d.session->pause();
    d.session->seek_ms(target);
    d.mode = Mode::Stopped;
    d.play_to = -1;
    return kOk;
}

// step [reverse] [by N]: N frames on (or back), one without a count.
uint32_t verb_step(Context& c, Device& d) {
    const auto& t = c.t;
    size_t i = 2;
    const bool reverse = i < t.size() && t[i].key == "reverse";
    if (reverse) ++i;
    int64_t n = 1;
    if (i < t.size() && t[i].key == "by") {
        if (i + 1 >= t.size()) return kMissingParameter;
        if (!parse_int(t[i + 1].text, n)) return kBadInteger;
    }
    const int64_t frame = d.frame_of(d.position_ms()) + (reverse ? -n : n);
    const int64_t target = frame < 0 ? -1 : d.frame_start(frame);
    if (target < 0 || target > d.length_ms()) return kOutOfRange;
    d.session->pause();
    d.session->seek_ms(target);
    d.mode = Mode::Paused;
    return kOk;
}

}  // namespace t2::mci
