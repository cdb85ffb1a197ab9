// The public headers, C++ helpers included, before X11's; the program's main.
#include "tavolin2/cpp.hpp"
#include "tavolin2/kit.h"
#include "tavolin2/platform.h"

#include <X11/Xlib.h>
#include <X11/Xmd.h>

extern "C" int t2_x11_before_c(void);
extern "C" int t2_x11_after_c(void);
int t2_x11_before_cpp();

int main() {
    Bool b = False;
    return (t2_x11_before_c() > 0 && t2_x11_after_c() > 0 && t2_x11_before_cpp() > 0 && !b) ? 0 : 1;
}
