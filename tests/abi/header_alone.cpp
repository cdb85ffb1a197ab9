// The same as header_alone.c, as C++.
#include "header_alone.c"
