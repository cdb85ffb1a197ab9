// The channel: the command parser, the process-wide device table, time formats,
// modes, range checks and the answers, the same for every backend.
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/mci/mci.hpp"
#include "tavolin2/version.h"

namespace t2::mci {

namespace {

// Error numbers of the channel.
enum : uint32_t {
    kOk = 0, kUnrecognizedKeyword = 259, kUnrecognizedCommand = 261, kInvalidDeviceName = 263, kDeviceOpen = 265,
    kMissingCommand = 267, kParamOverflow = 268, kBadInteger = 270, kMissingParameter = 273,
    kUnsupported = 274, kFileNotFound = 275, kNotReady = 276, kCannotUseAll = 279, kExtensionNotFound = 281,
    kOutOfRange = 282, kFlagsNotCompatible = 284, kDuplicateAlias = 289, kBadConstant = 290,
    kMissingDeviceName = 292, kBadTimeFormat = 293, kNoClosingQuote = 294, kDuplicateFlags = 295,
    kInvalidFile = 296, kExtraCharacters = 305,
};

struct ErrorText {
    uint32_t code;
    const char* text;
};
// Our words for the numbers the channel gives.
constexpr ErrorText kErrors[] = {
    {0, "The command was carried out."},
    {257, "No open device has that number."},
    {259, "A word of the command is not one this command knows."},
    {261, "The command word is not known to the device."},
    {262, "The device reports a fault of its hardware."},
    {263, "No open device has that name, and it is no device type either."},
    {264, "There was not enough memory for the command."},
    {265, "A device of that name is open already."},
    {267, "The command is empty."},
    {268, "The answer does not fit the reply buffer given."},
    {269, "A word that needs a text after it has none."},
    {270, "A word that needs a whole number is followed by something else."},
    {273, "A value the command needs, such as the target of a seek, is missing."},
    {274, "The device does not offer this command or option."},
    {275, "The file named cannot be found."},
    {276, "The device is not ready."},
    {277, "The media system failed while carrying out the command."},
    {279, "The name all cannot be used with this command."},
    {281, "No device type goes with the file's extension; name a type."},
    {282, "A value is outside what the device or the medium allows."},
    {284, "Two options that exclude each other were given together."},
    {289, "That alias names an open device already."},
    {290, "The item asked for is not one this command knows."},
    {292, "The command names no device."},
    {293, "The time format is not one the device knows."},
    {294, "A quoted name has no closing quote."},
    {295, "An option was given twice."},
    {296, "The file cannot be played by this device."},
    {305, "There are characters right after a closing quote."},
};

enum class Format { Ms, Frames };

struct Device {
    std::string name;   // what commands use: alias, else the path
    std::string path;
    std::string type;   // mpegvideo, cdaudio
    uint32_t id = 0;
    std::unique_ptr<Session> session;
    Format format = Format::Ms;
    enum class Mode { Stopped, Playing, Paused } mode = Mode::Stopped;
    int32_t left = 1000, right = 1000, speed = 1000;
    bool audio = true, video = true, left_on = true, right_on = true;
    int32_t dest[4] = {0, 0, 0, 0};
    int64_t play_to = -1;  // stop here, in ms
};

struct Channel {
    std::recursive_mutex lock;
    std::vector<std::unique_ptr<Device>> devices;  // in opening order
    uint32_t next_id = 1;
    std::unique_ptr<Backend> real = make_mpv_backend();
    std::unique_ptr<Backend> simulated = make_simulated_backend();
    bool simulation = !real;
    std::vector<std::string>* log = nullptr;
    bool door_open = false;
    Backend& backend() { return simulation ? *simulated : *real; }
};
Channel& channel() {
    static Channel* c = new Channel();
    return *c;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct Token {
    std::string text;  // as written (quotes removed)
    std::string key;   // lower case
    bool quoted = false;
};

uint32_t tokenize(const std::string& cmd, std::vector<Token>& out) {
    size_t i = 0;
    while (i < cmd.size()) {
        unsigned char c = static_cast<unsigned char>(cmd[i]);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        Token t;
        if (c == '"') {
            size_t close = cmd.find('"', i + 1);
            if (close == std::string::npos) return kNoClosingQuote;
            t.text = cmd.substr(i + 1, close - i - 1);
            t.quoted = true;
            i = close + 1;
            if (i < cmd.size() && cmd[i] != ' ' && cmd[i] != '\t') return kExtraCharacters;
        } else {
            size_t end = i;
            while (end < cmd.size() && cmd[end] != ' ' && cmd[end] != '\t' && cmd[end] != '\r' && cmd[end] != '\n') ++end;
            t.text = cmd.substr(i, end - i);
            i = end;
        }
        t.key = lower(t.text);
        out.push_back(std::move(t));
    }
    return kOk;
}

bool parse_int(const std::string& s, int64_t& v) {
    if (s.empty() || s.size() > 18) return false;
    size_t k = s[0] == '-' ? 1 : 0;
    if (k == s.size()) return false;
    for (size_t i = k; i < s.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    v = std::stoll(s);
    return true;
}

std::string type_of_extension(const std::string& path) {
    auto dot = path.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string ext = lower(path.substr(dot + 1));
    static const char* kKnown[] = {"mp3", "mp2", "wav", "ogg", "flac", "m4a", "mpg", "mpeg", "m1v", "avi", "mp4", "mkv", "webm", "mov"};
    for (const char* k : kKnown)
        if (ext == k) return "mpegvideo";
    return {};
}

Device* find_device(Channel& ch, const std::string& key) {
    for (auto& d : ch.devices)
        if (lower(d->name) == key) return d.get();
    return nullptr;
}

int64_t to_units(const Device& d, int64_t ms) {
    if (d.format == Format::Ms) return ms;
    int32_t fps = d.session ? d.session->info().fps_milli : 0;
    if (fps <= 0) fps = 25000;
    return ms * fps / 1000000;
}
int64_t from_units(const Device& d, int64_t v) {
    if (d.format == Format::Ms) return v;
    int32_t fps = d.session ? d.session->info().fps_milli : 0;
    if (fps <= 0) fps = 25000;
    return v * 1000000 / fps;
}

// Brings the device's mode up to date with its medium: at the end, or at a `to` point, it stops.
void refresh(Device& d) {
    if (!d.session || d.mode != Device::Mode::Playing) return;
    int64_t pos = d.session->position_ms();
    if (d.session->at_end() || (d.play_to >= 0 && pos >= d.play_to)) {
        d.session->pause();
        if (d.play_to >= 0 && pos >= d.play_to) d.session->seek_ms(d.play_to);
        d.mode = Device::Mode::Stopped;
        d.play_to = -1;
    }
}

int64_t position_ms(Device& d) {
    refresh(d);
    int64_t len = d.session->info().length_ms;
    return std::clamp<int64_t>(d.session->position_ms(), 0, len);
}

struct Reply {
    std::string text;
    bool set = false;
    void operator=(const std::string& s) {
        text = s;
        set = true;
    }
};

void apply_volume(Device& d) {
    if (!d.session) return;
    d.session->set_volume(d.left_on ? d.left : 0, d.right_on ? d.right : 0);
    d.session->set_mute(!d.audio);
}

uint32_t run(Channel& ch, const std::vector<Token>& t, Reply& reply);

uint32_t run_open(Channel& ch, const std::vector<Token>& t, Reply& reply) {
    const Token& target = t[1];
    std::string type, alias;
    bool had_type = false, had_alias = false;
    OpenOptions options;
    for (size_t i = 2; i < t.size(); ++i) {
        const std::string& k = t[i].key;
        if (k == "wait" || k == "notify" || k == "shareable") continue;
        if (k == "type" || k == "alias" || k == "parent" || k == "style") {
            if (i + 1 >= t.size()) return kMissingParameter;
            if (k == "type") {
                if (had_type) return kDuplicateFlags;
                had_type = true;
                type = t[++i].key;
            } else if (k == "alias") {
                if (had_alias) return kDuplicateFlags;
                had_alias = true;
                alias = t[++i].text;
            } else {
                int64_t v = 0;
                if (k == "parent") {
                    if (!parse_int(t[i + 1].text, v)) return kBadInteger;
                    options.parent = v;
                }
                ++i;  // the style is the window system's business
            }
            continue;
        }
        return kUnrecognizedKeyword;
    }
    if (target.key == "cdaudio") return kNotReady;  // no disc drive is driven here
    if (!had_type) type = type_of_extension(target.text);
    if (type.empty()) return kExtensionNotFound;
    if (type != "mpegvideo" && type != "mpegaudio" && type != "waveaudio") return kUnsupported;
    std::string name = had_alias ? alias : target.text;
    if (find_device(ch, lower(name))) return had_alias ? kDuplicateAlias : kDeviceOpen;
    uint32_t error = kOk;
    auto session = ch.backend().open(target.text, options, error);
    if (!session) return error ? error : kInvalidFile;
    auto d = std::make_unique<Device>();
    d->name = name;
    d->path = target.text;
    d->type = type;
    d->id = ch.next_id++;
    d->session = std::move(session);
    d->session->pause();
    d->session->seek_ms(0);
    MediaInfo info = d->session->info();
    d->dest[2] = info.width;
    d->dest[3] = info.height;
    reply = std::to_string(d->id);
    ch.devices.push_back(std::move(d));
    return kOk;
}

uint32_t run_status(Device& d, const std::vector<Token>& t, Reply& reply) {
    if (t.size() < 3) return kMissingParameter;
    std::string item = t[2].key;
    size_t used = 3;
    if ((item == "time" || item == "frame" || item == "nominal" || item == "left" || item == "right" ||
         item == "monitor") && t.size() > 3) {
        item += " " + t[3].key;
        used = 4;
        if (item == "nominal frame" && t.size() > 4) {
            item += " " + t[4].key;
            used = 5;
        }
    }
    for (size_t i = used; i < t.size(); ++i)
        if (t[i].key != "wait" && t[i].key != "notify") return kUnrecognizedKeyword;
    refresh(d);
    MediaInfo info = d.session->info();
    if (item == "mode") {
        reply = d.mode == Device::Mode::Playing ? "playing" : d.mode == Device::Mode::Paused ? "paused" : "stopped";
    } else if (item == "position") {
        reply = std::to_string(to_units(d, position_ms(d)));
    } else if (item == "length") {
        reply = std::to_string(to_units(d, info.length_ms));
    } else if (item == "ready") {
        reply = "true";
    } else if (item == "time format") {
        reply = d.format == Format::Ms ? "milliseconds" : "frames";
    } else if (item == "speed") {
        reply = std::to_string(d.speed);
    } else if (item == "volume") {
        reply = std::to_string((d.left + d.right) / 2);
    } else if (item == "audio") {
        reply = d.audio ? "on" : "off";
    } else if (item == "video") {
        reply = d.video ? "on" : "off";
    } else if (item == "left volume") {
        reply = std::to_string(d.left);
    } else if (item == "right volume") {
        reply = std::to_string(d.right);
    } else if (item == "bitsperpel") {
        if (!info.video) return kUnsupported;
        reply = "24";
    } else if (item == "monitor input" || item == "monitor output") {
        reply = "file";
    } else if (item == "frame rate" || item == "nominal frame rate") {
        if (!info.video) return kUnsupported;
        reply = std::to_string(info.fps_milli);
    } else {
        return kBadConstant;
    }
    return kOk;
}

uint32_t run_set(Device& d, const std::vector<Token>& t) {
    if (t.size() < 3) return kMissingParameter;
    const std::string& k = t[2].key;
    if (k == "time") {
        if (t.size() < 5 || t[3].key != "format") return kMissingParameter;
        const std::string& f = t[4].key;
        if (f == "ms" || f == "milliseconds") d.format = Format::Ms;
        else if (f == "frames") d.format = Format::Frames;
        else return kBadTimeFormat;
        return kOk;
    }
    if (k == "audio") {
        if (t.size() < 5) return kMissingParameter;
        bool on = t[4].key == "on";
        if (!on && t[4].key != "off") return kUnrecognizedKeyword;
        if (t[3].key == "all") d.audio = on;
        else if (t[3].key == "left") d.left_on = on;
        else if (t[3].key == "right") d.right_on = on;
        else return kUnrecognizedKeyword;
        apply_volume(d);
        return kOk;
    }
    if (k == "video") {
        if (t.size() < 4) return kMissingParameter;
        bool on = t[3].key == "on";
        if (!on && t[3].key != "off") return kUnrecognizedKeyword;
        d.video = on;
        d.session->set_video(on);
        return kOk;
    }
    if (k == "speed") {
        int64_t v;
        if (t.size() < 4) return kMissingParameter;
        if (!parse_int(t[3].text, v)) return kBadInteger;
        if (v < 10 || v > 100000) return kOutOfRange;
        d.speed = static_cast<int32_t>(v);
        d.session->set_speed(d.speed);
        return kOk;
    }
    return kUnrecognizedKeyword;
}

uint32_t run_device(Channel& ch, Device& d, const std::vector<Token>& t, Reply& reply) {
    const std::string& verb = t[0].key;
    auto flag_only = [&](size_t from) {
        for (size_t i = from; i < t.size(); ++i)
            if (t[i].key != "wait" && t[i].key != "notify") return false;
        return true;
    };
    if (verb == "close") {
        if (!flag_only(2)) return kUnrecognizedKeyword;
        ch.devices.erase(std::remove_if(ch.devices.begin(), ch.devices.end(), [&](auto& p) { return p.get() == &d; }),
                         ch.devices.end());
        return kOk;
    }
    if (verb == "status") return run_status(d, t, reply);
    if (verb == "set") return run_set(d, t);
    const int64_t length = d.session->info().length_ms;
    if (verb == "play") {
        int64_t from = -1, to = -1;
        bool wait = false;
        for (size_t i = 2; i < t.size(); ++i) {
            const std::string& k = t[i].key;
            if (k == "wait") wait = true;
            else if (k == "fullscreen") d.session->set_fullscreen(true);
            else if (k == "notify" || k == "window") continue;
            else if (k == "from" || k == "to") {
                int64_t v;
                if (i + 1 >= t.size()) return kMissingParameter;
                if (!parse_int(t[i + 1].text, v)) return kBadInteger;
                ((k == "from") ? from : to) = from_units(d, v);
                ++i;
            } else {
                return kUnrecognizedKeyword;
            }
        }
        if ((from >= 0 && from > length) || from < -1 || (to >= 0 && to > length) || to < -1) return kOutOfRange;
        if (from >= 0) d.session->seek_ms(from);
        else if (position_ms(d) >= length) d.session->seek_ms(0);  // at the end a play starts over
        d.play_to = to;
        d.session->play();
        d.mode = Device::Mode::Playing;
        if (wait) {
            while (d.mode == Device::Mode::Playing) {
                refresh(d);
                if (d.mode == Device::Mode::Playing) {
                    if (ch.simulation) advance_clock(10);
                    else std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            }
        }
        return kOk;
    }
    if (verb == "stop" || verb == "pause") {
        if (!flag_only(2)) return kUnrecognizedKeyword;
        refresh(d);
        d.session->pause();
        if (d.mode == Device::Mode::Playing || verb == "stop") d.mode = verb == "stop" ? Device::Mode::Stopped : Device::Mode::Paused;
        return kOk;
    }
    if (verb == "resume") {
        if (!flag_only(2)) return kUnrecognizedKeyword;
        d.session->play();
        d.mode = Device::Mode::Playing;
        return kOk;
    }
    if (verb == "seek") {
        if (t.size() < 4 || t[2].key != "to") return t.size() < 3 ? kMissingParameter : (t[2].key == "to" ? kMissingParameter : kUnrecognizedKeyword);
        int64_t target;
        if (t[3].key == "start") target = 0;
        else if (t[3].key == "end") target = length;
        else {
            int64_t v;
            if (!parse_int(t[3].text, v)) return kBadInteger;
            target = from_units(d, v);
        }
        if (!flag_only(4)) return kUnrecognizedKeyword;
        if (target < 0 || target > length) return kOutOfRange;
        d.session->pause();
        d.session->seek_ms(target);
        d.mode = Device::Mode::Stopped;
        d.play_to = -1;
        return kOk;
    }
    if (verb == "setaudio") {
        // setaudio [left|right] volume to N
        size_t i = 2;
        std::string side = "all";
        if (i < t.size() && (t[i].key == "left" || t[i].key == "right")) side = t[i++].key;
        if (i + 2 >= t.size()) return kMissingParameter;
        if (t[i].key != "volume" || t[i + 1].key != "to") return kUnrecognizedKeyword;
        int64_t v;
        if (!parse_int(t[i + 2].text, v)) return kBadInteger;
        if (v < 0 || v > 1000) return kOutOfRange;
        if (side != "right") d.left = static_cast<int32_t>(v);
        if (side != "left") d.right = static_cast<int32_t>(v);
        apply_volume(d);
        return kOk;
    }
    if (verb == "info") {
        if (t.size() < 3) return kMissingParameter;
        if (t[2].key == "product") reply = ch.real && !ch.simulation ? "tavolin2 media channel (libmpv)" : "tavolin2 media channel (simulated)";
        else if (t[2].key == "version") reply = T2_VERSION_STRING;
        else return kBadConstant;
        return kOk;
    }
    if (verb == "window") {
        // window [state hide|minimized|show|restore|maximized]: the channel keeps no window of its own here
        if (t.size() >= 4 && t[2].key == "state") {
            static const char* kStates[] = {"hide", "minimized", "show", "restore", "maximized", "minimize", "iconic"};
            for (const char* st : kStates)
                if (t[3].key == st) {
                    d.session->window_state(t[3].key);
                    return kOk;
                }
            return kUnrecognizedKeyword;
        }
        return kMissingParameter;
    }
    if (verb == "put") {
        // put window [at l t w h]: without a rectangle the default place and size
        if (t.size() < 3 || t[2].key != "window") return kUnrecognizedKeyword;
        MediaInfo info = d.session->info();
        if (t.size() == 3) {
            d.dest[0] = d.dest[1] = 0;
            d.dest[2] = info.width;
            d.dest[3] = info.height;
            return kOk;
        }
        if (t[3].key != "at" || t.size() < 8) return kMissingParameter;
        int64_t v[4];
        for (int k = 0; k < 4; ++k)
            if (!parse_int(t[4 + static_cast<size_t>(k)].text, v[k])) return kBadInteger;
        for (int k = 0; k < 4; ++k) d.dest[k] = static_cast<int32_t>(v[k]);
        d.session->place_window(d.dest[0], d.dest[1], d.dest[2], d.dest[3]);
        return kOk;
    }
    if (verb == "step") {
        // step [reverse] by N (frames)
        size_t i = 2;
        bool reverse = false;
        if (i < t.size() && t[i].key == "reverse") {
            reverse = true;
            ++i;
        }
        int64_t n = 1;
        if (i < t.size() && t[i].key == "by") {
            if (i + 1 >= t.size()) return kMissingParameter;
            if (!parse_int(t[i + 1].text, n)) return kBadInteger;
        }
        int32_t fps = d.session->info().fps_milli > 0 ? d.session->info().fps_milli : 25000;
        int64_t target = position_ms(d) + (reverse ? -n : n) * 1000000 / fps;
        if (target < 0 || target > length) return kOutOfRange;
        d.session->pause();
        d.session->seek_ms(target);
        d.mode = Device::Mode::Paused;
        return kOk;
    }
    if (verb == "where") {
        MediaInfo info = d.session->info();
        if (t.size() >= 3 && t[2].key == "source") {
            reply = "0 0 " + std::to_string(info.width) + " " + std::to_string(info.height);
            return kOk;
        }
        if (t.size() >= 3 && t[2].key == "destination") {
            reply = std::to_string(d.dest[0]) + " " + std::to_string(d.dest[1]) + " " + std::to_string(d.dest[2]) + " " +
                    std::to_string(d.dest[3]);
            return kOk;
        }
        return kMissingParameter;
    }
    return kUnrecognizedCommand;
}

// The tray of the machine's disc drive, through the CD-ROM ioctls; without a drive, not ready.
uint32_t move_door(bool open) {
    int fd = ::open("/dev/cdrom", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) fd = ::open("/dev/sr0", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kNotReady;
    int r = ioctl(fd, open ? CDROMEJECT : CDROMCLOSETRAY, 0);
    ::close(fd);
    return r == 0 ? kOk : kNotReady;
}

uint32_t run(Channel& ch, const std::vector<Token>& t, Reply& reply) {
    if (t.empty()) return kMissingCommand;
    static const char* kVerbs[] = {"open", "close", "play", "stop", "pause", "resume", "seek", "set", "status",
                                   "setaudio", "step", "put", "where", "window", "info", "capability"};
    const std::string& verb = t[0].key;
    bool known = false;
    for (const char* v : kVerbs) known |= verb == v;
    if (!known) return kUnrecognizedCommand;
    if (t.size() < 2) return kMissingDeviceName;
    if (verb == "open") return run_open(ch, t, reply);
    if (t[1].key == "all" && !t[1].quoted) {
        if (verb != "close" && verb != "set" && verb != "pause") return kCannotUseAll;
        if (verb == "close") {
            ch.devices.clear();
            return kOk;
        }
        uint32_t result = kOk;
        for (auto& d : ch.devices) {
            std::vector<Token> one = t;
            one[1].key = lower(d->name);
            Reply ignored;
            uint32_t r = run_device(ch, *d, one, ignored);
            if (r) result = r;
        }
        return result;
    }
    if (t[1].key == "cdaudio" && !t[1].quoted) {
        if (verb == "set" && t.size() >= 4 && t[2].key == "door") {
            if (t[3].key != "open" && t[3].key != "closed") return kUnrecognizedKeyword;
            return move_door(t[3].key == "open");
        }
        return kNotReady;
    }
    Device* d = find_device(ch, t[1].key);
    if (!d) return kInvalidDeviceName;
    return run_device(ch, *d, t, reply);
}

}  // namespace

uint32_t mciSendStringA(const char* command, char* reply, uint32_t length, int32_t) {
    Channel& ch = channel();
    std::lock_guard<std::recursive_mutex> guard(ch.lock);
    std::string cmd = command ? command : "";
    if (ch.log) ch.log->push_back(cmd);
    std::vector<Token> tokens;
    uint32_t r = tokenize(cmd, tokens);
    Reply answer;
    if (r == kOk) r = run(ch, tokens, answer);
    if (r == kOk && answer.set && reply && length > 0) {
        // written with its NUL only when it fits; the rest of the buffer stays as it was
        if (answer.text.size() + 1 > length) return kParamOverflow;
        std::memcpy(reply, answer.text.c_str(), answer.text.size() + 1);
    }
    return r;
}

int mciGetErrorStringA(uint32_t code, char* text, uint32_t length) {
    if (!text || length == 0) return 0;
    for (const ErrorText& e : kErrors)
        if (e.code == code) {
            std::snprintf(text, length, "%s", e.text);
            return 1;
        }
    std::snprintf(text, length, "Unknown media error %u.", code);
    return 0;
}

const char* backend_name() {
    Channel& ch = channel();
    std::lock_guard<std::recursive_mutex> guard(ch.lock);
    return ch.backend().name();
}
bool real_backend_available() { return channel().real != nullptr; }
void use_simulation(bool on) {
    Channel& ch = channel();
    std::lock_guard<std::recursive_mutex> guard(ch.lock);
    ch.simulation = on || !ch.real;
}
void log_commands(std::vector<std::string>* log) {
    Channel& ch = channel();
    std::lock_guard<std::recursive_mutex> guard(ch.lock);
    ch.log = log;
}
void close_all() {
    Channel& ch = channel();
    std::lock_guard<std::recursive_mutex> guard(ch.lock);
    ch.devices.clear();
}

}  // namespace t2::mci
