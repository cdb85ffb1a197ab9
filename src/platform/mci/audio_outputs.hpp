// Which sound outputs to hand the player, strongest first, from what this
// machine has: a PulseAudio (or PipeWire-Pulse) server, a PipeWire server,
// an ALSA card or configuration.  Trying an output that is not there makes
// its client library print its complaints straight to the caller's terminal
// (a console host shows them under its status line), so only outputs that
// exist are offered; "null" is always last, so a machine without sound plays
// in silence.
#pragma once

#include <string>

namespace t2::mci {

struct SoundFacts {
    bool pulse_server = false;     // PULSE_SERVER set, or a pulse/native socket in the runtime folder
    bool pipewire_server = false;  // PIPEWIRE_REMOTE set, or a pipewire-0 socket in the runtime folder
    bool alsa_device = false;      // a card in /proc/asound, or an ALSA configuration that may route elsewhere
};

// The facts of this machine, read now (a server may come and go between opens).
SoundFacts read_sound_facts();

// The player's "ao" list for those facts.
std::string audio_outputs(const SoundFacts& facts);

}  // namespace t2::mci
