#include "platform/mci/audio_outputs.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace t2::mci {

namespace {

bool exists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool set(const char* name) {
    const char* v = secure_getenv(name);
    return v && *v;
}

std::string runtime_folder() {
    if (const char* d = secure_getenv("XDG_RUNTIME_DIR"); d && *d) return d;
    return "/run/user/" + std::to_string(::getuid());
}

// /proc/asound/cards reads " 0 [PCH ]: ..." per card, or "--- no soundcards ---".
bool alsa_has_card() {
    std::ifstream cards("/proc/asound/cards");
    std::string line;
    while (std::getline(cards, line)) {
        const auto first = line.find_first_not_of(' ');
        if (first != std::string::npos && line[first] >= '0' && line[first] <= '9') return true;
    }
    return false;
}

}  // namespace

SoundFacts read_sound_facts() {
    SoundFacts f;
    const std::string run = runtime_folder();
    const char* pulse_runtime = secure_getenv("PULSE_RUNTIME_PATH");
    f.pulse_server = set("PULSE_SERVER") || exists(run + "/pulse/native") ||
                     (pulse_runtime && exists(std::string(pulse_runtime) + "/native"));
    f.pipewire_server = set("PIPEWIRE_REMOTE") || exists(run + "/pipewire-0");
    const char* home = secure_getenv("HOME");
    f.alsa_device = alsa_has_card() || set("ALSA_CONFIG_PATH") || exists("/etc/asound.conf") ||
                    (home && exists(std::string(home) + "/.asoundrc"));
    return f;
}

std::string audio_outputs(const SoundFacts& facts) {
    std::string list;
    if (facts.pulse_server) list += "pulse,";
    if (facts.pipewire_server) list += "pipewire,";
    if (facts.alsa_device) list += "alsa,";
    return list + "null";
}

}  // namespace t2::mci
