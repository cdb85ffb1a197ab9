// Builds without libmpv: no real player; the channel uses the simulation and says so.
#ifndef TAVOLIN2_HAVE_MPV
#include "platform/mci/mci.hpp"

namespace t2::mci {
std::unique_ptr<Backend> make_mpv_backend() { return nullptr; }
}  // namespace t2::mci
#endif
