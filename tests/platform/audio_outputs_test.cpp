// The player is offered only the sound outputs this machine has, so a machine
// without sound plays silently instead of printing library complaints.
#include "platform/mci/audio_outputs.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

namespace t2::mci {
namespace {

TEST(AudioOutputs, OnlyWhatTheMachineHasThenNull) {
    struct Case {
        SoundFacts facts;
        const char* outputs;
    } cases[] = {
        {{false, false, false}, "null"},
        {{true, false, false}, "pulse,null"},
        {{false, true, false}, "pipewire,null"},
        {{false, false, true}, "alsa,null"},
        {{true, true, true}, "pulse,pipewire,alsa,null"},
    };
    for (const auto& c : cases) EXPECT_EQ(audio_outputs(c.facts), c.outputs);
}

TEST(AudioOutputs, ANamedServerCountsWithoutItsSocket) {
    const char* old = std::getenv("PULSE_SERVER");
    const std::string saved = old ? old : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/native", 1);
    EXPECT_TRUE(read_sound_facts().pulse_server);
    if (old)
        setenv("PULSE_SERVER", saved.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
}

}  // namespace
}  // namespace t2::mci
