// The kit's entry points (tavolin2/kit.h).
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "kit/list_box.hpp"
#include "kit/picture.hpp"
#include "kit/picture_box.hpp"
#include "tavolin2/kit.h"

namespace kit {
namespace {

// Fails with runtime error `number`, the description in the thread's error info.
HRESULT fail(long number, const std::string& description) {
    ICreateErrorInfo* c = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&c))) {
        BSTR d = SysAllocStringUTF8(description.c_str());
        BSTR s = SysAllocStringUTF8("tavolin2 kit");
        c->SetDescription(d);
        c->SetSource(s);
        SysFreeString(d);
        SysFreeString(s);
        IErrorInfo* e = nullptr;
        if (SUCCEEDED(c->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&e)))) {
            SetErrorInfo(0, e);
            e->Release();
        }
        c->Release();
    }
    return T2_ERROR_STATUS(number);
}

HRESULT succeed() {
    SetErrorInfo(0, nullptr);
    return S_OK;
}

// A property of an object by name; false when it has none or the read fails.
bool read_long(IDispatch* obj, const char16_t* name, LONG& out) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    if (name && FAILED(obj->GetIDsOfNames(IID_NULL, names, 1, 0, &id))) return false;
    if (!name) id = DISPID_VALUE;
    VARIANT v, l;
    VariantInit(&v);
    VariantInit(&l);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    bool ok = SUCCEEDED(obj->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr)) &&
              SUCCEEDED(VariantChangeType(&l, &v, 0, VT_I4));
    if (ok) out = l.lVal;
    VariantClear(&v);
    return ok;
}

// `dc`: the context the picture's bitmap is selected into (a picture box's), which the
// writer then reads from; a bitmap is selected into one context at a time, so the
// writer cannot select it into one of its own. 0 for a picture of its own.
HRESULT save_gif(IDispatch* picture, const std::string& path, LONG dc = 0) {
    _GIF* gif = nullptr;
    HRESULT hr = T2CoCreateInstance(CLSID_GIF, IID__GIF, reinterpret_cast<void**>(&gif));
    if (FAILED(hr)) return fail(429, "cannot write " + path + ": the GIF writer is not available");
    BSTR name = SysAllocStringUTF8(path.c_str());
    LONG hdc = dc;
    VARIANT_BOOL use = VARIANT_FALSE, ok = VARIANT_FALSE;
    hr = gif->SaveGIF(picture, name, &hdc, &use, 0, &ok);
    SysFreeString(name);
    gif->Release();
    if (FAILED(hr)) return hr;  // the writer's error info stays
    if (!ok) return fail(75, "cannot write " + path + ": the GIF writer failed");
    return succeed();
}

}  // namespace
}  // namespace kit

using namespace kit;

T2_API HRESULT T2LoadPicture(const char* path, IDispatch** picture) {
    if (!picture) return E_POINTER;
    *picture = nullptr;
    if (!path) return fail(53, "File not found: no file name");
    try {
        struct stat st {};
        if (stat(path, &st) != 0) {
            int e = errno;
            return fail(e == ENOENT || e == ENOTDIR ? 53 : 75,
                        std::string(e == ENOENT ? "File not found: " : "Path/File access error: ") + path + ": " +
                            std::strerror(e));
        }
        std::string error;
        gdi::HGDI bm = load_image(path, error);
        if (!bm) {
            if (error.find("out of memory") != std::string::npos) return fail(7, "Out of memory: " + error);
            if (!S_ISREG(st.st_mode) || error.find("cannot open") == 0 || error.find("cannot read") == 0)
                return fail(75, "Path/File access error: " + error);
            return fail(481, "Invalid picture: " + error);
        }
        *picture = Picture::make(bm, Picture::Bitmap, true);
        return succeed();
    } catch (const std::bad_alloc&) {
        return fail(7, std::string("Out of memory: ") + path);
    }
}

T2_API const char* T2PictureFormats(void) { return picture_formats(); }

T2_API HRESULT T2SavePicture(IDispatch* obj, const char* path) {
    if (!obj) return fail(91, "Object variable not set: no picture to save");
    if (!path || !*path) return fail(75, "Path/File access error: no file name");
    try {
        std::string out = path, ext = extension(out);
        if (ext != "png" && ext != "bmp" && ext != "gif")
            return fail(380, "Invalid property value: " + out + ": a picture is saved as .png, .bmp or .gif, not as " +
                                 (ext.empty() ? std::string("a name without an extension") : "." + ext));
        // a picture box by its device context, a picture by its bitmap handle
        LONG handle = 0;
        bool box = read_long(obj, u"hDc", handle);
        if (!box && !read_long(obj, nullptr, handle))
            return fail(438, "Object doesn't support this property or method: neither hDc nor Handle to save");
        if (ext == "gif") {
            if (!box) return save_gif(obj, out);
            // the box's bitmap as a picture of its own, for the GIF writer
            T2HGDI bitmap = T2GetCurrentObject(handle, T2_OBJ_BITMAP);
            Picture* pic = Picture::make(bitmap, Picture::Bitmap, false);
            HRESULT hr = save_gif(pic, out, handle);
            pic->Release();
            return hr;
        }
        std::string error;
        if (!save_surface(handle, out, error)) return fail(error.find("no surface") == 0 ? 481 : 75, error);
        return succeed();
    } catch (const std::bad_alloc&) {
        return fail(7, std::string("Out of memory: ") + path);
    }
}

T2_API HRESULT T2CreatePictureBox(LONG width, LONG height, IDispatch** box) {
    if (!box) return E_POINTER;
    *box = nullptr;
    if (width < 0 || height < 0 || width > 65535 || height > 65535)
        return fail(380, "Invalid property value: a picture box of " + std::to_string(width) + "x" +
                             std::to_string(height) + " pixels (0 to 65535 a side)");
    try {
        *box = PictureBox::make(width, height);
        return succeed();
    } catch (const HostError& e) {
        return fail(e.number, e.text);
    } catch (const std::bad_alloc&) {
        return fail(7, "Out of memory: no picture box of that size");
    }
}

T2_API HRESULT T2CreateListBox(IDispatch** list) {
    if (!list) return E_POINTER;
    *list = nullptr;
    try {
        *list = ListBox::make();
        return succeed();
    } catch (const std::bad_alloc&) {
        return fail(7, "Out of memory");
    }
}

T2_API HRESULT T2CreatePicture(LONG bitmap, T2BOOL owns, IDispatch** picture) {
    if (!picture) return E_POINTER;
    *picture = nullptr;
    if (T2GetObjectType(bitmap) != T2_OBJ_BITMAP)
        return fail(481, "Invalid picture: handle " + std::to_string(bitmap) + " is no bitmap");
    try {
        *picture = Picture::make(bitmap, Picture::Bitmap, owns != 0);
        return succeed();
    } catch (const std::bad_alloc&) {
        return fail(7, "Out of memory");
    }
}
