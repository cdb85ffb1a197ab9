/* A program that defines functions of the library's names: the library's own
 * calls still reach its own functions (they bind inside it), while the
 * program's calls reach the program's. */
#include <stdio.h>

#include "tavolin2/tavolin2.h"

static int calls;

/* The program's own SysAllocStringLen, which gives nothing back. */
BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
    (void)pch;
    (void)cch;
    ++calls;
    return NULL;
}

int main(void) {
    BSTR description = NULL;
    /* T2DescribeStatus makes its text with the library's SysAllocStringLen */
    T2DescribeStatus(T2_ERROR_STATUS(13), &description);
    if (!description || SysStringLen(description) == 0) {
        fprintf(stderr, "the library called the program's SysAllocStringLen\n");
        return 1;
    }
    SysFreeString(description);
    if (SysAllocStringLen(u"x", 1) != NULL || calls != 1) {
        fprintf(stderr, "the program's own call did not reach its function\n");
        return 1;
    }
    return 0;
}
