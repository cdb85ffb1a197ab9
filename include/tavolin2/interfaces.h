/* The nine default interfaces, their identifiers and the enumeration, generated
 * from the member tables in members.h.  C++ clients get structs whose virtual
 * functions are the entry table (slots 0-6 IUnknown/IDispatch, members from 7);
 * C clients get the same table as an explicit lpVtbl struct.
 *
 * Language: C11, or C++17 and later; it compiles alone with -pedantic at both.
 */
#ifndef TAVOLIN2_INTERFACES_H
#define TAVOLIN2_INTERFACES_H

#include "abi.h"
#include "members.h"

/* The 22 fixed identifiers. */
T2_API const GUID LIBID_TAVOLIN2;
#define T2_DECLARE_CLASS_IDS(cls, iface, inst, ev) \
    T2_API const CLSID CLSID_##cls;                \
    T2_API const IID IID_##iface;
T2_CLASSES(T2_DECLARE_CLASS_IDS)
#undef T2_DECLARE_CLASS_IDS
T2_API const IID DIID___GIF;
T2_API const IID DIID___cPalette;
T2_API const GUID GUID_QELCompanyInformationTypeConstants;

#define T2_ENUM_CONSTANT(name, value) name = value,
typedef enum QELCompanyInformationTypeConstants {
    T2_ENUM_QELCompanyInformationTypeConstants(T2_ENUM_CONSTANT)
} QELCompanyInformationTypeConstants;
#undef T2_ENUM_CONSTANT

#ifdef __cplusplus
#define T2_CXX_SLOT(kind, name, id, res, n, params) \
    virtual HRESULT STDMETHODCALLTYPE T2_ENTRY(kind, name)(T2_LIST(n, T2_ABI_PARAM, params) T2_RES(res, n)) = 0;
#define T2_CXX_IFACE(cls, iface, inst, ev) \
    struct iface : IDispatch {             \
        T2_MEMBERS_##iface(T2_CXX_SLOT)    \
    };
T2_CLASSES(T2_CXX_IFACE)
#undef T2_CXX_IFACE
#undef T2_CXX_SLOT
#else
#define T2_C_SLOT_(iface, kind, name, id, res, n, params) \
    HRESULT(STDMETHODCALLTYPE* T2_ENTRY(kind, name))      \
    (struct iface * This T2_EACH(n, T2_ABI_PARAM_C, params) T2_RES_C(res));
#define T2_C_IFACE(cls, iface, inst, ev)      \
    typedef struct iface iface;               \
    typedef struct iface##Vtbl {              \
        T2_IDISPATCH_SLOTS(iface)             \
        T2_MEMBERS_##iface(T2_C_SLOT_##iface) \
    } iface##Vtbl;                            \
    struct iface {                            \
        const iface##Vtbl* lpVtbl;            \
    };
/* one slot macro per interface, so each knows its own This type */
#define T2_C_SLOT__clsTavolin2(...)
#define T2_C_SLOT__clsQELPictureViewer(...)
#define T2_C_SLOT__clsQELCompany(...) T2_C_SLOT_(_clsQELCompany, __VA_ARGS__)
#define T2_C_SLOT__MP3Class(...) T2_C_SLOT_(_MP3Class, __VA_ARGS__)
#define T2_C_SLOT__MovieModule(...) T2_C_SLOT_(_MovieModule, __VA_ARGS__)
#define T2_C_SLOT__clsBCAT175(...) T2_C_SLOT_(_clsBCAT175, __VA_ARGS__)
#define T2_C_SLOT__GIF(...) T2_C_SLOT_(_GIF, __VA_ARGS__)
#define T2_C_SLOT__cDIBSection(...) T2_C_SLOT_(_cDIBSection, __VA_ARGS__)
#define T2_C_SLOT__cPalette(...) T2_C_SLOT_(_cPalette, __VA_ARGS__)
struct _cDIBSection;
T2_CLASSES(T2_C_IFACE)
#undef T2_C_IFACE
#endif

#endif
