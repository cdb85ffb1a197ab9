// The media control channel is the platform's own: winmm's command strings.
#include "platform/mci/mci.hpp"

#include "platform/win/wide.hpp"

#include <mmsystem.h>

namespace t2::mci {

uint32_t mciSendStringA(const char* command, char* reply, uint32_t length, int32_t callback) {
    return ::mciSendStringA(command, reply, length, platform::win::handle<HWND>(callback));
}

int mciGetErrorStringA(uint32_t code, char* text, uint32_t length) {
    return ::mciGetErrorStringA(code, text, length) ? 1 : 0;
}

}  // namespace t2::mci
