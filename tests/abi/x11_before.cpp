// The public headers, C++ helpers included, after X11's.
#include <X11/Xlib.h>
#include <X11/Xmd.h>

#include "tavolin2/cpp.hpp"
#include "tavolin2/kit.h"
#include "tavolin2/platform.h"

int t2_x11_before_cpp() { return static_cast<int>(sizeof(t2::Variant)) + (None == 0) + True; }
