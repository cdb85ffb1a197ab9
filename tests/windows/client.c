/* A C client of tavolin2.dll through the platform: classes created by
 * programmatic name with CoCreateInstance (the registration), early-bound calls
 * through the entry tables of the widl header, events through a connection
 * point, every reference released back to zero and DllCanUnloadNow answering
 * S_OK.  With a picture file it also writes the files the test compares with
 * the Linux build's: IN -> OUT.gif (fixed table), OUT-best.gif, OUT.bmp, OUT.pal,
 * and the barcodes OUT-code128.bmp and OUT-code39.bmp, which the test decodes.
 *
 * It resamples the picture to three sizes (OUT-rWxH.bmp), and with a second,
 * 8-bit picture, loaded by the platform as an 8-bit section, writes IN8 ->
 * OUT8.gif (fixed table, from the picture and from a context holding it).
 *
 * It always checks what the platform's own clients rely on: the registered type
 * library of this architecture, IProvideClassInfo2 on every class, and the
 * version record's OLESelfRegister entry.
 *
 * With --apartments it also calls an object from a second apartment through the
 * platform's proxy (CoMarshalInterThreadInterfaceInStream), and creates one from
 * a multithreaded apartment, with nothing added to the registration.
 *
 * usage: t2client [IN.bmp OUTSTEM [IN8.bmp] | --apartments]
 * exit status: the number of failures */
#define COBJMACROS
#include <windows.h>
#include <initguid.h>
#include <ole2.h>
#include <olectl.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "tavolin2_idl.h"

/* slots of IProvideClassInfo and IProvideClassInfo2, as the platform declares them */
#ifndef GUIDKIND_DEFAULT_SOURCE_DISP_IID
#define GUIDKIND_DEFAULT_SOURCE_DISP_IID 1
#endif

static int failures;

static void expect(int ok, const char* what) {
    printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++failures;
}

/* ---- an event sink for __cPalette: counts the calls by member id ---- */
typedef struct Sink {
    IDispatch iface;
    LONG refs;
    int calls[4];
    LONG last_max;
} Sink;

static HRESULT STDMETHODCALLTYPE sink_qi(IDispatch* This, REFIID riid, void** ppv) {
    if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch) || IsEqualIID(riid, &DIID___cPalette)) {
        *ppv = This;
        IDispatch_AddRef(This);
        return S_OK;
    }
    *ppv = NULL;
    return E_NOINTERFACE;
}
static ULONG STDMETHODCALLTYPE sink_addref(IDispatch* This) { return InterlockedIncrement(&((Sink*)This)->refs); }
static ULONG STDMETHODCALLTYPE sink_release(IDispatch* This) { return InterlockedDecrement(&((Sink*)This)->refs); }
static HRESULT STDMETHODCALLTYPE sink_count(IDispatch* This, UINT* n) {
    (void)This;
    *n = 0;
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE sink_info(IDispatch* This, UINT i, LCID l, ITypeInfo** t) {
    (void)This;
    (void)i;
    (void)l;
    *t = NULL;
    return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE sink_ids(IDispatch* This, REFIID r, LPOLESTR* n, UINT c, LCID l, DISPID* d) {
    (void)This;
    (void)r;
    (void)n;
    (void)c;
    (void)l;
    (void)d;
    return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE sink_invoke(IDispatch* This, DISPID id, REFIID r, LCID l, WORD f, DISPPARAMS* p,
                                             VARIANT* res, EXCEPINFO* e, UINT* a) {
    Sink* s = (Sink*)This;
    (void)r;
    (void)l;
    (void)f;
    (void)res;
    (void)e;
    (void)a;
    if (id >= 1 && id <= 3) ++s->calls[id];
    if (id == 1 && p && p->cArgs == 1 && V_VT(&p->rgvarg[0]) == VT_I4) s->last_max = V_I4(&p->rgvarg[0]);
    return S_OK;
}
static IDispatchVtbl sink_vtbl = {sink_qi, sink_addref, sink_release, sink_count, sink_info, sink_ids, sink_invoke};

static void* create(const wchar_t* progid, REFIID iid);

/* ---- a picture box for the barcode drawings, over a section ----
 * The members the barcode classes call: Cls and hDc (Code 128); the scale
 * properties, Width and Height in twips, FontSize, Picture, TextWidth,
 * TextHeight, CurrentX and CurrentY, Line with its flags and Print (Code 39).
 * Scale units are pixels (ScaleMode 3) or twips (1), 15 twips a pixel. */
typedef struct Box {
    IDispatch iface;
    LONG refs;
    LONG hdc;
    int cleared;
    int scale_mode;
    double w, h;   /* inner size in pixels */
    double cx, cy; /* CurrentX, CurrentY in scale units */
} Box;

enum {
    BOX_CLS = 1,
    BOX_HDC,
    BOX_SCALEMODE,
    BOX_HEIGHT,
    BOX_WIDTH,
    BOX_SCALEHEIGHT,
    BOX_SCALEWIDTH,
    BOX_SCALETOP,
    BOX_SCALELEFT,
    BOX_FONTSIZE,
    BOX_PICTURE,
    BOX_TEXTHEIGHT,
    BOX_TEXTWIDTH,
    BOX_LINE,
    BOX_CURRENTX,
    BOX_CURRENTY,
    BOX_PRINT
};
static const wchar_t* const box_names[] = {NULL,        L"Cls",         L"hDc",        L"ScaleMode", L"Height",
                                           L"Width",    L"ScaleHeight", L"ScaleWidth", L"ScaleTop",  L"ScaleLeft",
                                           L"FontSize", L"Picture",     L"TextHeight", L"TextWidth", L"Line",
                                           L"CurrentX", L"CurrentY",    L"Print"};

static HRESULT STDMETHODCALLTYPE box_ids(IDispatch* This, REFIID r, LPOLESTR* n, UINT c, LCID l, DISPID* d) {
    DISPID k;
    (void)This;
    (void)r;
    (void)l;
    if (c != 1) return DISP_E_UNKNOWNNAME;
    for (k = 1; k < (DISPID)(sizeof box_names / sizeof box_names[0]); ++k)
        if (lstrcmpiW(n[0], box_names[k]) == 0) return d[0] = k, S_OK;
    return d[0] = DISPID_UNKNOWN, DISP_E_UNKNOWNNAME;
}
/* argument i (from the left) as a number, or a text */
static double box_number(DISPPARAMS* p, UINT i) {
    VARIANT v;
    double x = 0;
    if (i >= p->cArgs) return 0;
    VariantInit(&v);
    if (SUCCEEDED(VariantChangeType(&v, &p->rgvarg[p->cArgs - 1 - i], 0, VT_R8))) x = V_R8(&v);
    return x;
}
static BSTR box_text(DISPPARAMS* p, UINT i) {
    VARIANT v;
    VariantInit(&v);
    if (i < p->cArgs && SUCCEEDED(VariantChangeType(&v, &p->rgvarg[p->cArgs - 1 - i], 0, VT_BSTR))) return V_BSTR(&v);
    return SysAllocString(L"");
}
static double box_unit(const Box* b) { return b->scale_mode == 1 ? 15.0 : 1.0; } /* scale units a pixel */
static int box_px(const Box* b, double v) { return (int)floor(v / box_unit(b) + 0.5); }
static SIZE box_measure(Box* b, BSTR t) {
    SIZE z = {0, 0};
    GetTextExtentPoint32W((HDC)(INT_PTR)b->hdc, t, (int)SysStringLen(t), &z);
    return z;
}
static HRESULT STDMETHODCALLTYPE box_invoke(IDispatch* This, DISPID id, REFIID r, LCID l, WORD f, DISPPARAMS* p,
                                            VARIANT* res, EXCEPINFO* e, UINT* a) {
    Box* b = (Box*)This;
    HDC dc = (HDC)(INT_PTR)b->hdc;
    const int put = (f & DISPATCH_PROPERTYPUT) != 0;
    double number = 0;
    int has_number = 0;
    (void)r;
    (void)l;
    (void)e;
    (void)a;
    if (res) VariantInit(res);
    switch (id) {
        case BOX_CLS:
            ++b->cleared;
            PatBlt(dc, 0, 0, (int)b->w, (int)b->h, WHITENESS);
            b->cx = b->cy = 0;
            return S_OK;
        case BOX_HDC:
            if (res) V_VT(res) = VT_I4, V_I4(res) = b->hdc;
            return S_OK;
        case BOX_SCALEMODE:
            if (put) b->scale_mode = (int)box_number(p, 0);
            number = b->scale_mode, has_number = 1;
            break;
        case BOX_HEIGHT:
            if (put) b->h = floor(box_number(p, 0) / 15 + 0.5);
            number = b->h * 15, has_number = 1;
            break;
        case BOX_WIDTH:
            if (put) b->w = floor(box_number(p, 0) / 15 + 0.5);
            number = b->w * 15, has_number = 1;
            break;
        case BOX_SCALEHEIGHT: number = b->h * box_unit(b), has_number = 1; break;
        case BOX_SCALEWIDTH: number = b->w * box_unit(b), has_number = 1; break;
        case BOX_SCALETOP:
        case BOX_SCALELEFT: number = 0, has_number = 1; break;
        case BOX_FONTSIZE:
        case BOX_PICTURE: return S_OK; /* the caption's size and the picture are not checked here */
        case BOX_TEXTHEIGHT:
        case BOX_TEXTWIDTH: {
            BSTR t = box_text(p, 0);
            SIZE z = box_measure(b, t);
            SysFreeString(t);
            number = (id == BOX_TEXTWIDTH ? z.cx : z.cy) * box_unit(b), has_number = 1;
            break;
        }
        case BOX_CURRENTX:
            if (put) b->cx = box_number(p, 0);
            number = b->cx, has_number = 1;
            break;
        case BOX_CURRENTY:
            if (put) b->cy = box_number(p, 0);
            number = b->cy, has_number = 1;
            break;
        case BOX_LINE: { /* flags, x1, y1, x2, y2, colour: only filled boxes (flags 2 | 4) are drawn */
            const int flags = (int)box_number(p, 0);
            int x1 = box_px(b, box_number(p, 1)), y1 = box_px(b, box_number(p, 2));
            int x2 = box_px(b, box_number(p, 3)), y2 = box_px(b, box_number(p, 4));
            RECT box;
            HBRUSH brush = CreateSolidBrush((COLORREF)box_number(p, 5));
            if ((flags & 6) != 6) return DeleteObject(brush), E_NOTIMPL;
            SetRect(&box, min(x1, x2), min(y1, y2), max(x1, x2) + 1, max(y1, y2) + 1); /* both corners belong */
            FillRect(dc, &box, brush);
            DeleteObject(brush);
            b->cx = box_number(p, 3), b->cy = box_number(p, 4);
            return S_OK;
        }
        case BOX_PRINT: {
            BSTR t = box_text(p, 0);
            SetBkMode(dc, TRANSPARENT);
            TextOutW(dc, box_px(b, b->cx), box_px(b, b->cy), t, (int)SysStringLen(t));
            SysFreeString(t);
            return S_OK;
        }
        default: return DISP_E_MEMBERNOTFOUND;
    }
    if (has_number && res && !put) V_VT(res) = VT_R8, V_R8(res) = number;
    return S_OK;
}
static IDispatchVtbl box_vtbl = {sink_qi, sink_addref, sink_release, sink_count, sink_info, box_ids, box_invoke};

/* Code 128 and Code 39 drawn by clsBCAT175 on a white section, each saved as a
 * bitmap file that the test decodes. */
static void draw_barcodes(const char* stem) {
    static const struct {
        int code128;
        const wchar_t* text;
        const char* suffix;
    } codes[] = {{1, L"TAVOLIN2-128", "-code128.bmp"}, {0, L"TAVOLIN2 39", "-code39.bmp"}};
    _clsBCAT175* bc = create(L"TAVOLIN2.clsBCAT175", &IID__clsBCAT175);
    size_t k;
    expect(bc != NULL, "clsBCAT175 by programmatic name");
    if (!bc) return;
    for (k = 0; k < sizeof codes / sizeof codes[0]; ++k) {
        _cDIBSection* dib = create(L"TAVOLIN2.cDIBSection", &IID__cDIBSection);
        VARIANT_BOOL ok = VARIANT_FALSE;
        Box box = {{&box_vtbl}, 1, 0, 0, 3, 400, 110, 0, 0};
        IDispatch* pic = &box.iface;
        BSTR text = SysAllocString(codes[k].text), caption = SysAllocString(codes[k].text), name;
        wchar_t wname[MAX_PATH];
        char path[MAX_PATH];
        VARIANT r;
        HRESULT hr;
        if (!dib || FAILED(_cDIBSection_Create(dib, 400, 110, &ok)) || !ok) {
            expect(0, "a section for the barcode");
            break;
        }
        _cDIBSection_get_hDc(dib, &box.hdc);
        PatBlt((HDC)(INT_PTR)box.hdc, 0, 0, 400, 110, WHITENESS);
        VariantInit(&r);
        if (codes[k].code128) {
            LONG back = 0xFFFFFF, fore = 0;
            OLE_COLOR colour = 0;
            SHORT align = 1, display = 1, style = 2, size = 10, height = 60, left = 10, top = 10;
            BSTR font = SysAllocString(L"Courier New");
            hr = _clsBCAT175_Barcode128Draw(bc, &text, &pic, &caption, &back, &fore, &colour, &align, &display, &style,
                                            &size, &font, &height, &left, &top, &r);
            SysFreeString(font);
            expect(SUCCEEDED(hr) && box.cleared == 1, "Barcode128Draw on the picture box");
        } else {
            hr = _clsBCAT175_Barcode39Draw(bc, &text, &caption, &pic, &r);
            expect(SUCCEEDED(hr), "Barcode39Draw on the picture box");
        }
        VariantClear(&r);
        snprintf(path, sizeof path, "%s%s", stem, codes[k].suffix);
        MultiByteToWideChar(CP_UTF8, 0, path, -1, wname, MAX_PATH);
        name = SysAllocString(wname);
        ok = VARIANT_FALSE;
        expect(SUCCEEDED(_cDIBSection_SavePicture(dib, name, &ok)) && ok, "the barcode section saved");
        SysFreeString(name);
        SysFreeString(text);
        SysFreeString(caption);
        expect(box.refs == 1, "the picture box's references came back");
        expect(_cDIBSection_Release(dib) == 0, "cDIBSection released to zero");
    }
    expect(_clsBCAT175_Release(bc) == 0, "clsBCAT175 released to zero");
}

static void* create(const wchar_t* progid, REFIID iid) {
    CLSID clsid;
    void* p = NULL;
    if (FAILED(CLSIDFromProgID(progid, &clsid))) return NULL;
    if (FAILED(CoCreateInstance(&clsid, NULL, CLSCTX_INPROC_SERVER, iid, &p))) return NULL;
    return p;
}

static int write_files(const char* in, const char* stem) {
    wchar_t win[MAX_PATH], name[MAX_PATH];
    char path[MAX_PATH];
    IDispatch* pic = NULL;
    _GIF* gif;
    _cDIBSection* dib;
    _cPalette* pal;
    VARIANT_BOOL ok = VARIANT_FALSE, trans = VARIANT_FALSE;
    LONG hdc = 0;
    VARIANT q, ignored;
    BSTR b;
    MultiByteToWideChar(CP_UTF8, 0, in, -1, name, MAX_PATH);
    GetFullPathNameW(name, MAX_PATH, win, NULL);
    expect(SUCCEEDED(OleLoadPicturePath(win, NULL, 0, 0, &IID_IDispatch, (void**)&pic)) && pic,
           "OleLoadPicturePath of the input picture");
    if (!pic) return 1;

    gif = create(L"TAVOLIN2.GIF", &IID__GIF);
    expect(gif != NULL, "GIF by programmatic name");
    if (gif) {
        snprintf(path, sizeof path, "%s.gif", stem);
        MultiByteToWideChar(CP_UTF8, 0, path, -1, name, MAX_PATH);
        b = SysAllocString(name);
        expect(SUCCEEDED(_GIF_SaveGIF(gif, pic, b, &hdc, &trans, 0, &ok)) && ok, "GIF.SaveGIF with the fixed table");
        SysFreeString(b);
        VariantInit(&q);
        V_VT(&q) = VT_BOOL;
        V_BOOL(&q) = VARIANT_TRUE;
        _GIF_put_BestQuality(gif, q);
        snprintf(path, sizeof path, "%s-best.gif", stem);
        MultiByteToWideChar(CP_UTF8, 0, path, -1, name, MAX_PATH);
        b = SysAllocString(name);
        ok = VARIANT_FALSE;
        expect(SUCCEEDED(_GIF_SaveGIF(gif, pic, b, &hdc, &trans, 0, &ok)) && ok, "GIF.SaveGIF with BestQuality");
        SysFreeString(b);
        expect(_GIF_Release(gif) == 0, "GIF released to zero");
    }

    dib = create(L"TAVOLIN2.cDIBSection", &IID__cDIBSection);
    pal = create(L"TAVOLIN2.cPalette", &IID__cPalette);
    expect(dib && pal, "cDIBSection and cPalette by programmatic name");
    if (dib && pal) {
        VariantInit(&ignored);
        expect(SUCCEEDED(_cDIBSection_CreateFromPicture(dib, &pic, &ignored)), "cDIBSection.CreateFromPicture");
        VariantClear(&ignored);
        snprintf(path, sizeof path, "%s.bmp", stem);
        MultiByteToWideChar(CP_UTF8, 0, path, -1, name, MAX_PATH);
        b = SysAllocString(name);
        ok = VARIANT_FALSE;
        expect(SUCCEEDED(_cDIBSection_SavePicture(dib, b, &ok)) && ok, "cDIBSection.SavePicture");
        SysFreeString(b);
        {
            /* down in both directions, down in one, up in both: every weight of the filter */
            static const LONG sizes[][2] = {{56, 40}, {60, 40}, {122, 74}};
            size_t k;
            for (k = 0; k < sizeof sizes / sizeof sizes[0]; ++k) {
                _cDIBSection* small = NULL;
                char what[64];
                snprintf(what, sizeof what, "cDIBSection.Resample to %ld x %ld, saved", (long)sizes[k][0],
                         (long)sizes[k][1]);
                snprintf(path, sizeof path, "%s-r%ldx%ld.bmp", stem, (long)sizes[k][0], (long)sizes[k][1]);
                MultiByteToWideChar(CP_UTF8, 0, path, -1, name, MAX_PATH);
                b = SysAllocString(name);
                ok = VARIANT_FALSE;
                expect(SUCCEEDED(_cDIBSection_Resample(dib, sizes[k][1], sizes[k][0], &small)) && small &&
                           SUCCEEDED(_cDIBSection_SavePicture(small, b, &ok)) && ok,
                       what);
                SysFreeString(b);
                if (small) _cDIBSection_Release(small);
            }
        }
        expect(SUCCEEDED(_cPalette_CreateOptimal(pal, &dib, 236, 6)), "cPalette.CreateOptimal");
        snprintf(path, sizeof path, "%s.pal", stem);
        MultiByteToWideChar(CP_UTF8, 0, path, -1, name, MAX_PATH);
        b = SysAllocString(name);
        ok = VARIANT_FALSE;
        expect(SUCCEEDED(_cPalette_Save(pal, b, 0, &ok)) && ok, "cPalette.Save");
        SysFreeString(b);
    }
    if (dib) expect(_cDIBSection_Release(dib) == 0, "cDIBSection released to zero");
    if (pal) expect(_cPalette_Release(pal) == 0, "cPalette released to zero");
    IDispatch_Release(pic);
    return 0;
}

/* ---- a list box for the play lists: AddItem, ListCount, List(i) ---- */
typedef struct List {
    IDispatch iface;
    LONG refs;
    int count;
    BSTR items[8];
} List;

static HRESULT STDMETHODCALLTYPE list_ids(IDispatch* This, REFIID r, LPOLESTR* n, UINT c, LCID l, DISPID* d) {
    (void)This;
    (void)r;
    (void)l;
    if (c != 1) return DISP_E_UNKNOWNNAME;
    if (lstrcmpiW(n[0], L"AddItem") == 0)
        d[0] = 1;
    else if (lstrcmpiW(n[0], L"ListCount") == 0)
        d[0] = 2;
    else if (lstrcmpiW(n[0], L"List") == 0)
        d[0] = 3;
    else
        return d[0] = DISPID_UNKNOWN, DISP_E_UNKNOWNNAME;
    return S_OK;
}
static HRESULT STDMETHODCALLTYPE list_invoke(IDispatch* This, DISPID id, REFIID r, LCID l, WORD f, DISPPARAMS* p,
                                             VARIANT* res, EXCEPINFO* e, UINT* a) {
    List* b = (List*)This;
    VARIANT v;
    (void)r;
    (void)l;
    (void)f;
    (void)e;
    (void)a;
    if (res) VariantInit(res);
    VariantInit(&v);
    if (id == 1 && p && p->cArgs >= 1 && b->count < 8) {
        if (FAILED(VariantChangeType(&v, &p->rgvarg[p->cArgs - 1], 0, VT_BSTR))) return DISP_E_TYPEMISMATCH;
        b->items[b->count++] = V_BSTR(&v);
        return S_OK;
    }
    if (id == 2 && res) {
        V_VT(res) = VT_I4;
        V_I4(res) = b->count;
        return S_OK;
    }
    if (id == 3 && p && p->cArgs == 1 && res) {
        if (FAILED(VariantChangeType(&v, &p->rgvarg[0], 0, VT_I4)) || V_I4(&v) < 0 || V_I4(&v) >= b->count)
            return DISP_E_BADINDEX;
        V_VT(res) = VT_BSTR;
        V_BSTR(res) = SysAllocString(b->items[V_I4(&v)]);
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}
static IDispatchVtbl list_vtbl = {sink_qi, sink_addref, sink_release, sink_count, sink_info, list_ids, list_invoke};

/* MP3Class saves a play list under a name outside ASCII and reads it back. */
static void play_list(void) {
    _MP3Class* mp3 = create(L"TAVOLIN2.MP3Class", &IID__MP3Class);
    List out = {{&list_vtbl}, 1, 2, {NULL}}, in = {{&list_vtbl}, 1, 0, {NULL}};
    BSTR name = SysAllocString(L"liste-\u00e9t\u00e9.m3u");
    VARIANT box, r;
    int k;
    expect(mp3 != NULL, "MP3Class by programmatic name");
    if (!mp3) return;
    out.items[0] = SysAllocString(L"C:\\music\\one.wav");
    out.items[1] = SysAllocString(L"C:\\music\\caf\u00e9.wav");
    VariantInit(&box);
    V_VT(&box) = VT_DISPATCH;
    V_DISPATCH(&box) = &out.iface;
    VariantInit(&r);
    expect(SUCCEEDED(_MP3Class_MP3SavePlayList(mp3, &name, &box, &r)), "MP3SavePlayList");
    VariantClear(&r);
    expect(GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES, "the play list has its name outside ASCII");
    V_DISPATCH(&box) = &in.iface;
    expect(SUCCEEDED(_MP3Class_MP3OpenPlayList(mp3, &name, &box, &r)), "MP3OpenPlayList");
    VariantClear(&r);
    expect(in.count == 2 && in.items[0] && in.items[1] && lstrcmpW(in.items[0], out.items[0]) == 0 &&
               lstrcmpW(in.items[1], out.items[1]) == 0,
           "the play list reads back its two entries");
    expect(out.refs == 1 && in.refs == 1, "the list boxes' references came back");
    for (k = 0; k < 8; ++k) {
        SysFreeString(out.items[k]);
        SysFreeString(in.items[k]);
    }
    DeleteFileW(name);
    SysFreeString(name);
    expect(_MP3Class_Release(mp3) == 0, "MP3Class released to zero");
}

/* ---- a call from another apartment, through the platform's marshalling ---- */
typedef struct Across {
    IStream* stream;
    _cPalette* raw;
    HRESULT direct, marshalled;
    LONG count;
    DWORD caller;
} Across;

static DWORD WINAPI other_apartment(void* arg) {
    Across* a = arg;
    _cPalette* proxy = NULL;
    CoInitialize(NULL);
    a->caller = GetCurrentThreadId();
    a->direct = _cPalette_CreateWebSafe(a->raw); /* the object itself refuses a foreign thread */
    if (SUCCEEDED(CoGetInterfaceAndReleaseStream(a->stream, &IID__cPalette, (void**)&proxy)) && proxy) {
        a->marshalled = _cPalette_CreateWebSafe(proxy);
        _cPalette_get_Count(proxy, &a->count);
        _cPalette_Release(proxy);
    }
    CoUninitialize();
    return 0;
}

static void across_apartments(void) {
    Across a = {NULL, NULL, E_FAIL, E_FAIL, 0, 0};
    HANDLE thread;
    a.raw = create(L"TAVOLIN2.cPalette", &IID__cPalette);
    if (!a.raw) {
        expect(0, "cPalette for the apartment test");
        return;
    }
    {
        HRESULT hr = CoMarshalInterThreadInterfaceInStream(&IID__cPalette, (IUnknown*)a.raw, &a.stream);
        if (FAILED(hr)) printf("     CoMarshalInterThreadInterfaceInStream: 0x%08lX\n", (unsigned long)hr);
        expect(SUCCEEDED(hr), "CoMarshalInterThreadInterfaceInStream(_cPalette)");
    }
    thread = CreateThread(NULL, 0, other_apartment, &a, 0, NULL);
    /* this apartment runs the calls that arrive for it while it waits */
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    CloseHandle(thread);
    expect(a.direct == RPC_E_WRONG_THREAD, "a direct call from another thread fails with RPC_E_WRONG_THREAD");
    expect(SUCCEEDED(a.marshalled) && a.count == 256,
           "calls through the platform's proxy run in the object's apartment");
    expect(_cPalette_Release(a.raw) == 0, "cPalette released to zero after the proxy");
}

/* A GIF of an 8-bit picture the platform made (LoadImage with
 * LR_CREATEDIBSECTION keeps the file's 8 bits and colour table): IN8 ->
 * OUT8.gif with the fixed table from the picture, and OUT8-dc.gif from a
 * context holding the picture's bitmap (hDc given).  The colours are matched
 * to the fixed table, not the picture's own indices written under it. */
static void write_8bit(const char* in, const char* stem) {
    wchar_t wpath[MAX_PATH], full[MAX_PATH];
    char path[MAX_PATH];
    HBITMAP bm;
    DIBSECTION ds;
    PICTDESC desc;
    IDispatch* pic = NULL;
    _GIF* gif;
    MultiByteToWideChar(CP_UTF8, 0, in, -1, wpath, MAX_PATH);
    GetFullPathNameW(wpath, MAX_PATH, full, NULL);
    bm = (HBITMAP)LoadImageW(NULL, full, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    expect(bm && GetObjectW(bm, sizeof ds, &ds) == sizeof ds && ds.dsBmih.biBitCount == 8,
           "LoadImage(LR_CREATEDIBSECTION) makes an 8-bit section of the 8-bit file");
    if (!bm) return;
    memset(&desc, 0, sizeof desc);
    desc.cbSizeofstruct = sizeof desc;
    desc.picType = PICTYPE_BITMAP;
    desc.bmp.hbitmap = bm;
    expect(SUCCEEDED(OleCreatePictureIndirect(&desc, &IID_IDispatch, TRUE, (void**)&pic)) && pic,
           "a picture object of the 8-bit section");
    if (!pic) return DeleteObject(bm), (void)0;
    gif = create(L"TAVOLIN2.GIF", &IID__GIF);
    if (gif) {
        static const struct {
            int with_dc;
            const char* suffix;
            const char* what;
        } saves[] = {{0, "8.gif", "SaveGIF of the 8-bit picture, fixed table"},
                     {1, "8-dc.gif", "SaveGIF of the 8-bit picture from a context holding it, fixed table"}};
        size_t k;
        for (k = 0; k < sizeof saves / sizeof saves[0]; ++k) {
            VARIANT_BOOL ok = VARIANT_FALSE, trans = VARIANT_FALSE;
            HDC dc = saves[k].with_dc ? CreateCompatibleDC(NULL) : NULL;
            HGDIOBJ old = dc ? SelectObject(dc, bm) : NULL;
            LONG hdc = (LONG)(INT_PTR)dc;
            BSTR b;
            snprintf(path, sizeof path, "%s%s", stem, saves[k].suffix);
            MultiByteToWideChar(CP_UTF8, 0, path, -1, wpath, MAX_PATH);
            b = SysAllocString(wpath);
            expect(SUCCEEDED(_GIF_SaveGIF(gif, pic, b, &hdc, &trans, 0, &ok)) && ok, saves[k].what);
            SysFreeString(b);
            if (dc) {
                SelectObject(dc, old);
                DeleteDC(dc);
            }
        }
        expect(_GIF_Release(gif) == 0, "GIF released to zero");
    }
    IDispatch_Release(pic); /* owns the bitmap */
}

/* The registered type library of this architecture, as early binding and the
 * platform's marshaller load it: found for locale 0x0409 and 0, of this
 * architecture's system kind, its dispatch interfaces seven pointers long. */
static void registered_type_library(void) {
    static const LCID locales[] = {0x0409, 0};
    size_t k;
    for (k = 0; k < sizeof locales / sizeof locales[0]; ++k) {
        ITypeLib* lib = NULL;
        ITypeInfo* info = NULL;
        TLIBATTR* la = NULL;
        TYPEATTR* ta = NULL;
        char what[96];
        HRESULT hr = LoadRegTypeLib(&LIBID_TAVOLIN2, 1, 0, locales[k], &lib);
        snprintf(what, sizeof what, "LoadRegTypeLib(LIBID, 1, 0, 0x%lx)", (unsigned long)locales[k]);
        if (FAILED(hr)) printf("     %s: 0x%08lX\n", what, (unsigned long)hr);
        expect(SUCCEEDED(hr) && lib, what);
        if (!lib) continue;
        if (SUCCEEDED(ITypeLib_GetLibAttr(lib, &la))) {
            printf("     syskind %d, pointers of %u bytes\n", (int)la->syskind, (unsigned)sizeof(void*));
            expect(la->syskind == (sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32),
                   "the type library's system kind is this architecture's");
            ITypeLib_ReleaseTLibAttr(lib, la);
        }
        if (SUCCEEDED(ITypeLib_GetTypeInfoOfGuid(lib, &DIID___cPalette, &info)) &&
            SUCCEEDED(ITypeInfo_GetTypeAttr(info, &ta))) {
            printf("     __cPalette: %u bytes of entry table\n", (unsigned)ta->cbSizeVft);
            expect(ta->typekind == TKIND_DISPATCH && ta->cbSizeVft == 7 * sizeof(void*),
                   "a dispatch interface's entry table is IDispatch's seven pointers");
            ITypeInfo_ReleaseTypeAttr(info, ta);
        } else {
            expect(0, "__cPalette in the registered type library");
        }
        if (info) ITypeInfo_Release(info);
        ITypeLib_Release(lib);
    }
}

/* The event interface a coclass names as its default source, or IID_NULL. */
static GUID default_source(ITypeInfo* coclass) {
    TYPEATTR* ta = NULL;
    GUID found = IID_NULL;
    UINT i;
    if (FAILED(ITypeInfo_GetTypeAttr(coclass, &ta))) return found;
    for (i = 0; i < ta->cImplTypes; ++i) {
        INT flags = 0;
        HREFTYPE ref;
        ITypeInfo* t = NULL;
        TYPEATTR* a = NULL;
        if (FAILED(ITypeInfo_GetImplTypeFlags(coclass, i, &flags)) ||
            (flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) != (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE))
            continue;
        if (SUCCEEDED(ITypeInfo_GetRefTypeOfImplType(coclass, i, &ref)) &&
            SUCCEEDED(ITypeInfo_GetRefTypeInfo(coclass, ref, &t)) && SUCCEEDED(ITypeInfo_GetTypeAttr(t, &a))) {
            found = a->guid;
            ITypeInfo_ReleaseTypeAttr(t, a);
        }
        if (t) ITypeInfo_Release(t);
    }
    ITypeInfo_ReleaseTypeAttr(coclass, ta);
    return found;
}

/* IProvideClassInfo and IProvideClassInfo2 on every class: the class's own
 * coclass entry, and as the default source interface the one the coclass names
 * (none for a class without events, which the call says with a failure). */
static void class_info(void) {
    static const wchar_t* progids[] = {
        L"TAVOLIN2.clsTavolin2", L"TAVOLIN2.clsQELPictureViewer", L"TAVOLIN2.clsQELCompany",
        L"TAVOLIN2.MP3Class",    L"TAVOLIN2.MovieModule",         L"TAVOLIN2.clsBCAT175",
        L"TAVOLIN2.GIF",         L"TAVOLIN2.cDIBSection",         L"TAVOLIN2.cPalette"};
    size_t k;
    int right = 0, with_events = 0;
    for (k = 0; k < sizeof progids / sizeof progids[0]; ++k) {
        CLSID clsid;
        IUnknown* o = create(progids[k], &IID_IUnknown);
        IProvideClassInfo* pci = NULL;
        IProvideClassInfo2* pci2 = NULL;
        ITypeInfo* info = NULL;
        TYPEATTR* ta = NULL;
        GUID source = IID_NULL, named;
        HRESULT hr;
        int ok = 0;
        if (!o || FAILED(CLSIDFromProgID(progids[k], &clsid))) {
            printf("     %ls: not created\n", progids[k]);
            continue;
        }
        if (SUCCEEDED(IUnknown_QueryInterface(o, &IID_IProvideClassInfo, (void**)&pci)) && pci &&
            SUCCEEDED(IProvideClassInfo_GetClassInfo(pci, &info)) && info &&
            SUCCEEDED(ITypeInfo_GetTypeAttr(info, &ta))) {
            ok = ta->typekind == TKIND_COCLASS && IsEqualGUID(&ta->guid, &clsid);
            ITypeInfo_ReleaseTypeAttr(info, ta);
        }
        if (ok && SUCCEEDED(IUnknown_QueryInterface(o, &IID_IProvideClassInfo2, (void**)&pci2)) && pci2) {
            named = default_source(info);
            hr = IProvideClassInfo2_GetGUID(pci2, GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source);
            ok = IsEqualGUID(&named, &IID_NULL) ? FAILED(hr) && IsEqualGUID(&source, &IID_NULL)
                                                : SUCCEEDED(hr) && IsEqualGUID(&source, &named);
            if (ok && SUCCEEDED(hr)) ++with_events;
            ok = ok && IProvideClassInfo2_GetGUID(pci2, 99, &source) == E_INVALIDARG;
        } else {
            ok = 0;
        }
        if (!ok) printf("     %ls: IProvideClassInfo2 answers wrong\n", progids[k]);
        right += ok;
        if (info) ITypeInfo_Release(info);
        if (pci2) IProvideClassInfo2_Release(pci2);
        if (pci) IProvideClassInfo_Release(pci);
        IUnknown_Release(o);
    }
    printf("     IProvideClassInfo2: %d of %u classes right, %d with an event interface\n", right,
           (unsigned)(sizeof progids / sizeof progids[0]), with_events);
    expect(right == (int)(sizeof progids / sizeof progids[0]) && with_events == 2,
           "IProvideClassInfo2: every class's coclass, and the event interface of GIF and cPalette");
}

/* The version record says the DLL registers itself (OLESelfRegister), which
 * installers look for. */
static void self_register_entry(void) {
    wchar_t path[MAX_PATH];
    HMODULE lib = GetModuleHandleW(L"tavolin2.dll");
    DWORD ignored = 0, size;
    void* data;
    void* value = NULL;
    UINT length = 0;
    int found = 0;
    if (lib && GetModuleFileNameW(lib, path, MAX_PATH) && (size = GetFileVersionInfoSizeW(path, &ignored)) > 0 &&
        (data = HeapAlloc(GetProcessHeap(), 0, size)) != NULL) {
        found = GetFileVersionInfoW(path, 0, size, data) &&
                VerQueryValueW(data, L"\\StringFileInfo\\040904B0\\OLESelfRegister", &value, &length);
        HeapFree(GetProcessHeap(), 0, data);
    }
    expect(found, "the version record has OLESelfRegister");
}

/* A client in a multithreaded apartment: the platform creates the object in an
 * apartment of its own and hands out a proxy, through the registered type
 * library (which the marshaller looks up by the neutral locale). */
static DWORD WINAPI mta_client(void* arg) {
    HRESULT* result = arg;
    CLSID clsid;
    _cPalette* pal = NULL;
    LONG count = 0;
    CoInitializeEx(NULL, COINIT_MULTITHREADED);
    *result = CLSIDFromProgID(L"TAVOLIN2.cPalette", &clsid);
    if (SUCCEEDED(*result))
        *result = CoCreateInstance(&clsid, NULL, CLSCTX_INPROC_SERVER, &IID__cPalette, (void**)&pal);
    if (SUCCEEDED(*result)) *result = _cPalette_CreateWebSafe(pal);
    if (SUCCEEDED(*result)) *result = _cPalette_get_Count(pal, &count);
    if (SUCCEEDED(*result) && count != 256) *result = E_UNEXPECTED;
    if (pal) _cPalette_Release(pal);
    CoUninitialize();
    return 0;
}

static void multithreaded_client(void) {
    HRESULT hr = E_FAIL;
    HANDLE thread = CreateThread(NULL, 0, mta_client, &hr, 0, NULL);
    WaitForSingleObject(thread, 30000);
    CloseHandle(thread);
    if (FAILED(hr)) printf("     the multithreaded client: 0x%08lX\n", (unsigned long)hr);
    expect(SUCCEEDED(hr), "a multithreaded apartment creates cPalette and calls it through the proxy");
}

int main(int argc, char** argv) {
    _cPalette* pal;
    _clsQELCompany* company;
    IConnectionPointContainer* cpc = NULL;
    IConnectionPoint* cp = NULL;
    Sink sink = {{&sink_vtbl}, 1, {0}, 0};
    DWORD cookie = 0;
    LONG count = 0, index = 0;
    HMODULE lib;
    HRESULT(STDAPICALLTYPE * can_unload)(void);

    CoInitialize(NULL);

    /* early-bound calls through the entry table */
    pal = create(L"TAVOLIN2.cPalette", &IID__cPalette);
    expect(pal != NULL, "cPalette by programmatic name");
    if (pal) {
        expect(SUCCEEDED(IUnknown_QueryInterface(pal, &IID_IConnectionPointContainer, (void**)&cpc)) && cpc,
               "cPalette is a connection point container");
        if (cpc) {
            expect(SUCCEEDED(IConnectionPointContainer_FindConnectionPoint(cpc, &DIID___cPalette, &cp)) && cp,
                   "FindConnectionPoint(__cPalette)");
            if (cp) expect(SUCCEEDED(IConnectionPoint_Advise(cp, (IUnknown*)&sink.iface, &cookie)), "Advise");
        }
        expect(SUCCEEDED(_cPalette_CreateWebSafe(pal)), "CreateWebSafe");
        _cPalette_get_Count(pal, &count);
        printf("     Count = %ld\n", (long)count);
        expect(count == 256, "the web-safe palette has 256 entries");
        expect(SUCCEEDED(_cPalette_get_ClosestIndex(pal, 250, 10, 10, &index)), "ClosestIndex");
        printf("     ClosestIndex(250, 10, 10) = %ld\n", (long)index);
        {
            VARIANT i;
            BYTE r = 0, g = 1, b = 1;
            VariantInit(&i);
            V_VT(&i) = VT_I4;
            V_I4(&i) = index;
            _cPalette_get_Red(pal, i, &r);
            _cPalette_get_Green(pal, i, &g);
            _cPalette_get_Blue(pal, i, &b);
            expect(r == 255 && g == 0 && b == 0, "the closest entry to (250, 10, 10) is pure red");
        }
        if (cp) {
            /* the octree raises InitProgress, Progress and Complete to the sink */
            _cDIBSection* dib = create(L"TAVOLIN2.cDIBSection", &IID__cDIBSection);
            VARIANT_BOOL ok = VARIANT_FALSE;
            if (dib && SUCCEEDED(_cDIBSection_Create(dib, 64, 32, &ok)) && ok) {
                _cDIBSection_RandomiseBits(dib, VARIANT_FALSE);
                expect(SUCCEEDED(_cPalette_CreateOptimal(pal, &dib, 64, 6)), "CreateOptimal with a sink");
                printf("     events: InitProgress %d, Progress %d, Complete %d (max %ld)\n", sink.calls[1],
                       sink.calls[2], sink.calls[3], (long)sink.last_max);
                expect(sink.calls[1] == 1 && sink.calls[2] > 0 && sink.calls[3] == 1,
                       "events reached the sink through the connection point");
            }
            if (dib) expect(_cDIBSection_Release(dib) == 0, "cDIBSection released to zero");
            expect(SUCCEEDED(IConnectionPoint_Unadvise(cp, cookie)), "Unadvise");
            expect(sink.refs == 1, "the sink's references came back");
            IConnectionPoint_Release(cp);
        }
        if (cpc) IConnectionPointContainer_Release(cpc);
        expect(_cPalette_Release(pal) == 0, "cPalette released to zero");
    }

    company = create(L"TAVOLIN2.clsQELCompany", &IID__clsQELCompany);
    expect(company != NULL, "clsQELCompany by programmatic name");
    if (company) {
        QELCompanyInformationTypeConstants id = qelCompanyName1;
        VARIANT v;
        VariantInit(&v);
        expect(SUCCEEDED(_clsQELCompany_GetQELCompanyInformation(company, &id, &v)) && V_VT(&v) == VT_BSTR &&
                   lstrcmpW(V_BSTR(&v), L"QEL") == 0,
               "GetQELCompanyInformation(901) = QEL");
        VariantClear(&v);
        expect(_clsQELCompany_Release(company) == 0, "clsQELCompany released to zero");
    }

    play_list();
    registered_type_library();
    class_info();
    self_register_entry();
    if (argc == 2 && strcmp(argv[1], "--apartments") == 0) {
        across_apartments();
        multithreaded_client();
    }

    if (argc == 3 || argc == 4) {
        write_files(argv[1], argv[2]);
        draw_barcodes(argv[2]);
        if (argc == 4) write_8bit(argv[3], argv[2]);
    }

    lib = GetModuleHandleW(L"tavolin2.dll");
    expect(lib != NULL, "tavolin2.dll is loaded in process");
    if (lib) {
        can_unload = (HRESULT(STDAPICALLTYPE*)(void))(void*)GetProcAddress(lib, "DllCanUnloadNow");
        expect(can_unload && can_unload() == S_OK, "DllCanUnloadNow answers S_OK with no objects left");
    }
    CoUninitialize();
    printf("client: %d failure(s)\n", failures);
    return failures;
}
