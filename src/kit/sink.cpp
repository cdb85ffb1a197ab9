// Event sinks over a C callback (T2CreateSink).
#include <atomic>
#include <cstring>
#include <new>

#include "tavolin2/kit.h"

namespace kit {
namespace {

class Sink final : public IDispatch {
public:
    Sink(const IID& events, T2SinkInvoke invoke, T2SinkRelease release, void* context)
        : events_(events), invoke_(invoke), release_(release), context_(context) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (same(riid, IID_IUnknown) || same(riid, IID_IDispatch) || same(riid, events_)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG r = --refs_;
        if (r == 0) {
            if (release_) release_(context_);
            delete this;
        }
        return r;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        if (!n) return E_POINTER;
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** p) override {
        if (p) *p = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
        for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        return invoke_(context_, id, params ? params : &none, result);
    }

private:
    static bool same(const IID& a, const IID& b) { return std::memcmp(&a, &b, sizeof(IID)) == 0; }
    IID events_;
    T2SinkInvoke invoke_;
    T2SinkRelease release_;
    void* context_;
    std::atomic<ULONG> refs_{1};
};

}  // namespace
}  // namespace kit

T2_API HRESULT T2CreateSink(REFIID events, T2SinkInvoke invoke, T2SinkRelease release, void* context,
                            IDispatch** sink) {
    if (!sink) return E_POINTER;
    *sink = nullptr;
    if (!invoke) return E_INVALIDARG;
    *sink = new (std::nothrow) kit::Sink(events, invoke, release, context);
    return *sink ? S_OK : E_OUTOFMEMORY;
}
