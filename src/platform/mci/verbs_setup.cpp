// open, close, set, setaudio, window, put: making and shaping devices.
#include "base/codepage.hpp"
#include "base/strings.hpp"
#include "platform/mci/verbs.hpp"

namespace t2::mci {

namespace {

constexpr int32_t kMaxVolume = 1000;

struct OpenWords {
    std::string type, alias;
    bool had_type = false, had_alias = false;
    OpenOptions options;
};

// The options after `open NAME`: type, alias, parent, style, and the flags.
uint32_t parse_open(const std::vector<Token>& t, OpenWords& w) {
    for (size_t i = 2; i < t.size(); ++i) {
        const std::string& k = t[i].key;
        if (k == "wait" || k == "notify" || k == "shareable") continue;
        if (k != "type" && k != "alias" && k != "parent" && k != "style") return kUnrecognizedKeyword;
        if (i + 1 >= t.size()) return kMissingParameter;
        const Token& value = t[++i];
        if (k == "type") {
            if (w.had_type) return kDuplicateFlags;
            w.had_type = true;
            w.type = value.key;
        } else if (k == "alias") {
            if (w.had_alias) return kDuplicateFlags;
            w.had_alias = true;
            w.alias = value.text;
        } else if (k == "parent") {
            int64_t v = 0;
            if (!parse_int(value.text, v)) return kBadInteger;
            w.options.parent = v;
        }  // the style is the window system's business
    }
    return kOk;
}

bool playable_type(const std::string& type) {
    return type == "mpegvideo" || type == "mpegaudio" || type == "waveaudio";
}

uint32_t set_time_format(Device& d, const std::vector<Token>& t) {
    if (t.size() < 5 || t[3].key != "format") return kMissingParameter;
    const std::string& f = t[4].key;
    if (f == "ms" || f == "milliseconds")
        d.format = Format::Ms;
    else if (f == "frames")
        d.format = Format::Frames;
    else
        return kBadTimeFormat;
    return kOk;
}

uint32_t set_audio(Device& d, const std::vector<Token>& t) {
    if (t.size() < 5) return kMissingParameter;
    const bool on = t[4].key == "on";
    if (!on && t[4].key != "off") return kUnrecognizedKeyword;
    const std::string& side = t[3].key;
    if (side == "all")
        d.audio = on;
    else if (side == "left")
        d.left_on = on;
    else if (side == "right")
        d.right_on = on;
    else
        return kUnrecognizedKeyword;
    d.apply_volume();
    return kOk;
}

uint32_t set_video(Device& d, const std::vector<Token>& t) {
    if (t.size() < 4) return kMissingParameter;
    const bool on = t[3].key == "on";
    if (!on && t[3].key != "off") return kUnrecognizedKeyword;
    d.video = on;
    d.session->set_video(on);
    return kOk;
}

uint32_t set_speed(Device& d, const std::vector<Token>& t) {
    if (t.size() < 4) return kMissingParameter;
    int64_t v;
    if (!parse_int(t[3].text, v)) return kBadInteger;
    if (v < kMinSpeed || v > kMaxSpeed) return kOutOfRange;
    d.speed = static_cast<int32_t>(v);
    d.session->set_speed(d.speed);
    return kOk;
}

struct SetRow {
    const char* item;
    uint32_t (*run)(Device&, const std::vector<Token>&);
};
constexpr SetRow kSetItems[] = {
    {"time", set_time_format}, {"audio", set_audio}, {"video", set_video}, {"speed", set_speed}};

// 0 when `name` is free, else why not: an alias is taken in any case by an alias, a path only exactly.
uint32_t name_taken(const Channel& ch, const std::string& name, bool alias) {
    for (const auto& other : ch.devices)
        if (other->name == name || ((alias || other->aliased) && lower(other->name) == lower(name)))
            return alias ? kDuplicateAlias : kDeviceOpen;
    return kOk;
}

}  // namespace

// The player opens, probes and rewinds the file with the table lock let go: a
// slow file (or a slow player) keeps only its own caller waiting.  The device
// joins the table afterwards, unless another thread took its name meanwhile.
uint32_t verb_open(Context& c) {
    const Token& target = c.t[1];
    OpenWords w;
    if (const uint32_t r = parse_open(c.t, w)) return r;
    if (target.key == "cdaudio") return kDeviceNotReady;  // no disc is played here
    const std::string type = w.had_type ? w.type : type_of_extension(target.text);
    if (type.empty()) return kExtensionNotFound;
    if (!playable_type(type)) return kUnsupportedFunction;
    const std::string name = w.had_alias ? w.alias : target.text;
    if (const uint32_t r = name_taken(c.ch, name, w.had_alias)) return r;
    // the command is in the 8-bit code page; the file system names files in UTF-8
    const std::string file = to_utf8(from_code_page(target.text.data(), target.text.size()));
    Backend& backend = c.ch.backend();
    c.lock.unlock();
    uint32_t error = kOk;
    auto session = backend.open(file, w.options, error);
    MediaInfo info;
    if (session) {
        session->pause();
        session->seek_ms(0);
        info = session->info();
    }
    c.lock.lock();
    if (!session) return error ? error : kInvalidFile;
    if (const uint32_t r = name_taken(c.ch, name, w.had_alias)) {
        c.lock.unlock();
        session.reset();
        c.lock.lock();
        return r;
    }
    auto d = std::make_unique<Device>();
    d->name = name;
    d->aliased = w.had_alias;
    d->path = file;
    d->type = type;
    d->id = c.ch.next_id++;
    d->session = std::move(session);
    d->dest[2] = info.width;
    d->dest[3] = info.height;
    c.reply = std::to_string(d->id);
    c.ch.devices.push_back(std::move(d));
    return kOk;
}

// The device leaves the table under the lock and its player closes after it.
uint32_t verb_close(Context& c, Device& d) {
    if (!c.only_flags(2)) return kUnrecognizedKeyword;
    std::unique_ptr<Device> gone = c.ch.take(d);
    c.lock.unlock();
    gone.reset();
    c.lock.lock();
    return kOk;
}

uint32_t verb_set(Context& c, Device& d) {
    if (c.t.size() < 3) return kMissingParameter;
    for (const SetRow& row : kSetItems)
        if (c.t[2].key == row.item) return row.run(d, c.t);
    return kUnrecognizedKeyword;
}

// setaudio [left|right] volume to N
uint32_t verb_setaudio(Context& c, Device& d) {
    const auto& t = c.t;
    size_t i = 2;
    std::string side = "all";
    if (i < t.size() && (t[i].key == "left" || t[i].key == "right")) side = t[i++].key;
    if (i + 2 >= t.size()) return kMissingParameter;
    if (t[i].key != "volume" || t[i + 1].key != "to") return kUnrecognizedKeyword;
    int64_t v;
    if (!parse_int(t[i + 2].text, v)) return kBadInteger;
    if (v < 0 || v > kMaxVolume) return kOutOfRange;
    if (side != "right") d.left = static_cast<int32_t>(v);
    if (side != "left") d.right = static_cast<int32_t>(v);
    d.apply_volume();
    return kOk;
}

// window state hide|minimized|show|restore|maximized
uint32_t verb_window(Context& c, Device& d) {
    const auto& t = c.t;
    if (t.size() < 4 || t[2].key != "state") return kMissingParameter;
    static const char* const kStates[] = {"hide", "minimized", "show", "restore", "maximized", "minimize", "iconic"};
    for (const char* st : kStates)
        if (t[3].key == st) {
            d.session->window_state(t[3].key);
            return kOk;
        }
    return kUnrecognizedKeyword;
}

// put window [at l t w h]: without a rectangle the default place and size.
uint32_t verb_put(Context& c, Device& d) {
    const auto& t = c.t;
    if (t.size() < 3 || t[2].key != "window") return kUnrecognizedKeyword;
    if (t.size() == 3) {
        const MediaInfo info = d.session->info();
        d.dest[0] = d.dest[1] = 0;
        d.dest[2] = info.width;
        d.dest[3] = info.height;
        d.session->place_window(0, 0, info.width, info.height);
        return kOk;
    }
    if (t[3].key != "at" || t.size() < 8) return kMissingParameter;
    int64_t v[4];
    for (size_t k = 0; k < 4; ++k)
        if (!parse_int(t[4 + k].text, v[k])) return kBadInteger;
    for (size_t k = 0; k < 4; ++k) d.dest[k] = static_cast<int32_t>(v[k]);
    d.session->place_window(d.dest[0], d.dest[1], d.dest[2], d.dest[3]);
    return kOk;
}

}  // namespace t2::mci
