#include "support/pictures.hpp"

#include "support/recorder.hpp"

namespace t2test {

using namespace t2::gdi;

HRESULT HandlePicture::QueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IPictureDisp) {
        *ppv = this;
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT HandlePicture::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* r, EXCEPINFO*, UINT*) {
    if (id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
    VariantInit(r);
    r->vt = VT_I4;
    r->lVal = handle_;
    return S_OK;
}

HGDI make_bitmap(int w, int h, const std::function<uint32_t(int, int)>& f) {
    BITMAPINFO bi{};
    bi.bmiHeader = {40, w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    int32_t bits = 0;
    HGDI bm = CreateDIBSection(0, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    Surface s;
    surface_of(bm, s);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t c = f(x, y);
            uint8_t* p = s.top + y * s.step + x * 3;
            p[0] = static_cast<uint8_t>(c);
            p[1] = static_cast<uint8_t>(c >> 8);
            p[2] = static_cast<uint8_t>(c >> 16);
        }
    return bm;
}

t2::ComPtr<_cDIBSection> make_section(int w, int h, const std::function<uint32_t(int, int)>& f) {
    HGDI bm = make_bitmap(w, h, f);
    HandlePicture pic(bm);
    auto d = create(CLSID_cDIBSection).query<_cDIBSection>(IID__cDIBSection);
    IDispatch* p = &pic;
    VARIANT r;
    d->CreateFromPicture(&p, &r);
    DeleteObject(bm);
    return d;
}

uint32_t pixel(_cDIBSection* d, int x, int y) {
    LONG dib = 0, h = 0, bpsl = 0;
    d->get_hDib(&dib);
    d->get_Height(&h);
    d->get_BytesPerScanLine(&bpsl);
    const uint8_t* base = bitmap_bits(dib, static_cast<size_t>(bpsl) * h);
    const uint8_t* p = base + static_cast<size_t>(h - 1 - y) * bpsl + x * 3;  // rows bottom-up
    return p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16);
}

}  // namespace t2test
