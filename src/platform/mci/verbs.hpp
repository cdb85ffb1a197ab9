// The handlers of the channel's verbs.  Each gets the words of its command and
// the device it names; the channel's table (channel.cpp) says which verb goes
// to which handler and which take `all`.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/mci/device.hpp"
#include "platform/mci/errors.hpp"
#include "platform/mci/tokenizer.hpp"

namespace t2::mci {

struct Reply {
    std::string text;
    bool set = false;
    void operator=(const std::string& s) {
        text = s;
        set = true;
    }
};

struct Context {
    Channel& ch;
    std::unique_lock<std::mutex>& lock;  // the table lock, held while a handler runs
    const std::vector<Token>& t;
    Reply& reply;

    // True when every word from `from` on is one of the flags every command accepts.
    bool only_flags(size_t from) const {
        for (size_t i = from; i < t.size(); ++i)
            if (t[i].key != "wait" && t[i].key != "notify") return false;
        return true;
    }
};

using DeviceVerb = uint32_t (*)(Context&, Device&);

uint32_t verb_open(Context& c);  // names no open device
uint32_t verb_close(Context& c, Device& d);
uint32_t verb_set(Context& c, Device& d);
uint32_t verb_setaudio(Context& c, Device& d);
uint32_t verb_window(Context& c, Device& d);
uint32_t verb_put(Context& c, Device& d);

uint32_t verb_play(Context& c, Device& d);
uint32_t verb_stop(Context& c, Device& d);
uint32_t verb_pause(Context& c, Device& d);
uint32_t verb_resume(Context& c, Device& d);
uint32_t verb_seek(Context& c, Device& d);
uint32_t verb_step(Context& c, Device& d);

uint32_t verb_status(Context& c, Device& d);
uint32_t verb_info(Context& c, Device& d);
uint32_t verb_where(Context& c, Device& d);

}  // namespace t2::mci
