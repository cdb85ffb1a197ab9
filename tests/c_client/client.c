/* A C client that loads libtavolin2.so at run time, creates every class by its
 * class id, calls one member through its vtable slot and the same member by
 * name through Invoke, and checks that the library may unload only when all
 * objects are gone. */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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

static void* lib;
static GetClassObjectFn get_class_object;
static CanUnloadFn can_unload;
static AllocFn sys_alloc;
static FreeFn sys_free;
static LenFn sys_len;
static ClearFn variant_clear;
static InitFn variant_init;

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

    IClassFactory* f = NULL;
    CLSID bogus;
    memset(&bogus, 0x5A, sizeof bogus);
    CHECK(get_class_object(&bogus, (const IID*)sym("IID_IClassFactory"), (void**)&f) == CLASS_E_CLASSNOTAVAILABLE && !f,
          "an unknown class id is not available");
    dlclose(lib);
    if (failures) return 1;
    printf("C client: 9 classes created, slots and Invoke agree\n");
    return 0;
}
