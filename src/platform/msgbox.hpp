// Message boxes: the library's only user interface.  The host installs the
// handler that shows them; without one the text goes to stderr and the
// default button is the answer.
#pragma once

#include <string>

namespace t2::platform {

// Buttons, icons and default-button flags, as the platform numbers them.
inline constexpr int vbOKOnly = 0;
inline constexpr int vbOKCancel = 1;
inline constexpr int vbYesNoCancel = 3;
inline constexpr int vbYesNo = 4;
inline constexpr int vbCritical = 16;
inline constexpr int vbQuestion = 32;
inline constexpr int vbExclamation = 48;
inline constexpr int vbInformation = 64;
inline constexpr int vbDefaultButton2 = 256;
// Answers.
inline constexpr int vbOK = 1;
inline constexpr int vbCancel = 2;
inline constexpr int vbYes = 6;
inline constexpr int vbNo = 7;

// Shows a modal message box (texts in UTF-8) and returns the button chosen.
int MsgBox(const std::string& prompt, int style, const std::string& title);

// The button a box answers when nobody is there to choose.
inline int default_button(int style) {
    const bool second = (style & 0x300) == vbDefaultButton2;
    switch (style & 7) {
        case vbOKCancel: return second ? vbCancel : vbOK;
        case 2: return second ? 4 /* retry */ : 3 /* abort */;
        case vbYesNoCancel: return second ? vbNo : vbYes;
        case vbYesNo: return second ? vbNo : vbYes;
        case 5: return second ? vbCancel : 4;
        default: return vbOK;
    }
}

// The end-of-program request (the octree's "No"): runs the host's handler.
void EndProgram();

}  // namespace t2::platform
