#include "support/recorder.hpp"

#include <stdexcept>

namespace t2test {

namespace {
int record(void* ctx, const char* text, const char* title, int style) {
    auto* r = static_cast<BoxRecorder*>(ctx);
    r->boxes.push_back({text, title, style});
    return r->answer;
}
}  // namespace

BoxRecorder::BoxRecorder(int a) : answer(a) { T2SetMessageBoxHandler(&record, this); }
BoxRecorder::~BoxRecorder() { T2SetMessageBoxHandler(nullptr, nullptr); }

HRESULT Sink::QueryInterface(REFIID riid, void** ppv) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == iid_) {
        *ppv = this;
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT Sink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* dp, VARIANT*, EXCEPINFO*, UINT*) {
    std::vector<t2::Variant> args;
    for (UINT i = dp->cArgs; i-- > 0;) args.emplace_back(dp->rgvarg[i]);
    calls.emplace_back(id, std::move(args));
    if (on_event) on_event(id);
    return S_OK;
}

t2::ComPtr<IDispatch> create(const CLSID& clsid) {
    IClassFactory* f = nullptr;
    if (FAILED(DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&f))))
        throw std::runtime_error("no factory");
    IDispatch* d = nullptr;
    HRESULT hr = f->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&d));
    f->Release();
    if (FAILED(hr)) throw std::runtime_error("no instance");
    return t2::ComPtr<IDispatch>::adopt(d);
}

}  // namespace t2test
