// Test support: sections filled from byte patterns, pictures of handles.
#pragma once

#include <atomic>
#include <functional>

#include "frame/com.hpp"
#include "platform/gdi/gdi.hpp"

namespace t2test {

// A picture-like object: its default member (id 0) is a handle.
class HandlePicture final : public IDispatch {
public:
    explicit HandlePicture(int32_t handle) : handle_(handle) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* r, EXCEPINFO*,
                                     UINT*) override;
    std::atomic<ULONG> refs{1};  // a proxy on another thread may count too

private:
    int32_t handle_;
};

// A new 24-bit section of w x h whose pixel (x, y from the top) is f(x, y) as 0x00RRGGBB.
t2::gdi::HGDI make_bitmap(int w, int h, const std::function<uint32_t(int, int)>& f);

// A cDIBSection object of w x h filled with f (through CreateFromPicture).
t2::ComPtr<_cDIBSection> make_section(int w, int h, const std::function<uint32_t(int, int)>& f);

// Pixel (x, y from the top) of a section as 0x00RRGGBB, read through its section's handle.
uint32_t pixel(_cDIBSection* d, int x, int y);

}  // namespace t2test
