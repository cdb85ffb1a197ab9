/* A library whose constructor leaves a mark: loading it shows, even when nothing
 * of it is called.  The registry tests name it as a class's server. */
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

__attribute__((constructor)) static void leave_mark(void) {
    const char* mark = getenv("T2_TEST_MARK");
    if (mark) close(open(mark, O_WRONLY | O_CREAT, 0600));
}
