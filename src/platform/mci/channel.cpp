// The channel: one table of verbs, the routing of a command to its device (or
// to all of them, or to the disc drive), and the entry points.  The words are
// split in tokenizer.cpp, devices kept in device.cpp, the verbs carried out in
// verbs_*.cpp, the error texts in errors.cpp.
#include <cstring>

#include "platform/mci/verbs.hpp"

namespace t2::mci {

namespace {

struct VerbRow {
    const char* name;
    DeviceVerb run;  // nullptr for open, which names no open device
    bool takes_all;  // `VERB all` goes to every device
};

// A verb known to the table whose device offers nothing for it.
uint32_t verb_unknown(Context&, Device&) { return kUnrecognizedCommand; }

constexpr VerbRow kVerbs[] = {
    {"open", nullptr, false},       {"close", verb_close, true},
    {"play", verb_play, false},     {"stop", verb_stop, false},
    {"pause", verb_pause, true},    {"resume", verb_resume, false},
    {"seek", verb_seek, false},     {"set", verb_set, true},
    {"status", verb_status, false}, {"setaudio", verb_setaudio, false},
    {"step", verb_step, false},     {"put", verb_put, false},
    {"where", verb_where, false},   {"window", verb_window, false},
    {"info", verb_info, false},     {"capability", verb_unknown, false},
};

const VerbRow* find_verb(const std::string& key) {
    for (const VerbRow& v : kVerbs)
        if (key == v.name) return &v;
    return nullptr;
}

// `VERB all ...`: close empties the table; the others go to each device, the last failure counts.
uint32_t run_all(Context& c, const VerbRow& verb) {
    if (!verb.takes_all) return kCannotUseAll;
    if (verb.run == verb_close) {  // the players close outside the lock
        auto gone = c.ch.take_all();
        c.lock.unlock();
        gone.clear();
        c.lock.lock();
        return kOk;
    }
    uint32_t result = kOk;
    for (auto& d : c.ch.devices) {
        std::vector<Token> one = c.t;
        one[1].key = lower(d->name);
        Reply ignored;
        Context each{c.ch, c.lock, one, ignored};
        if (const uint32_t r = verb.run(each, *d)) result = r;
    }
    return result;
}

// The disc drive is addressed by its type: only its door moves.
uint32_t run_cdaudio(Context& c, const VerbRow& verb) {
    const auto& t = c.t;
    if (verb.run == verb_set && t.size() >= 4 && t[2].key == "door") {
        if (t[3].key != "open" && t[3].key != "closed") return kUnrecognizedKeyword;
        return c.ch.backend().move_door(t[3].key == "open");
    }
    return kDeviceNotReady;
}

uint32_t run(Context& c) {
    const auto& t = c.t;
    if (t.empty()) return kMissingCommandString;
    const VerbRow* verb = find_verb(t[0].key);
    if (!verb) return kUnrecognizedCommand;
    if (t.size() < 2) return kMissingDeviceName;
    if (!verb->run) return verb_open(c);
    if (!t[1].quoted && t[1].key == "all") return run_all(c, *verb);
    if (!t[1].quoted && t[1].key == "cdaudio") return run_cdaudio(c, *verb);
    Device* d = c.ch.find(t[1]);
    if (!d) return kInvalidDeviceName;
    return verb->run(c, *d);
}

}  // namespace

uint32_t mciSendStringA(const char* command, char* reply, uint32_t length, int32_t) {
    Channel& ch = channel();
    std::unique_lock<std::mutex> lock(ch.lock);
    const std::string cmd = command ? command : "";
    if (ch.log) ch.log->push_back(cmd);
    std::vector<Token> tokens;
    uint32_t r = tokenize(cmd, tokens);
    Reply answer;
    if (r == kOk) {
        Context c{ch, lock, tokens, answer};
        r = run(c);
    }
    if (r == kOk && answer.set && reply && length > 0) {
        // written with its NUL only when it fits; the rest of the buffer stays as it was
        if (answer.text.size() + 1 > length) return kParamOverflow;
        std::memcpy(reply, answer.text.c_str(), answer.text.size() + 1);
    }
    return r;
}

const char* backend_name() {
    Channel& ch = channel();
    std::lock_guard<std::mutex> guard(ch.lock);
    return ch.backend().name();
}
bool real_backend_available() { return channel().real != nullptr; }
void use_simulation(bool on) {
    Channel& ch = channel();
    std::lock_guard<std::mutex> guard(ch.lock);
    ch.simulation = on || !ch.real;
}
void log_commands(std::vector<std::string>* log) {
    Channel& ch = channel();
    std::lock_guard<std::mutex> guard(ch.lock);
    ch.log = log;
}
void close_all() {
    Channel& ch = channel();
    std::vector<std::unique_ptr<Device>> gone;
    {
        std::lock_guard<std::mutex> guard(ch.lock);
        gone = ch.take_all();
    }
}

}  // namespace t2::mci
