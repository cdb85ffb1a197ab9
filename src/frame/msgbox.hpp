// The message box as the classes call it: prompt and title as Strings, the
// buttons, icons and answers of the platform.
#pragma once

#include "base/strings.hpp"
#include "platform/msgbox.hpp"

namespace t2 {

inline int MsgBox(const String& prompt, int style, const String& title) {
    return platform::MsgBox(to_utf8(prompt), style, to_utf8(title));
}

}  // namespace t2
