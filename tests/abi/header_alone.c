/* One public header compiled alone, at the language level it states, with
 * -pedantic -Werror: T2_HEADER names it (tests/CMakeLists.txt builds one
 * object a header and language). */
#include T2_HEADER

typedef int t2_header_alone; /* a translation unit of macros alone would be empty */
