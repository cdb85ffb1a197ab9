/* A C client that loads libtavolin2.so at run time, creates every class by its
 * class id, calls one member through its vtable slot and the same member by
 * name through Invoke, and checks that the library may unload only when all
 * objects are gone.  Then the other interfaces through their C vtables: error
 * info (ISupportErrorInfo, ICreateErrorInfo, IErrorInfo), connection points
 * with a sink written in C (IEnumConnectionPoints, IEnumConnections), and the
 * VARIANT's unsigned and by-reference members. */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tavolin2/prototypes.h"
#include "tavolin2/tavolin2.h"

static int failures = 0;
#define CHECK(cond, ...)                                         \
    do {                                                         \
        if (!(cond)) {                                           \
            fprintf(stderr, "FAIL %s:%d: ", __FILE__, __LINE__); \
            fprintf(stderr, __VA_ARGS__);                        \
            fputc('\n', stderr);                                 \
            ++failures;                                          \
        }                                                        \
    } while (0)

typedef HRESULT (*GetClassObjectFn)(REFCLSID, REFIID, void**);
typedef HRESULT (*CanUnloadFn)(void);
typedef BSTR (*AllocFn)(const OLECHAR*);
typedef void (*FreeFn)(BSTR);
typedef UINT (*LenFn)(BSTR);
typedef HRESULT (*ClearFn)(VARIANT*);
typedef void (*InitFn)(VARIANT*);
typedef HRESULT (*ChangeTypeFn)(VARIANT*, const VARIANT*, USHORT, VARTYPE);
typedef HRESULT (*CreateErrorInfoFn)(ICreateErrorInfo**);
typedef HRESULT (*SetErrorInfoFn)(ULONG, IErrorInfo*);
typedef HRESULT (*GetErrorInfoFn)(ULONG, IErrorInfo**);

static void* lib;
static GetClassObjectFn get_class_object;
static CanUnloadFn can_unload;
static AllocFn sys_alloc;
static FreeFn sys_free;
static LenFn sys_len;
static ClearFn variant_clear;
static InitFn variant_init;
static ChangeTypeFn variant_change_type;
static CreateErrorInfoFn create_error_info;
static SetErrorInfoFn set_error_info;
static GetErrorInfoFn get_error_info;

static void* sym(const char* name) {
    void* p = dlsym(lib, name);
    if (!p) {
        fprintf(stderr, "missing export %s\n", name);
        exit(2);
    }
    return p;
}

static IDispatch* create(const char* clsid_name, const char* iid_name) {
    const CLSID* clsid = (const CLSID*)sym(clsid_name);
    const IID* iid = (const IID*)sym(iid_name);
    IClassFactory* f = NULL;
    HRESULT hr = get_class_object(clsid, (const IID*)sym("IID_IClassFactory"), (void**)&f);
    CHECK(hr == S_OK, "%s: no factory (0x%08X)", clsid_name, (unsigned)hr);
    if (hr != S_OK) return NULL;
    IDispatch* obj = NULL;
    hr = f->lpVtbl->CreateInstance(f, NULL, iid, (void**)&obj);
    CHECK(hr == S_OK && obj, "%s: CreateInstance failed (0x%08X)", clsid_name, (unsigned)hr);
    f->lpVtbl->Release(f);
    return obj;
}

/* The member by name, as a property get or method without arguments. */
static HRESULT invoke_by_name(IDispatch* d, const char* name, VARIANT* result) {
    OLECHAR wide[64];
    size_t i;
    for (i = 0; name[i] && i < 63; ++i) wide[i] = (OLECHAR)name[i];
    wide[i] = 0;
    LPOLESTR names[1] = {wide};
    DISPID id = 0;
    HRESULT hr = d->lpVtbl->GetIDsOfNames(d, (const IID*)sym("IID_NULL"), names, 1, 0x0409, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none = {NULL, NULL, 0, 0};
    EXCEPINFO ei;
    memset(&ei, 0, sizeof ei);
    hr = d->lpVtbl->Invoke(d, id, (const IID*)sym("IID_NULL"), 0x0409, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none,
                           result, &ei, NULL);
    if (hr == DISP_E_EXCEPTION) {
        sys_free(ei.bstrSource);
        sys_free(ei.bstrDescription);
        sys_free(ei.bstrHelpFile);
        return ei.scode;
    }
    return hr;
}

static void compare_long(const char* what, HRESULT slot_hr, LONG slot_value, HRESULT late_hr, VARIANT* late) {
    CHECK(slot_hr == late_hr, "%s: slot 0x%08X, Invoke 0x%08X", what, (unsigned)slot_hr, (unsigned)late_hr);
    if (SUCCEEDED(slot_hr) && SUCCEEDED(late_hr))
        CHECK(late->vt == VT_I4 && late->lVal == slot_value, "%s: values differ", what);
}

static void compare_bstr(const char* what, HRESULT slot_hr, BSTR slot_value, HRESULT late_hr, VARIANT* late) {
    CHECK(slot_hr == late_hr, "%s: slot 0x%08X, Invoke 0x%08X", what, (unsigned)slot_hr, (unsigned)late_hr);
    if (SUCCEEDED(slot_hr) && SUCCEEDED(late_hr))
        CHECK(late->vt == VT_BSTR && sys_len(late->bstrVal) == sys_len(slot_value) &&
                  memcmp(late->bstrVal, slot_value, sys_len(slot_value) * 2) == 0,
              "%s: texts differ", what);
}

static const IID* iid(const char* name) { return (const IID*)sym(name); }
static int same_iid(const IID* a, const IID* b) { return memcmp(a, b, sizeof *a) == 0; }
static int same_text(BSTR b, const OLECHAR* t) {
    size_t n = 0;
    while (t[n]) ++n;
    return b && sys_len(b) == n && memcmp(b, t, n * sizeof *t) == 0;
}

/* Error info: a failing slot leaves it for the thread, the object says which
 * interface reports that way, and a client makes and reads one of its own. */
static void check_error_info(void) {
    _cPalette* pal = (_cPalette*)create("CLSID_cPalette", "IID__cPalette");
    if (!pal) return;
    ISupportErrorInfo* support = NULL;
    CHECK(pal->lpVtbl->QueryInterface(pal, iid("IID_ISupportErrorInfo"), (void**)&support) == S_OK && support,
          "cPalette answers ISupportErrorInfo");
    if (support) {
        CHECK(support->lpVtbl->InterfaceSupportsErrorInfo(support, iid("IID__cPalette")) == S_OK,
              "error info for the class's interface");
        CHECK(support->lpVtbl->InterfaceSupportsErrorInfo(support, iid("IID_IConnectionPointContainer")) == S_FALSE,
              "no error info for another interface");
        support->lpVtbl->Release(support);
    }
    /* an empty palette has no entry 5: error 9 with its description */
    VARIANT index;
    variant_init(&index);
    index.vt = VT_I4;
    index.lVal = 5;
    BYTE red = 0;
    HRESULT hr = _cPalette_get_Red(pal, index, &red);
    CHECK(hr == T2_ERROR_STATUS(9), "Red(5) of an empty palette: 0x%08X", (unsigned)hr);
    IErrorInfo* info = NULL;
    CHECK(get_error_info(0, &info) == S_OK && info, "the failed slot left error info");
    if (info) {
        BSTR d = NULL;
        CHECK(info->lpVtbl->GetDescription(info, &d) == S_OK && same_text(d, u"Subscript out of range"),
              "the description of error 9");
        sys_free(d);
        info->lpVtbl->Release(info);
    }
    pal->lpVtbl->Release(pal);

    ICreateErrorInfo* make = NULL;
    CHECK(create_error_info(&make) == S_OK && make, "CreateErrorInfo");
    if (!make) return;
    OLECHAR source[] = u"C client", text[] = u"made in C";
    CHECK(make->lpVtbl->SetSource(make, source) == S_OK && make->lpVtbl->SetDescription(make, text) == S_OK &&
              make->lpVtbl->SetHelpContext(make, 77) == S_OK &&
              make->lpVtbl->SetGUID(make, iid("IID__cPalette")) == S_OK,
          "ICreateErrorInfo setters");
    IErrorInfo* made = NULL;
    CHECK(make->lpVtbl->QueryInterface(make, iid("IID_IErrorInfo"), (void**)&made) == S_OK && made,
          "the made error info reads as IErrorInfo");
    make->lpVtbl->Release(make);
    if (!made) return;
    CHECK(set_error_info(0, made) == S_OK, "SetErrorInfo");
    IErrorInfo* back = NULL;
    CHECK(get_error_info(0, &back) == S_OK && back == made, "GetErrorInfo gives the one set");
    if (back) back->lpVtbl->Release(back);
    BSTR s = NULL, d = NULL;
    DWORD context = 0;
    GUID g;
    memset(&g, 0, sizeof g);
    made->lpVtbl->GetSource(made, &s);
    made->lpVtbl->GetDescription(made, &d);
    made->lpVtbl->GetHelpContext(made, &context);
    made->lpVtbl->GetGUID(made, &g);
    CHECK(same_text(s, source) && same_text(d, text) && context == 77 && same_iid(&g, iid("IID__cPalette")),
          "IErrorInfo gives back what was set");
    sys_free(s);
    sys_free(d);
    made->lpVtbl->Release(made);
}

/* An event sink written in C: counts the palette's InitProgress (1),
 * Progress (2) and Complete (3). */
struct sink {
    IDispatch dispatch;
    LONG refs;
    int init, progress, complete, wrong;
    LONG max;
};
static HRESULT STDMETHODCALLTYPE sink_query(IDispatch* This, REFIID riid, void** ppv) {
    if (same_iid(riid, iid("IID_IUnknown")) || same_iid(riid, iid("IID_IDispatch")) ||
        same_iid(riid, iid("DIID___cPalette"))) {
        *ppv = This;
        ++((struct sink*)This)->refs;
        return S_OK;
    }
    *ppv = NULL;
    return E_NOINTERFACE;
}
static ULONG STDMETHODCALLTYPE sink_add_ref(IDispatch* This) { return (ULONG)++((struct sink*)This)->refs; }
static ULONG STDMETHODCALLTYPE sink_release(IDispatch* This) { return (ULONG)--((struct sink*)This)->refs; }
static HRESULT STDMETHODCALLTYPE sink_count(IDispatch* This, UINT* n) {
    (void)This;
    *n = 0;
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE sink_type_info(IDispatch* This, UINT i, LCID lcid, ITypeInfo** t) {
    (void)This, (void)i, (void)lcid;
    *t = NULL;
    return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE sink_ids(IDispatch* This, REFIID riid, LPOLESTR* names, UINT n, LCID lcid,
                                          DISPID* ids) {
    (void)This, (void)riid, (void)names, (void)n, (void)lcid, (void)ids;
    return DISP_E_UNKNOWNNAME;
}
static HRESULT STDMETHODCALLTYPE sink_invoke(IDispatch* This, DISPID id, REFIID riid, LCID lcid, WORD flags,
                                             DISPPARAMS* params, VARIANT* result, EXCEPINFO* ei, UINT* bad) {
    struct sink* s = (struct sink*)This;
    (void)riid, (void)lcid, (void)result, (void)ei, (void)bad;
    if (flags != DISPATCH_METHOD || params->cArgs != 1 || params->rgvarg[0].vt != VT_I4) {
        ++s->wrong;
        return S_OK;
    }
    if (id == 1) {
        ++s->init;
        s->max = params->rgvarg[0].lVal;
    } else if (id == 2) {
        ++s->progress;
    } else if (id == 3) {
        ++s->complete;
    } else {
        ++s->wrong;
    }
    return S_OK;
}
static const IDispatchVtbl sink_vtbl = {sink_query,     sink_add_ref, sink_release, sink_count,
                                        sink_type_info, sink_ids,     sink_invoke};

/* A palette's one connection point found by enumeration, a C sink advised on
 * it, listed by IEnumConnections and called while CreateOptimal runs. */
static void check_connection_points(void) {
    _cPalette* pal = (_cPalette*)create("CLSID_cPalette", "IID__cPalette");
    _cDIBSection* dib = (_cDIBSection*)create("CLSID_cDIBSection", "IID__cDIBSection");
    IConnectionPointContainer* cpc = NULL;
    if (!pal || !dib || pal->lpVtbl->QueryInterface(pal, iid("IID_IConnectionPointContainer"), (void**)&cpc) != S_OK ||
        !cpc) {
        CHECK(0, "cPalette answers IConnectionPointContainer");
        if (pal) pal->lpVtbl->Release(pal);
        if (dib) dib->lpVtbl->Release(dib);
        return;
    }
    IEnumConnectionPoints* points = NULL;
    CHECK(cpc->lpVtbl->EnumConnectionPoints(cpc, &points) == S_OK && points, "EnumConnectionPoints");
    IConnectionPoint* cp = NULL;
    if (points) {
        ULONG fetched = 9;
        CHECK(points->lpVtbl->Next(points, 1, &cp, &fetched) == S_OK && fetched == 1 && cp, "the first point");
        IConnectionPoint* more = NULL;
        CHECK(points->lpVtbl->Next(points, 1, &more, &fetched) == S_FALSE && fetched == 0 && !more, "one point only");
        CHECK(points->lpVtbl->Reset(points) == S_OK && points->lpVtbl->Skip(points, 1) == S_OK &&
                  points->lpVtbl->Skip(points, 1) == S_FALSE,
              "Reset and Skip");
        IEnumConnectionPoints* copy = NULL;
        CHECK(points->lpVtbl->Reset(points) == S_OK && points->lpVtbl->Clone(points, &copy) == S_OK && copy, "Clone");
        if (copy) {
            CHECK(copy->lpVtbl->Next(copy, 1, &more, NULL) == S_OK && more == cp, "the clone lists the same point");
            if (more) more->lpVtbl->Release(more);
            copy->lpVtbl->Release(copy);
        }
        points->lpVtbl->Release(points);
    }
    if (cp) {
        IID events;
        memset(&events, 0, sizeof events);
        CHECK(cp->lpVtbl->GetConnectionInterface(cp, &events) == S_OK && same_iid(&events, iid("DIID___cPalette")),
              "the point is the palette's event interface");
        IConnectionPointContainer* owner = NULL;
        CHECK(cp->lpVtbl->GetConnectionPointContainer(cp, &owner) == S_OK && owner == cpc,
              "the point's container is the palette's");
        if (owner) owner->lpVtbl->Release(owner);

        struct sink sink = {{&sink_vtbl}, 1, 0, 0, 0, 0, 0};
        DWORD cookie = 0;
        CHECK(cp->lpVtbl->Advise(cp, (IUnknown*)&sink.dispatch, &cookie) == S_OK && cookie != 0, "Advise");
        IEnumConnections* connections = NULL;
        CHECK(cp->lpVtbl->EnumConnections(cp, &connections) == S_OK && connections, "EnumConnections");
        if (connections) {
            CONNECTDATA cd[2];
            memset(cd, 0, sizeof cd);
            ULONG fetched = 0;
            CHECK(connections->lpVtbl->Next(connections, 2, cd, &fetched) == S_FALSE && fetched == 1,
                  "one connection listed");
            CHECK(cd[0].dwCookie == cookie && cd[0].pUnk == (IUnknown*)&sink.dispatch, "the listed connection");
            if (cd[0].pUnk) cd[0].pUnk->lpVtbl->Release(cd[0].pUnk);
            connections->lpVtbl->Release(connections);
        }
        /* a random 8 x 5 picture to a palette of 16: InitProgress(4 + 16), Progress..., Complete */
        VARIANT_BOOL ok = 0;
        CHECK(_cDIBSection_Create(dib, 8, 5, &ok) == S_OK && ok == VARIANT_TRUE, "Create 8 x 5");
        CHECK(_cDIBSection_RandomiseBits(dib, VARIANT_FALSE) == S_OK, "RandomiseBits");
        HRESULT hr = _cPalette_CreateOptimal(pal, &dib, 16, 6);
        CHECK(hr == S_OK, "CreateOptimal: 0x%08X", (unsigned)hr);
        CHECK(sink.init == 1 && sink.max == 20 && sink.progress > 0 && sink.complete == 1 && sink.wrong == 0,
              "events: init %d (max %d), progress %d, complete %d, unexpected %d", sink.init, (int)sink.max,
              sink.progress, sink.complete, sink.wrong);
        CHECK(cp->lpVtbl->Unadvise(cp, cookie) == S_OK, "Unadvise");
        CHECK(cp->lpVtbl->Unadvise(cp, cookie) == CONNECT_E_NOCONNECTION, "a second Unadvise");
        CHECK(sink.refs == 1, "the point keeps no reference to the sink (%d left)", (int)sink.refs);
        cp->lpVtbl->Release(cp);
    }
    cpc->lpVtbl->Release(cpc);
    dib->lpVtbl->Release(dib);
    pal->lpVtbl->Release(pal);
}

/* The VARIANT's members by their names, through the library's conversion. */
static void check_variant_members(void) {
    ULONG big = 4000000000u;
    struct {
        const char* what;
        VARIANT in;
        VARTYPE to;
        double expect;
    } cases[] = {
        {"Double to UI4", {.vt = VT_R8, .dblVal = 3e9}, VT_UI4, 3e9},
        {"UI4 to Double", {.vt = VT_UI4, .ulVal = 4000000000u}, VT_R8, 4e9},
        {"UI4 by reference", {.vt = VT_BYREF | VT_UI4, .pulVal = &big}, VT_R8, 4e9},
        {"UI2 to Long", {.vt = VT_UI2, .uiVal = 65535}, VT_I4, 65535},
        {"I1 to Long", {.vt = VT_I1, .cVal = -5}, VT_I4, -5},
        {"UI8 to Double", {.vt = VT_UI8, .ullVal = 1ull << 40}, VT_R8, 1099511627776.0},
        {"INT to Double", {.vt = VT_INT, .intVal = -7}, VT_R8, -7},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        VARIANT out;
        variant_init(&out);
        HRESULT hr = variant_change_type(&out, &cases[i].in, 0, cases[i].to);
        double got = out.vt == VT_UI4  ? (double)out.ulVal
                     : out.vt == VT_I4 ? (double)out.lVal
                     : out.vt == VT_R8 ? out.dblVal
                                       : -1.0;
        CHECK(hr == S_OK && out.vt == cases[i].to && got == cases[i].expect, "%s: 0x%08X, vt %u, %.0f", cases[i].what,
              (unsigned)hr, (unsigned)out.vt, got);
        variant_clear(&out);
    }
    /* a DECIMAL fills the whole VARIANT, its first word being vt */
    VARIANT d;
    memset(&d, 0, sizeof d);
    d.decVal.Lo64 = 12345;
    d.decVal.scale = 2;
    d.vt = VT_DECIMAL;
    CHECK(d.decVal.wReserved == VT_DECIMAL && d.decVal.Lo32 == 12345 && d.decVal.signscale == 2,
          "DECIMAL over the VARIANT");
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
    lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 2;
    }
    get_class_object = (GetClassObjectFn)sym("DllGetClassObject");
    can_unload = (CanUnloadFn)sym("DllCanUnloadNow");
    sys_alloc = (AllocFn)sym("SysAllocString");
    sys_free = (FreeFn)sym("SysFreeString");
    sys_len = (LenFn)sym("SysStringLen");
    variant_clear = (ClearFn)sym("VariantClear");
    variant_init = (InitFn)sym("VariantInit");
    variant_change_type = (ChangeTypeFn)sym("VariantChangeType");
    create_error_info = (CreateErrorInfoFn)sym("CreateErrorInfo");
    set_error_info = (SetErrorInfoFn)sym("SetErrorInfo");
    get_error_info = (GetErrorInfoFn)sym("GetErrorInfo");
    /* message boxes would go to stderr; none are expected here */

    CHECK(can_unload() == S_OK, "DllCanUnloadNow before any object");

    static const char* plain[][2] = {{"CLSID_clsTavolin2", "IID__clsTavolin2"},
                                     {"CLSID_clsQELPictureViewer", "IID__clsQELPictureViewer"}};
    IDispatch* objects[9];
    int n = 0;
    for (int i = 0; i < 2; ++i) {
        IDispatch* d = create(plain[i][0], plain[i][1]);
        if (!d) continue;
        VARIANT r;
        variant_init(&r);
        CHECK(invoke_by_name(d, "Anything", &r) == DISP_E_UNKNOWNNAME, "%s answers an unknown name", plain[i][0]);
        objects[n++] = d;
    }

    /* clsQELCompany: slot 7 and Invoke give the same text */
    _clsQELCompany* company = (_clsQELCompany*)create("CLSID_clsQELCompany", "IID__clsQELCompany");
    if (company) {
        LONG which = 903;
        VARIANT early, late;
        variant_init(&early);
        variant_init(&late);
        HRESULT hr1 = company->lpVtbl->GetQELCompanyInformation(company, &which, &early);
        OLECHAR wname[] = u"GetQELCompanyInformation";
        LPOLESTR names[1] = {wname};
        DISPID id = 0;
        company->lpVtbl->GetIDsOfNames(company, (const IID*)sym("IID_NULL"), names, 1, 0x0409, &id);
        VARIANT arg;
        variant_init(&arg);
        arg.vt = VT_I4;
        arg.lVal = 903;
        DISPPARAMS dp = {&arg, NULL, 1, 0};
        HRESULT hr2 = company->lpVtbl->Invoke(company, id, (const IID*)sym("IID_NULL"), 0x0409, DISPATCH_METHOD, &dp,
                                              &late, NULL, NULL);
        CHECK(hr1 == S_OK && hr2 == S_OK, "company calls failed");
        CHECK(early.vt == VT_BSTR, "early result is a String");
        compare_bstr("GetQELCompanyInformation", hr1, early.bstrVal, hr2, &late);
        variant_clear(&early);
        variant_clear(&late);
        objects[n++] = (IDispatch*)company;
    }

    /* the other classes: one getter each, by slot and by name */
    _cDIBSection* dib = (_cDIBSection*)create("CLSID_cDIBSection", "IID__cDIBSection");
    if (dib) {
        LONG w = -5;
        VARIANT late;
        variant_init(&late);
        HRESULT hr1 = dib->lpVtbl->get_Width(dib, &w);
        HRESULT hr2 = invoke_by_name((IDispatch*)dib, "Width", &late);
        compare_long("cDIBSection.Width", hr1, w, hr2, &late);
        variant_clear(&late);
        objects[n++] = (IDispatch*)dib;
    }
    _cPalette* pal = (_cPalette*)create("CLSID_cPalette", "IID__cPalette");
    if (pal) {
        LONG c = -5;
        VARIANT late;
        variant_init(&late);
        HRESULT hr1 = pal->lpVtbl->get_Count(pal, &c);
        HRESULT hr2 = invoke_by_name((IDispatch*)pal, "count", &late);
        compare_long("cPalette.Count", hr1, c, hr2, &late);
        variant_clear(&late);
        objects[n++] = (IDispatch*)pal;
    }
    _MovieModule* movie = (_MovieModule*)create("CLSID_MovieModule", "IID__MovieModule");
    if (movie) {
        LONG e = -5;
        VARIANT late;
        variant_init(&late);
        HRESULT hr1 = movie->lpVtbl->get_Error(movie, &e);
        HRESULT hr2 = invoke_by_name((IDispatch*)movie, "Error", &late);
        compare_long("MovieModule.Error", hr1, e, hr2, &late);
        variant_clear(&late);
        objects[n++] = (IDispatch*)movie;
    }
    _MP3Class* mp3 = (_MP3Class*)create("CLSID_MP3Class", "IID__MP3Class");
    if (mp3) {
        BSTR f = NULL;
        VARIANT late;
        variant_init(&late);
        HRESULT hr1 = mp3->lpVtbl->get_MP3File(mp3, &f);
        HRESULT hr2 = invoke_by_name((IDispatch*)mp3, "MP3File", &late);
        compare_bstr("MP3Class.MP3File", hr1, f, hr2, &late);
        sys_free(f);
        variant_clear(&late);
        objects[n++] = (IDispatch*)mp3;
    }
    _clsBCAT175* bc = (_clsBCAT175*)create("CLSID_clsBCAT175", "IID__clsBCAT175");
    if (bc) {
        BSTR s = NULL;
        VARIANT late;
        variant_init(&late);
        HRESULT hr1 = bc->lpVtbl->get_InputString(bc, &s);
        HRESULT hr2 = invoke_by_name((IDispatch*)bc, "InputString", &late);
        compare_bstr("clsBCAT175.InputString", hr1, s, hr2, &late);
        sys_free(s);
        variant_clear(&late);
        objects[n++] = (IDispatch*)bc;
    }
    _GIF* gif = (_GIF*)create("CLSID_GIF", "IID__GIF");
    if (gif) {
        VARIANT early, late;
        variant_init(&early);
        variant_init(&late);
        HRESULT hr1 = gif->lpVtbl->get_BestQuality(gif, &early);
        HRESULT hr2 = invoke_by_name((IDispatch*)gif, "BestQuality", &late);
        CHECK(hr1 == hr2, "GIF.BestQuality: slot 0x%08X, Invoke 0x%08X", (unsigned)hr1, (unsigned)hr2);
        if (SUCCEEDED(hr1)) CHECK(early.vt == late.vt, "GIF.BestQuality: types differ");
        variant_clear(&early);
        variant_clear(&late);
        objects[n++] = (IDispatch*)gif;
    }

    CHECK(n == 9, "created %d of 9 classes", n);
    CHECK(can_unload() == S_FALSE, "DllCanUnloadNow while objects live");
    for (int i = 0; i < n; ++i) objects[i]->lpVtbl->Release(objects[i]);
    CHECK(can_unload() == S_OK, "DllCanUnloadNow after the last release");

    check_error_info();
    check_connection_points();
    check_variant_members();
    CHECK(can_unload() == S_OK, "DllCanUnloadNow after the other interfaces' objects went");

    IClassFactory* f = NULL;
    CLSID bogus;
    memset(&bogus, 0x5A, sizeof bogus);
    CHECK(get_class_object(&bogus, (const IID*)sym("IID_IClassFactory"), (void**)&f) == CLASS_E_CLASSNOTAVAILABLE && !f,
          "an unknown class id is not available");
    dlclose(lib);
    if (failures) return 1;
    printf(
        "C client: 9 classes created, slots and Invoke agree; error info, connection points and VARIANT members "
        "through the C vtables\n");
    return 0;
}
