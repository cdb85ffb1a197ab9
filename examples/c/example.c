/* tavolin2 from C: a picture to GIF with a progress event, a Code 128 PNG,
 * a play list written and read.
 *
 *   example OUT_DIR [PICTURE]
 *
 * Without PICTURE it draws one in a picture box first. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tavolin2/kit.h>
#include <tavolin2/tavolin2.h>

static int fail(const char* what, HRESULT hr) {
    BSTR text = NULL;
    IErrorInfo* info = NULL;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        info->lpVtbl->GetDescription(info, &text);
        info->lpVtbl->Release(info);
    }
    LONG number = T2DescribeStatus(hr, text ? NULL : &text);
    char* utf8 = T2StringToUTF8(text);
    fprintf(stderr, "%s: error %ld: %s\n", what, (long)number, utf8 ? utf8 : "");
    free(utf8);
    SysFreeString(text);
    return 1;
}

/* A late-bound call with positional arguments in call order. */
static HRESULT call(IDispatch* obj, const char* member, WORD flags, VARIANT* args, UINT count, VARIANT* result) {
    BSTR name = SysAllocStringUTF8(member);
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = obj->lpVtbl->GetIDsOfNames(obj, &IID_NULL, &name, 1, 0, &id);
    SysFreeString(name);
    if (FAILED(hr)) return hr;
    VARIANT reversed[8];
    for (UINT i = 0; i < count; ++i) reversed[count - 1 - i] = args[i];
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS dp = {reversed, flags == DISPATCH_PROPERTYPUT ? &put : NULL, count,
                     flags == DISPATCH_PROPERTYPUT ? 1 : 0};
    return obj->lpVtbl->Invoke(obj, id, &IID_NULL, 0, flags, &dp, result, NULL, NULL);
}

static VARIANT long_value(LONG v) {
    VARIANT r;
    VariantInit(&r);
    r.vt = VT_I4;
    r.lVal = v;
    return r;
}

static VARIANT text_value(const char* utf8) {
    VARIANT r;
    VariantInit(&r);
    r.vt = VT_BSTR;
    r.bstrVal = SysAllocStringUTF8(utf8);
    return r;
}

/* GIF.Progress (DISPID 1) as a bar on stderr. */
static HRESULT on_gif_event(void* context, DISPID member, DISPPARAMS* params, VARIANT* result) {
    (void)context;
    (void)result;
    VARIANT percents;
    VariantInit(&percents);
    if (member == 1 && params->cArgs == 1 && SUCCEEDED(VariantChangeType(&percents, &params->rgvarg[0], 0, VT_I4))) {
        LONG percent = percents.lVal;
        fprintf(stderr, "\rGIF %3ld%%", (long)percent);
        if (percent >= 100) fprintf(stderr, "\n");
    }
    return S_OK;
}

static int picture_to_gif(const char* dir, const char* input) {
    char path[4096];
    IDispatch* picture = NULL;
    HRESULT hr;
    if (input) {
        hr = T2LoadPicture(input, &picture);
        if (FAILED(hr)) return fail(input, hr);
    } else {
        /* a picture of our own: a blue box and a red line on white */
        IDispatch* box = NULL;
        hr = T2CreatePictureBox(160, 120, &box);
        if (FAILED(hr)) return fail("picture box", hr);
        VARIANT line[6] = {long_value(6),   long_value(20), long_value(20),
                           long_value(100), long_value(80), long_value(0xFF0000)};
        call(box, "Line", DISPATCH_METHOD, line, 6, NULL);
        VARIANT stroke[6] = {long_value(0),   long_value(0), long_value(119),
                             long_value(159), long_value(0), long_value(0x0000FF)};
        call(box, "Line", DISPATCH_METHOD, stroke, 6, NULL);
        VARIANT image;
        VariantInit(&image);
        hr = call(box, "Image", DISPATCH_PROPERTYGET, NULL, 0, &image);
        box->lpVtbl->Release(box);
        if (FAILED(hr) || image.vt != VT_DISPATCH) return fail("Image", hr);
        picture = image.pdispVal; /* the reference the VARIANT held */
    }

    _GIF* gif = NULL;
    hr = T2CoCreateInstance(&CLSID_GIF, &IID__GIF, (void**)&gif);
    if (FAILED(hr)) return fail("GIF", hr);
    VARIANT best;
    VariantInit(&best);
    best.vt = VT_BOOL;
    best.boolVal = VARIANT_TRUE;
    gif->lpVtbl->put_BestQuality(gif, best);

    /* the progress events go to a sink */
    IDispatch* sink = NULL;
    IConnectionPointContainer* cpc = NULL;
    IConnectionPoint* cp = NULL;
    DWORD cookie = 0;
    T2CreateSink(&DIID___GIF, on_gif_event, NULL, NULL, &sink);
    if (SUCCEEDED(gif->lpVtbl->QueryInterface(gif, &IID_IConnectionPointContainer, (void**)&cpc)) &&
        SUCCEEDED(cpc->lpVtbl->FindConnectionPoint(cpc, &DIID___GIF, &cp)))
        cp->lpVtbl->Advise(cp, (IUnknown*)sink, &cookie);

    snprintf(path, sizeof path, "%s/picture.gif", dir);
    BSTR name = SysAllocStringUTF8(path);
    LONG hdc = 0;
    VARIANT_BOOL transparent = VARIANT_FALSE, ok = VARIANT_FALSE;
    hr = gif->lpVtbl->SaveGIF(gif, picture, name, &hdc, &transparent, 0, &ok);
    SysFreeString(name);
    if (cp) {
        cp->lpVtbl->Unadvise(cp, cookie);
        cp->lpVtbl->Release(cp);
    }
    if (cpc) cpc->lpVtbl->Release(cpc);
    sink->lpVtbl->Release(sink);
    gif->lpVtbl->Release(gif);
    picture->lpVtbl->Release(picture);
    if (FAILED(hr)) return fail("SaveGIF", hr);
    printf("%s\n", path);
    return ok ? 0 : 1;
}

static int code128_png(const char* dir) {
    char path[4096];
    IDispatch* box = NULL;
    HRESULT hr = T2CreatePictureBox(260, 90, &box);
    if (FAILED(hr)) return fail("picture box", hr);
    _clsBCAT175* barcode = NULL;
    hr = T2CoCreateInstance(&CLSID_clsBCAT175, &IID__clsBCAT175, (void**)&barcode);
    if (FAILED(hr)) return fail("clsBCAT175", hr);
    /* every argument by reference, as the member takes them */
    BSTR text = SysAllocStringUTF8("TAVOLIN2-128"), caption = SysAllocStringUTF8("TAVOLIN2-128"),
         font = SysAllocStringUTF8("Courier New");
    IDispatch* target = box;
    LONG back = 0xFFFFFF, fore = 0;
    OLE_COLOR caption_color = 0;
    SHORT align = 2, display = 1, style = 2, size = 10, bar_height = 40, left = 10, top = 10;
    VARIANT result;
    VariantInit(&result);
    hr = barcode->lpVtbl->Barcode128Draw(barcode, &text, &target, &caption, &back, &fore, &caption_color, &align,
                                         &display, &style, &size, &font, &bar_height, &left, &top, &result);
    SysFreeString(text);
    SysFreeString(caption);
    SysFreeString(font);
    VariantClear(&result);
    barcode->lpVtbl->Release(barcode);
    if (SUCCEEDED(hr)) {
        snprintf(path, sizeof path, "%s/code128.png", dir);
        hr = T2SavePicture(box, path);
    }
    box->lpVtbl->Release(box);
    if (FAILED(hr)) return fail("Code 128", hr);
    printf("%s\n", path);
    return 0;
}

static int play_list(const char* dir) {
    char path[4096];
    snprintf(path, sizeof path, "%s/list.m3u", dir);
    _MP3Class* player = NULL;
    HRESULT hr = T2CoCreateInstance(&CLSID_MP3Class, &IID__MP3Class, (void**)&player);
    if (FAILED(hr)) return fail("MP3Class", hr);
    IDispatch* list = NULL;
    T2CreateListBox(&list);
    const char* entries[] = {"intro.mp3", "C:\\Music\\song.mp3", "outro.wav"};
    for (int i = 0; i < 3; ++i) {
        VARIANT item = text_value(entries[i]);
        call(list, "AddItem", DISPATCH_METHOD, &item, 1, NULL);
        VariantClear(&item);
    }
    BSTR file = SysAllocStringUTF8(path);
    VARIANT holder, result;
    VariantInit(&holder);
    VariantInit(&result);
    holder.vt = VT_DISPATCH;
    holder.pdispVal = list;
    hr = player->lpVtbl->MP3SavePlayList(player, &file, &holder, &result);

    /* read it back into a second list */
    IDispatch* back = NULL;
    T2CreateListBox(&back);
    holder.pdispVal = back;
    if (SUCCEEDED(hr)) hr = player->lpVtbl->MP3OpenPlayList(player, &file, &holder, &result);
    SysFreeString(file);
    VARIANT count;
    VariantInit(&count);
    if (SUCCEEDED(hr)) hr = call(back, "ListCount", DISPATCH_PROPERTYGET, NULL, 0, &count);
    for (LONG i = 0; SUCCEEDED(hr) && i < count.lVal; ++i) {
        VARIANT index = long_value(i), entry;
        VariantInit(&entry);
        hr = call(back, "List", DISPATCH_PROPERTYGET, &index, 1, &entry);
        char* utf8 = T2StringToUTF8(entry.bstrVal);
        printf("  %s\n", utf8);
        free(utf8);
        VariantClear(&entry);
    }
    list->lpVtbl->Release(list);
    back->lpVtbl->Release(back);
    player->lpVtbl->Release(player);
    if (FAILED(hr)) return fail("play list", hr);
    printf("%s: %ld entries\n", path, (long)count.lVal);
    return count.lVal == 3 ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: %s OUT_DIR [PICTURE]\n", argv[0]);
        return 2;
    }
    int rc = picture_to_gif(argv[1], argc == 3 ? argv[2] : NULL);
    if (rc == 0) rc = code128_png(argv[1]);
    if (rc == 0) rc = play_list(argv[1]);
    return rc;
}
