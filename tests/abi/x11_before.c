/* The public headers after X11's: no clash over None, BOOL, Status, True/False. */
#include <X11/Xlib.h>
#include <X11/Xmd.h>

#include "tavolin2/kit.h"
#include "tavolin2/platform.h"
#include "tavolin2/tavolin2.h"

int t2_x11_before_c(void) { return (int)sizeof(T2BOOL) + (int)sizeof(BOOL) + (None == 0) + True - False; }
