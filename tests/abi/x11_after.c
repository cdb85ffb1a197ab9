/* The public headers before X11's. */
#include "tavolin2/kit.h"
#include "tavolin2/platform.h"
#include "tavolin2/tavolin2.h"

#include <X11/Xlib.h>
#include <X11/Xmd.h>

int t2_x11_after_c(void) {
    Status s = 0;
    return (int)sizeof(T2BOOL) + (int)sizeof(BOOL) + s + (VARIANT_TRUE == -1);
}
