// Message boxes through MessageBoxW.  A process without a desktop to show
// them on (a service, or Wine without a display) gets 0 from the platform; the
// box then answers its default button, as the Linux layer does without a host.
#include "platform/msgbox.hpp"

#include "platform/win/wide.hpp"

namespace t2::platform {

int MsgBox(const std::string& text, int style, const std::string& title) {
    // the box belongs to the active window of this thread, and is modal to it
    int answer = ::MessageBoxW(::GetActiveWindow(), win::wide(text).c_str(), win::wide(title).c_str(),
                               static_cast<UINT>(style) | MB_SETFOREGROUND);
    return answer ? answer : default_button(style);
}

void EndProgram() {
    // The end statement of a program: the host process ends.
    ::ExitProcess(1);
}

}  // namespace t2::platform
