/* A picture loader for the script tests: T2Test.Pictures.Load(path) returns the
 * platform's picture object (OleLoadPicturePath) of an image file, which the
 * script host of this Wine cannot make itself (it has no LoadPicture).  An
 * in-process server of its own, registered with regsvr32 beside tavolin2.dll. */
#define COBJMACROS
#include <windows.h>
#include <initguid.h>
#include <ole2.h>
#include <olectl.h>

DEFINE_GUID(CLSID_T2TestPictures, 0x6E0D3C52, 0x41A7, 0x4C55, 0x9B, 0x0E, 0x3A, 0x61, 0x7C, 0x22, 0x90, 0x14);
#define CLSID_TEXT L"{6E0D3C52-41A7-4C55-9B0E-3A617C229014}"
#define PROGID L"T2Test.Pictures"

static HMODULE g_module;
static LONG g_objects;

typedef struct Loader {
    IDispatch iface;
    LONG refs;
} Loader;

static HRESULT STDMETHODCALLTYPE qi(IDispatch* This, REFIID riid, void** ppv) {
    if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch)) {
        *ppv = This;
        IDispatch_AddRef(This);
        return S_OK;
    }
    *ppv = NULL;
    return E_NOINTERFACE;
}
static ULONG STDMETHODCALLTYPE addref(IDispatch* This) { return InterlockedIncrement(&((Loader*)This)->refs); }
static ULONG STDMETHODCALLTYPE release(IDispatch* This) {
    LONG r = InterlockedDecrement(&((Loader*)This)->refs);
    if (r == 0) {
        HeapFree(GetProcessHeap(), 0, This);
        InterlockedDecrement(&g_objects);
    }
    return (ULONG)r;
}
static HRESULT STDMETHODCALLTYPE count(IDispatch* This, UINT* n) {
    (void)This;
    *n = 0;
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE info(IDispatch* This, UINT i, LCID l, ITypeInfo** t) {
    (void)This;
    (void)i;
    (void)l;
    *t = NULL;
    return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE ids(IDispatch* This, REFIID r, LPOLESTR* names, UINT n, LCID l, DISPID* out) {
    (void)This;
    (void)r;
    (void)l;
    if (n != 1 || lstrcmpiW(names[0], L"Load") != 0) {
        if (n) out[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    out[0] = 1;
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE invoke(IDispatch* This, DISPID id, REFIID r, LCID l, WORD f, DISPPARAMS* p,
                                        VARIANT* result, EXCEPINFO* e, UINT* a) {
    VARIANT path;
    wchar_t full[MAX_PATH];
    IDispatch* pic = NULL;
    HRESULT hr;
    (void)This;
    (void)r;
    (void)l;
    (void)f;
    (void)e;
    (void)a;
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    if (!p || p->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    VariantInit(&path);
    if (FAILED(VariantChangeType(&path, &p->rgvarg[0], 0, VT_BSTR))) return DISP_E_TYPEMISMATCH;
    GetFullPathNameW(V_BSTR(&path), MAX_PATH, full, NULL);
    VariantClear(&path);
    hr = OleLoadPicturePath(full, NULL, 0, 0, &IID_IDispatch, (void**)&pic);
    if (FAILED(hr)) return hr;
    if (result) {
        VariantInit(result);
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = pic;
    } else {
        IDispatch_Release(pic);
    }
    return S_OK;
}
static IDispatchVtbl loader_vtbl = {qi, addref, release, count, info, ids, invoke};

static HRESULT STDMETHODCALLTYPE f_qi(IClassFactory* This, REFIID riid, void** ppv) {
    if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IClassFactory)) {
        *ppv = This;
        return S_OK;
    }
    *ppv = NULL;
    return E_NOINTERFACE;
}
static ULONG STDMETHODCALLTYPE f_addref(IClassFactory* This) {
    (void)This;
    return 2;
}
static ULONG STDMETHODCALLTYPE f_release(IClassFactory* This) {
    (void)This;
    return 1;
}
static HRESULT STDMETHODCALLTYPE f_create(IClassFactory* This, IUnknown* outer, REFIID riid, void** ppv) {
    Loader* o;
    HRESULT hr;
    (void)This;
    *ppv = NULL;
    if (outer) return CLASS_E_NOAGGREGATION;
    o = HeapAlloc(GetProcessHeap(), 0, sizeof *o);
    if (!o) return E_OUTOFMEMORY;
    o->iface.lpVtbl = &loader_vtbl;
    o->refs = 1;
    InterlockedIncrement(&g_objects);
    hr = IDispatch_QueryInterface(&o->iface, riid, ppv);
    IDispatch_Release(&o->iface);
    return hr;
}
static HRESULT STDMETHODCALLTYPE f_lock(IClassFactory* This, BOOL lock) {
    (void)This;
    (void)lock;
    return S_OK;
}
static IClassFactoryVtbl factory_vtbl = {f_qi, f_addref, f_release, f_create, f_lock};
static IClassFactory factory = {&factory_vtbl};

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) g_module = instance;
    return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!IsEqualCLSID(clsid, &CLSID_T2TestPictures)) return CLASS_E_CLASSNOTAVAILABLE;
    return IClassFactory_QueryInterface(&factory, riid, ppv);
}

HRESULT WINAPI DllCanUnloadNow(void) { return g_objects == 0 ? S_OK : S_FALSE; }

static LONG set(const wchar_t* key, const wchar_t* name, const wchar_t* value) {
    HKEY h;
    LONG r = RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, NULL, 0, KEY_SET_VALUE, NULL, &h, NULL);
    if (r != ERROR_SUCCESS) return r;
    r = RegSetValueExW(h, name, 0, REG_SZ, (const BYTE*)value, (DWORD)((lstrlenW(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return r;
}

HRESULT WINAPI DllRegisterServer(void) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(g_module, path, MAX_PATH);
    if (set(L"CLSID\\" CLSID_TEXT, NULL, PROGID) || set(L"CLSID\\" CLSID_TEXT L"\\InprocServer32", NULL, path) ||
        set(L"CLSID\\" CLSID_TEXT L"\\InprocServer32", L"ThreadingModel", L"Apartment") ||
        set(PROGID L"\\CLSID", NULL, CLSID_TEXT))
        return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT WINAPI DllUnregisterServer(void) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CLSID\\" CLSID_TEXT);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, L"CLSID\\" CLSID_TEXT);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, PROGID);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, PROGID);
    return S_OK;
}
