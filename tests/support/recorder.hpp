// Test support: a message-box recorder and a scripted event sink.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "frame/com.hpp"

namespace t2test {

struct Box {
    std::string text, title;
    int style;
};

// Installs itself as the message-box handler while it lives.
class BoxRecorder {
public:
    explicit BoxRecorder(int answer = 0);
    ~BoxRecorder();
    std::vector<Box> boxes;
    int answer;
};

// A sink for one event interface: records (member id, arguments) and runs a hook.
class Sink final : public IDispatch {
public:
    explicit Sink(const IID& iid) : iid_(iid) {}
    std::vector<std::pair<DISPID, std::vector<t2::Variant>>> calls;
    std::function<void(DISPID)> on_event;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // owned by the test
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* dp, VARIANT*, EXCEPINFO*,
                                     UINT*) override;
    std::atomic<ULONG> refs{1};  // a proxy on another thread may count too

private:
    IID iid_;
};

// Creates an object of a class by id through its factory, as IDispatch.
t2::ComPtr<IDispatch> create(const CLSID& clsid);

}  // namespace t2test
