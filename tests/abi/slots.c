/* The C view's entry tables: every member at the platform's slot, every table
 * of the platform's length, checked while compiling. */
#include <stddef.h>

#include "tavolin2/tavolin2.h"
#include "abi/slots.h"

#define T2_CHECK_SLOT(iface, member, slot)                                  \
    _Static_assert(offsetof(iface##Vtbl, member) == (slot) * sizeof(void*), \
                   #iface "::" #member " is not at slot " #slot);
T2_TEST_SLOTS(T2_CHECK_SLOT)

#define T2_CHECK_COUNT(iface, count) \
    _Static_assert(sizeof(iface##Vtbl) == (count) * sizeof(void*), #iface " does not have " #count " slots");
T2_TEST_SLOT_COUNTS(T2_CHECK_COUNT)

/* A VARIANT as the platform lays it out: 16 bytes of DECIMAL over vt and the value. */
_Static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*), "VARIANT size");
_Static_assert(offsetof(VARIANT, decVal) == 0 && sizeof(DECIMAL) == 16, "DECIMAL overlays the VARIANT");
_Static_assert(offsetof(DECIMAL, scale) == 2 && offsetof(DECIMAL, sign) == 3 && offsetof(DECIMAL, Hi32) == 4 &&
                   offsetof(DECIMAL, Lo32) == 8 && offsetof(DECIMAL, Mid32) == 12,
               "DECIMAL fields");
#define T2_CHECK_VALUE(member) _Static_assert(offsetof(VARIANT, member) == 8, #member " is not the value");
T2_CHECK_VALUE(cVal)
T2_CHECK_VALUE(bVal)
T2_CHECK_VALUE(iVal)
T2_CHECK_VALUE(uiVal)
T2_CHECK_VALUE(lVal)
T2_CHECK_VALUE(ulVal)
T2_CHECK_VALUE(llVal)
T2_CHECK_VALUE(ullVal)
T2_CHECK_VALUE(intVal)
T2_CHECK_VALUE(uintVal)
T2_CHECK_VALUE(fltVal)
T2_CHECK_VALUE(dblVal)
T2_CHECK_VALUE(boolVal)
T2_CHECK_VALUE(scode)
T2_CHECK_VALUE(cyVal)
T2_CHECK_VALUE(date)
T2_CHECK_VALUE(bstrVal)
T2_CHECK_VALUE(punkVal)
T2_CHECK_VALUE(pdispVal)
T2_CHECK_VALUE(parray)
T2_CHECK_VALUE(pcVal)
T2_CHECK_VALUE(pbVal)
T2_CHECK_VALUE(piVal)
T2_CHECK_VALUE(puiVal)
T2_CHECK_VALUE(plVal)
T2_CHECK_VALUE(pulVal)
T2_CHECK_VALUE(pllVal)
T2_CHECK_VALUE(pullVal)
T2_CHECK_VALUE(pintVal)
T2_CHECK_VALUE(puintVal)
T2_CHECK_VALUE(pfltVal)
T2_CHECK_VALUE(pdblVal)
T2_CHECK_VALUE(pboolVal)
T2_CHECK_VALUE(pscode)
T2_CHECK_VALUE(pcyVal)
T2_CHECK_VALUE(pdate)
T2_CHECK_VALUE(pbstrVal)
T2_CHECK_VALUE(ppunkVal)
T2_CHECK_VALUE(ppdispVal)
T2_CHECK_VALUE(pparray)
T2_CHECK_VALUE(pvarVal)
T2_CHECK_VALUE(pdecVal)
T2_CHECK_VALUE(byref)
T2_CHECK_VALUE(brecVal)

typedef int t2_slots_checked;
