// Message boxes through MessageBoxW.  A process without a desktop to show
// them on (a service, or Wine without a display) gets 0 from the platform; the
// box then answers its default button, as the Linux layer does without a host.
#include "platform/msgbox.hpp"

#include "platform/win/wide.hpp"

namespace t2::platform {

int default_button(int style) {
    int buttons = style & 7;
    bool second = (style & 0x300) == vbDefaultButton2;
    switch (buttons) {
        case vbOKCancel: return second ? vbCancel : vbOK;
        case 2: return second ? 4 /* retry */ : 3 /* abort */;
        case vbYesNoCancel: return second ? vbNo : vbYes;
        case vbYesNo: return second ? vbNo : vbYes;
        case 5: return second ? vbCancel : 4;
        default: return vbOK;
    }
}

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
