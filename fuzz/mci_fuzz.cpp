// Fuzz target: any byte string as a media command, to the simulated channel.
// Every input gives an answer or an error number; the reply never leaves its buffer.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/mci/mci.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        t2::mci::use_simulation(true);
        t2::mci::MediaInfo m;
        m.length_ms = 5000;
        m.fps_milli = 25000;
        m.width = 320;
        m.height = 240;
        m.video = true;
        t2::mci::simulate_media("a.mpg", m);
        t2::mci::simulate_media("b.mp3", m);
        return true;
    }();
    (void)ready;
    if (size == 0) return 0;
    // the first byte chooses the reply length (0 to 63); the rest is the command
    const uint32_t length = data[0] & 63;
    std::string cmd(reinterpret_cast<const char*>(data + 1), size - 1);
    cmd = cmd.substr(0, cmd.find('\0'));
    char buffer[64 + 16];
    std::memset(buffer, 0x5A, sizeof buffer);
    t2::mci::mciSendStringA(cmd.c_str(), buffer, length, 0);
    for (size_t i = length; i < sizeof buffer; ++i)
        if (buffer[i] != 0x5A) __builtin_trap();         // written past the length given
    if ((data[0] & 0xC0) == 0xC0) t2::mci::close_all();  // now and then start over
    char text[40];
    t2::mci::mciGetErrorStringA(data[0], text, sizeof text);
    t2::mci::advance_clock(data[0]);
    return 0;
}
