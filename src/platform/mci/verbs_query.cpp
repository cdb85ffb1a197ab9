// status, info, where: the answers.
#include "platform/mci/verbs.hpp"
#include "tavolin2/version.h"

namespace t2::mci {

namespace {

// Bits per pixel of every video the channel shows.
constexpr const char* kBitsPerPel = "24";

struct StatusItem {
    const char* name;
    uint32_t (*answer)(Device& d, const MediaInfo& info, std::string& out);
};

const char* mode_text(Mode m) { return m == Mode::Playing ? "playing" : m == Mode::Paused ? "paused" : "stopped"; }

constexpr StatusItem kStatusItems[] = {
    {"mode",
     [](Device& d, const MediaInfo&, std::string& out) {
         out = mode_text(d.mode);
         return uint32_t{kOk};
     }},
    {"position",
     [](Device& d, const MediaInfo&, std::string& out) {
         out = std::to_string(d.to_units(d.position_ms()));
         return uint32_t{kOk};
     }},
    {"length",
     [](Device& d, const MediaInfo& info, std::string& out) {
         out = std::to_string(d.to_units(info.length_ms));
         return uint32_t{kOk};
     }},
    {"ready",
     [](Device&, const MediaInfo&, std::string& out) {
         out = "true";
         return uint32_t{kOk};
     }},
    {"time format",
     [](Device& d, const MediaInfo&, std::string& out) {
         out = d.format == Format::Ms ? "milliseconds" : "frames";
         return uint32_t{kOk};
     }},
    {"speed",
     [](Device& d, const MediaInfo&, std::string& out) {
         out = std::to_string(d.speed);
         return uint32_t{kOk};
     }},
    {"volume",
     [](Device& d, const MediaInfo&, std::string& out) {
         out = std::to_string((d.left + d.right) / 2);
         return uint32_t{kOk};
     }},
    {"audio",
     [](Device& d, const MediaInfo&, std::string& out) {
         out = d.audio ? "on" : "off";
         return uint32_t{kOk};
     }},
    {"video",
     [](Device& d, const MediaInfo&, std::string& out) {
         out = d.video ? "on" : "off";
         return uint32_t{kOk};
     }},
    {"left volume",
     [](Device& d, const MediaInfo&, std::string& out) {
         out = std::to_string(d.left);
         return uint32_t{kOk};
     }},
    {"right volume",
     [](Device& d, const MediaInfo&, std::string& out) {
         out = std::to_string(d.right);
         return uint32_t{kOk};
     }},
    {"bitsperpel",
     [](Device&, const MediaInfo& info, std::string& out) {
         if (!info.video) return uint32_t{kUnsupportedFunction};
         out = kBitsPerPel;
         return uint32_t{kOk};
     }},
    {"monitor input",
     [](Device&, const MediaInfo&, std::string& out) {
         out = "file";
         return uint32_t{kOk};
     }},
    {"monitor output",
     [](Device&, const MediaInfo&, std::string& out) {
         out = "file";
         return uint32_t{kOk};
     }},
    {"frame rate",
     [](Device&, const MediaInfo& info, std::string& out) {
         if (!info.video) return uint32_t{kUnsupportedFunction};
         out = std::to_string(info.fps_milli);
         return uint32_t{kOk};
     }},
    {"nominal frame rate",
     [](Device&, const MediaInfo& info, std::string& out) {
         if (!info.video) return uint32_t{kUnsupportedFunction};
         out = std::to_string(info.fps_milli);
         return uint32_t{kOk};
     }},
};

// The item's words: one, or two after time/frame/nominal/left/right/monitor, three for "nominal frame rate".
std::string status_item(const std::vector<Token>& t, size_t& used) {
    std::string item = t[2].key;
    used = 3;
    static const char* const kTwoWords[] = {"time", "frame", "nominal", "left", "right", "monitor"};
    bool two = false;
    for (const char* w : kTwoWords) two |= item == w;
    if (!two || t.size() <= 3) return item;
    item += " " + t[3].key;
    used = 4;
    if (item == "nominal frame" && t.size() > 4) {
        item += " " + t[4].key;
        used = 5;
    }
    return item;
}

}  // namespace

uint32_t verb_status(Context& c, Device& d) {
    if (c.t.size() < 3) return kMissingParameter;
    size_t used = 0;
    const std::string item = status_item(c.t, used);
    if (!c.only_flags(used)) return kUnrecognizedKeyword;
    d.refresh();
    const MediaInfo info = d.session->info();
    for (const StatusItem& s : kStatusItems) {
        if (item != s.name) continue;
        std::string out;
        const uint32_t r = s.answer(d, info, out);
        if (r == kOk) c.reply = out;
        return r;
    }
    return kBadConstant;
}

uint32_t verb_info(Context& c, Device&) {
    if (c.t.size() < 3) return kMissingParameter;
    const std::string& what = c.t[2].key;
    if (what == "product")
        c.reply =
            c.ch.real && !c.ch.simulation ? "tavolin2 media channel (libmpv)" : "tavolin2 media channel (simulated)";
    else if (what == "version")
        c.reply = T2_VERSION_STRING;
    else
        return kBadConstant;
    return kOk;
}

uint32_t verb_where(Context& c, Device& d) {
    const auto& t = c.t;
    const MediaInfo info = d.session->info();
    if (t.size() >= 3 && t[2].key == "source") {
        c.reply = "0 0 " + std::to_string(info.width) + " " + std::to_string(info.height);
        return kOk;
    }
    if (t.size() >= 3 && t[2].key == "destination") {
        // the window as it is (filled to the screen, or placed where a size of 0 left it
        // unchanged); without a window, what was asked for
        int32_t r[4] = {d.dest[0], d.dest[1], d.dest[2], d.dest[3]};
        d.session->window_rect(r);
        c.reply =
            std::to_string(r[0]) + " " + std::to_string(r[1]) + " " + std::to_string(r[2]) + " " + std::to_string(r[3]);
        return kOk;
    }
    return kMissingParameter;
}

}  // namespace t2::mci
