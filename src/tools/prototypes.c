/* Writes include/tavolin2/prototypes.h to standard output: the member rows of
 * members.h expanded into one C function a member, with the C types the
 * entry tables use and the parameter names of the rows.  The build's test
 * abi.prototypes_header_is_current compares the checked-in header with this
 * output; the target tavolin2_prototypes_header rewrites it. */
#include <stdio.h>
#include <string.h>

#include "tavolin2/members.h"

#define STR_(...) #__VA_ARGS__
#define STR(...) STR_(__VA_ARGS__)

struct param {
    const char* ctype; /* the binary type, as interfaces.h declares the slot */
    const char* name;
    const char* type; /* the row's type name */
    const char* mode; /* VAL or REF */
    const char* def;  /* REQ, NODEF, DEF(n) or DEFS(u"text") */
};
struct member {
    const char* kind;
    const char* entry; /* the slot's name: Name, get_Name, put_Name */
    long id;
    const char* result;    /* the row's result type */
    const char* out_param; /* ", TYPE* pResult", or "" without a result */
    int count;
    const struct param* params;
};
struct event {
    const char* name;
    long id;
    int count;
    const struct param* params;
};
struct iface {
    const char* cls;
    const char* name;
    const struct member* members;
    const struct event* events; /* NULL for a class without events */
};

#define PARAM(type, name, mode, def) {STR(T2_CAT(T2_ABI_##mode##_, type)), #name, #type, #mode, #def},
#define ROW(kind, name, id, res, n, params) \
    {#kind,                                 \
     STR(T2_ENTRY(kind, name)),             \
     id,                                    \
     #res,                                  \
     STR(T2_RES_C(res)),                    \
     n,                                     \
     (const struct param[]){T2_EACH(n, PARAM, params){0}}},
#define EVENT(name, id, n, params) {#name, id, n, (const struct param[]){T2_EACH(n, PARAM, params){0}}},
#define EVENTS_0(iface)
#define EVENTS_1(iface) static const struct event events_##iface[] = {T2_EVENTS_##iface(EVENT){0}};
#define TABLES(cls, iface, inst, ev)                                             \
    static const struct member members_##iface[] = {T2_MEMBERS_##iface(ROW){0}}; \
    T2_CAT(EVENTS_, ev)(iface)
T2_CLASSES(TABLES)
#define EVENTS_OF_0(iface) NULL
#define EVENTS_OF_1(iface) events_##iface
#define ENTRY(cls, iface, inst, ev) {#cls, #iface, members_##iface, T2_CAT(EVENTS_OF_, ev)(iface)},
static const struct iface interfaces[] = {T2_CLASSES(ENTRY)};

/* "struct IDispatch*" reads as the C form's typedef name. */
static const char* plain(const char* ctype) { return strncmp(ctype, "struct ", 7) == 0 ? ctype + 7 : ctype; }

static void print_default(const struct param* p) {
    const char* d = p->def;
    if (strcmp(d, "REQ") == 0) return;
    if (strcmp(d, "NODEF") == 0) {
        printf(" /* optional */");
    } else if (strncmp(d, "DEFS(u", 6) == 0) {
        printf(" /* default %.*s */", (int)(strlen(d) - 7), d + 6);
    } else if (strncmp(d, "DEF(", 4) == 0) {
        printf(" /* default %.*s */", (int)(strlen(d) - 5), d + 4);
    }
}

/* The variant type an event argument arrives as. */
static const char* vt_of(const char* type) {
    static const char* const map[][2] = {{"Boolean", "VT_BOOL"},   {"Integer", "VT_I2"},  {"Long", "VT_I4"},
                                         {"Byte", "VT_UI1"},       {"String", "VT_BSTR"}, {"Variant", "any type"},
                                         {"Object", "VT_DISPATCH"}};
    for (size_t i = 0; i < sizeof map / sizeof map[0]; ++i)
        if (strcmp(map[i][0], type) == 0) return map[i][1];
    return type;
}

int main(void) {
    printf(
        "/* tavolin2 early-bound calls for C: one function a member, generated from\n"
        " * the member rows (members.h) by src/tools/prototypes.c; rebuild it with\n"
        " * the target tavolin2_prototypes_header, do not edit it.\n"
        " *\n"
        " * Language: C11 (C++ calls the same slots as member functions: gif->SaveGIF(...)).\n"
        " *\n"
        " * _GIF_SaveGIF(gif, pic, ...) is gif->lpVtbl->SaveGIF(gif, pic, ...): the\n"
        " * parameters carry the names of the rows, by-reference ones as pointers the\n"
        " * member may write through, and the result comes back in the last one,\n"
        " * pResult.  An early-bound call passes every parameter; the comments give\n"
        " * the value a late-bound call supplies for an omitted optional one.  Event\n"
        " * interfaces have no slots of their own: a sink's IDispatch::Invoke receives\n"
        " * their member ids with the arguments listed below, by value.\n"
        " */\n"
        "#ifndef TAVOLIN2_PROTOTYPES_H\n"
        "#define TAVOLIN2_PROTOTYPES_H\n"
        "\n"
        "#include \"interfaces.h\"\n"
        "\n"
        "#ifndef __cplusplus\n"
        "/* clang-format off */\n");
    for (size_t i = 0; i < sizeof interfaces / sizeof interfaces[0]; ++i) {
        const struct iface* f = &interfaces[i];
        printf("\n/* %s: class %s (CLSID_%s, IID_%s)", f->name, f->cls, f->cls, f->name);
        if (!f->members[0].kind) {
            printf(", no members of its own */\n");
            continue;
        }
        printf(", slots from 7 */\n");
        int slot = 7;
        for (const struct member* m = f->members; m->kind; ++m, ++slot) {
            printf("static inline HRESULT %s_%s(%s* This", f->name, m->entry, f->name);
            for (int k = 0; k < m->count; ++k) {
                const struct param* p = &m->params[k];
                printf(", %s %s", plain(p->ctype), p->name);
                print_default(p);
            }
            printf("%s) { return This->lpVtbl->%s(This", plain(m->out_param), m->entry);
            for (int k = 0; k < m->count; ++k) printf(", %s", m->params[k].name);
            printf("%s); } /* slot %d, member id 0x%08lX */\n", m->out_param[0] ? ", pResult" : "", slot,
                   (unsigned long)m->id);
        }
        if (f->events) {
            printf("/* events of %s (DIID__%s), to a sink's Invoke:\n", f->cls, f->name);
            for (const struct event* e = f->events; e->name; ++e) {
                printf(" *   %s, member id %ld:", e->name, e->id);
                for (int k = 0; k < e->count; ++k)
                    printf("%s %s %s (%s)", k ? "," : "", e->params[k].type, e->params[k].name,
                           vt_of(e->params[k].type));
                printf("\n");
            }
            printf(" */\n");
        }
    }
    printf(
        "\n/* clang-format on */\n"
        "#endif\n"
        "\n"
        "#endif\n");
    return 0;
}
