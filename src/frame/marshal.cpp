// Calls across apartments.  An object answers only on the thread that made it;
// another thread gets a proxy, and each call through the proxy is carried to
// the owner's thread, runs there when that thread turns its message loop, and
// comes back with its result, by-reference values, status and error info.
//
// The caller waits inside the call, so every pointer it passed stays valid
// while the owner works on it.  Objects passed by value (a picture, a section,
// a sink) are handed over as proxies to the caller's apartment, and objects
// that come back are proxies to the owner's.  By-reference object arguments
// are passed as they are.
#include <deque>
#include <memory>
#include <mutex>
#include <new>

#include "com.hpp"
#include "platform/apartment.hpp"

namespace t2 {
namespace {

constexpr HRESULT kDisconnected = static_cast<HRESULT>(0x80010108);  // RPC_E_DISCONNECTED

IDispatch* wrap_dispatch(IDispatch* real, const platform::ApartmentRef& home);

template <class I>
const IID* iid_of();
#define T2_IID_OF(cls, iface, inst, ev) \
    template <>                         \
    const IID* iid_of<iface>() {        \
        return &IID_##iface;            \
    }
T2_CLASSES(T2_IID_OF)
#undef T2_IID_OF

// The objects a call hands to the owner, as proxies to the calling apartment:
// they live until the call has returned (the owner takes references of its own
// to what it keeps).  By-reference object arguments point at a proxy here; what
// the member stores there does not go back.
class Outgoing {
public:
    template <class T>
    T pass(T v) {
        return v;
    }
    IDispatch* pass(IDispatch* d) { return make(d); }
    _cDIBSection* pass(_cDIBSection* d) { return as_dib(make(d)); }
    IDispatch** pass(IDispatch** pp) {
        if (!pp) return pp;
        return &slots_.emplace_back(make(*pp));
    }
    _cDIBSection** pass(_cDIBSection** pp) {
        if (!pp) return pp;
        return &dib_slots_.emplace_back(as_dib(make(*pp)));
    }

private:
    IDispatch* make(IDispatch* d) {
        if (!d) return nullptr;
        IDispatch* p = wrap_dispatch(d, platform::current_apartment());
        if (p) made_.push_back(ComPtr<IDispatch>::adopt(p));
        return p;
    }
    _cDIBSection* as_dib(IDispatch* p) {
        if (!p) return nullptr;
        _cDIBSection* dib = nullptr;
        p->QueryInterface(IID__cDIBSection, reinterpret_cast<void**>(&dib));
        if (dib) made_.push_back(ComPtr<IDispatch>::adopt(dib));
        return dib;
    }
    std::vector<ComPtr<IDispatch>> made_;
    std::deque<IDispatch*> slots_;
    std::deque<_cDIBSection*> dib_slots_;
};

// Runs `call` on `object` in `home` and carries the thread's error info back with it.
template <class F>
HRESULT run_in(const platform::ApartmentRef& home, const void* object, F&& call) {
    HRESULT hr = E_UNEXPECTED;
    IErrorInfo* info = nullptr;
    bool ran = platform::call_in(
        home,
        [&] {
            hr = call();
            if (FAILED(hr)) GetErrorInfo(0, &info);
        },
        object);
    if (!ran) return kDisconnected;
    if (FAILED(hr)) {
        SetErrorInfo(0, info);
        if (info) info->Release();
    }
    return hr;
}

// The shared part of every proxy: the real object, its apartment, a count.
class ProxyBase {
public:
    ProxyBase(IUnknown* real, platform::ApartmentRef home) : real_(real), home_(std::move(home)) {
        real_->AddRef();
        object_created();
    }
    virtual ~ProxyBase() {
        real_->Release();  // reference counting works on any thread
        object_destroyed();
    }
    ProxyBase(const ProxyBase&) = delete;
    ProxyBase& operator=(const ProxyBase&) = delete;

protected:
    template <class F>
    HRESULT forward(F&& call) {
        return run_in(home_, real_, std::forward<F>(call));
    }
    // An object handed to the owner: a proxy back to the calling apartment.
    IDispatch* outgoing(IDispatch* d) const { return d ? wrap_dispatch(d, platform::current_apartment()) : nullptr; }
    // An object the owner handed back: a proxy to the owner's apartment.
    IDispatch* incoming(IDispatch* d) const {
        if (!d) return nullptr;
        IDispatch* p = wrap_dispatch(d, home_);
        d->Release();
        return p;
    }

    IUnknown* real_;
    platform::ApartmentRef home_;
    std::atomic<ULONG> refs_{1};
};

// Late-bound calls: VT_DISPATCH arguments by value go out as proxies, a
// VT_DISPATCH result comes back as one.
HRESULT invoke_across(IDispatch* real, const platform::ApartmentRef& home, DISPID id, REFIID riid, LCID lcid,
                      WORD flags, DISPPARAMS* dp, VARIANT* result, EXCEPINFO* excep, UINT* arg_err);

template <class I>
class Proxy;

// The entry tables of the default interfaces, forwarded slot by slot.
#define T2_FWD_NAME(type, name, mode, def) name
#define T2_RESFWD_Z_Void
#define T2_RESFWD_N_Void
#define T2_RESFWD_ANY_Z pResult
#define T2_RESFWD_ANY_N , pResult
#define T2_RESFWD_Z_Boolean T2_RESFWD_ANY_Z
#define T2_RESFWD_N_Boolean T2_RESFWD_ANY_N
#define T2_RESFWD_Z_Integer T2_RESFWD_ANY_Z
#define T2_RESFWD_N_Integer T2_RESFWD_ANY_N
#define T2_RESFWD_Z_Long T2_RESFWD_ANY_Z
#define T2_RESFWD_N_Long T2_RESFWD_ANY_N
#define T2_RESFWD_Z_Byte T2_RESFWD_ANY_Z
#define T2_RESFWD_N_Byte T2_RESFWD_ANY_N
#define T2_RESFWD_Z_String T2_RESFWD_ANY_Z
#define T2_RESFWD_N_String T2_RESFWD_ANY_N
#define T2_RESFWD_Z_Variant T2_RESFWD_ANY_Z
#define T2_RESFWD_N_Variant T2_RESFWD_ANY_N
#define T2_RESFWD_Z_DIB T2_RESFWD_ANY_Z
#define T2_RESFWD_N_DIB T2_RESFWD_ANY_N
#define T2_RESFWD(res, n) T2_CAT(T2_CAT(T2_RESFWD_, T2_ZN(n)), T2_CAT(_, res))
// in-arguments: objects by value go out as proxies; everything else as it is
#define T2_OUTARG(type, name, mode, def) hold.pass(name)
#define T2_PROXY_SLOT(kind, name, id, res, n, params)                                                               \
    HRESULT STDMETHODCALLTYPE T2_ENTRY(kind, name)(T2_LIST(n, T2_ABI_PARAM, params) T2_RES(res, n)) override {      \
        Outgoing hold;                                                                                              \
        HRESULT hr = this->forward(                                                                                 \
            [&] { return this->target()->T2_ENTRY(kind, name)(T2_LIST(n, T2_OUTARG, params) T2_RESFWD(res, n)); }); \
        T2_PROXY_FIX_##res return hr;                                                                               \
    }
#define T2_PROXY_FIX_Void
#define T2_PROXY_FIX_Boolean
#define T2_PROXY_FIX_Integer
#define T2_PROXY_FIX_Long
#define T2_PROXY_FIX_Byte
#define T2_PROXY_FIX_String
#define T2_PROXY_FIX_Variant \
    if (SUCCEEDED(hr) && pResult) this->fix_variant(*pResult);
#define T2_PROXY_FIX_DIB \
    if (SUCCEEDED(hr) && pResult && *pResult) *pResult = this->incoming_dib(*pResult);

// What a proxy of interface I needs besides its slots.
template <class I>
class ProxyCore : public I, public ProxyBase {
public:
    ProxyCore(I* real, platform::ApartmentRef home) : ProxyBase(real, std::move(home)), target_(real) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG r = --refs_;
        if (r == 0) delete this;
        return r;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        return forward([&] { return target_->GetTypeInfoCount(n); });
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID lcid, ITypeInfo** p) override {
        return target_->GetTypeInfo(i, lcid, p);  // type information is the same on every thread
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return forward([&] { return target_->GetIDsOfNames(riid, names, count, lcid, ids); });
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* dp, VARIANT* result,
                                     EXCEPINFO* excep, UINT* arg_err) override {
        return invoke_across(target_, home_, id, riid, lcid, flags, dp, result, excep, arg_err);
    }

protected:
    I* target() const { return target_; }
    _cDIBSection* incoming_dib(_cDIBSection* d) const;
    void fix_variant(VARIANT& v) const {
        if (v.vt == VT_DISPATCH && v.pdispVal) v.pdispVal = incoming(v.pdispVal);
    }

private:
    I* target_;
};

template <class I>
class Proxy;
#define T2_PROXY_CLASS(cls, iface, inst, ev)             \
    template <>                                          \
    class Proxy<iface> final : public ProxyCore<iface> { \
    public:                                              \
        using ProxyCore<iface>::ProxyCore;               \
        T2_MEMBERS_##iface(T2_PROXY_SLOT)                \
    };
T2_CLASSES(T2_PROXY_CLASS)
#undef T2_PROXY_CLASS

// A proxy of any other dispatch object: a caller's picture, a sink, a section
// whose class the proxy does not know; answers IDispatch and the event
// interfaces (pure dispatch interfaces have IDispatch's entry table).
class DispatchProxy final : public IDispatch, public ProxyBase {
public:
    DispatchProxy(IDispatch* real, platform::ApartmentRef home) : ProxyBase(real, std::move(home)), target_(real) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        bool same = riid == IID_IUnknown || riid == IID_IDispatch;
        if (!same && (riid == DIID___GIF || riid == DIID___cPalette || riid == IID_IPictureDisp)) {
            IUnknown* probe = nullptr;
            HRESULT hr = forward([&] { return target_->QueryInterface(riid, reinterpret_cast<void**>(&probe)); });
            if (FAILED(hr)) return hr;
            if (probe) probe->Release();
            same = true;
        }
        if (!same) return E_NOINTERFACE;
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG r = --refs_;
        if (r == 0) delete this;
        return r;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        return forward([&] { return target_->GetTypeInfoCount(n); });
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID lcid, ITypeInfo** p) override {
        return forward([&] { return target_->GetTypeInfo(i, lcid, p); });
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return forward([&] { return target_->GetIDsOfNames(riid, names, count, lcid, ids); });
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* dp, VARIANT* result,
                                     EXCEPINFO* excep, UINT* arg_err) override {
        return invoke_across(target_, home_, id, riid, lcid, flags, dp, result, excep, arg_err);
    }

private:
    IDispatch* target_;
};

// Connection points of an object in another apartment: finding, advising and
// unadvising run on the owner's thread; the sink goes there as a proxy to the
// advising apartment, so events come back to it.
class PointProxy final : public IConnectionPoint, public ProxyBase {
public:
    PointProxy(IConnectionPoint* real, platform::ApartmentRef home) : ProxyBase(real, std::move(home)), target_(real) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG r = --refs_;
        if (r == 0) delete this;
        return r;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        return forward([&] { return target_->GetConnectionInterface(iid); });
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink) return E_POINTER;
        IDispatch* d = nullptr;
        if (FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d))) || !d)
            return CONNECT_E_CANNOTCONNECT;
        IDispatch* there = wrap_dispatch(d, platform::current_apartment());
        d->Release();
        HRESULT hr = forward([&] { return target_->Advise(there, cookie); });
        there->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        return forward([&] { return target_->Unadvise(cookie); });
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** e) override {
        if (e) *e = nullptr;
        return E_NOTIMPL;  // the sinks are proxies of the owner's side
    }

private:
    IConnectionPoint* target_;
};

class ContainerProxy final : public IConnectionPointContainer, public ProxyBase {
public:
    ContainerProxy(IConnectionPointContainer* real, platform::ApartmentRef home)
        : ProxyBase(real, std::move(home)), target_(real) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IConnectionPointContainer) return E_NOINTERFACE;
        *ppv = static_cast<IConnectionPointContainer*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG r = --refs_;
        if (r == 0) delete this;
        return r;
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** e) override {
        if (e) *e = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** cp) override {
        if (!cp) return E_POINTER;
        *cp = nullptr;
        IConnectionPoint* real = nullptr;
        HRESULT hr = forward([&] { return target_->FindConnectionPoint(riid, &real); });
        if (FAILED(hr)) return hr;
        *cp = new (std::nothrow) PointProxy(real, home_);
        real->Release();
        return *cp ? S_OK : E_OUTOFMEMORY;
    }

private:
    IConnectionPointContainer* target_;
};

template <class I>
HRESULT STDMETHODCALLTYPE ProxyCore<I>::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == *iid_of<I>()) {
        *ppv = static_cast<I*>(this);
        AddRef();
        return S_OK;
    }
    if (riid == IID_IConnectionPointContainer) {
        IConnectionPointContainer* real = nullptr;
        HRESULT hr = forward([&] { return target_->QueryInterface(riid, reinterpret_cast<void**>(&real)); });
        if (FAILED(hr) || !real) return FAILED(hr) ? hr : E_NOINTERFACE;
        *ppv = static_cast<IConnectionPointContainer*>(new (std::nothrow) ContainerProxy(real, home_));
        real->Release();
        return *ppv ? S_OK : E_OUTOFMEMORY;
    }
    return E_NOINTERFACE;
}

template <class I>
_cDIBSection* ProxyCore<I>::incoming_dib(_cDIBSection* d) const {
    IDispatch* p = wrap_dispatch(d, home_);
    d->Release();
    return reinterpret_cast<_cDIBSection*>(p);
}

// The proxy for an object: a typed one for the library's default interfaces,
// a dispatch one for anything else.
IDispatch* wrap_dispatch(IDispatch* real, const platform::ApartmentRef& home) {
#define T2_TRY_TYPED(cls, iface, inst, ev)                                                             \
    {                                                                                                  \
        iface* typed = nullptr;                                                                        \
        if (SUCCEEDED(real->QueryInterface(IID_##iface, reinterpret_cast<void**>(&typed))) && typed) { \
            IDispatch* p = new (std::nothrow) Proxy<iface>(typed, home);                               \
            typed->Release();                                                                          \
            return p;                                                                                  \
        }                                                                                              \
    }
    T2_CLASSES(T2_TRY_TYPED)
#undef T2_TRY_TYPED
    return new (std::nothrow) DispatchProxy(real, home);
}

HRESULT invoke_across(IDispatch* real, const platform::ApartmentRef& home, DISPID id, REFIID riid, LCID lcid,
                      WORD flags, DISPPARAMS* dp, VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
    DISPPARAMS local{nullptr, nullptr, 0, 0};
    std::vector<VARIANT> args;
    std::vector<ComPtr<IDispatch>> made;
    if (dp) {
        local = *dp;
        if (dp->cArgs && dp->rgvarg) {
            args.assign(dp->rgvarg, dp->rgvarg + dp->cArgs);
            for (VARIANT& a : args)
                if (a.vt == VT_DISPATCH && a.pdispVal) {
                    IDispatch* p = wrap_dispatch(a.pdispVal, platform::current_apartment());
                    if (!p) return E_OUTOFMEMORY;
                    made.push_back(ComPtr<IDispatch>::adopt(p));
                    a.pdispVal = p;
                }
            local.rgvarg = args.data();
        }
    }
    HRESULT hr = run_in(
        home, real, [&] { return real->Invoke(id, riid, lcid, flags, dp ? &local : nullptr, result, excep, arg_err); });
    if (SUCCEEDED(hr) && result && result->vt == VT_DISPATCH && result->pdispVal) {
        IDispatch* p = wrap_dispatch(result->pdispVal, home);
        result->pdispVal->Release();
        result->pdispVal = p;
    }
    return hr;
}

// ---- handing an interface to another thread ----

// What a stream or the global table holds: the object and its apartment.
constexpr IID kMarshalled = {0x3D7E5B20, 0x1C4A, 0x4F0B, {0x8E, 0x2D, 0x71, 0x90, 0xA6, 0x3B, 0x55, 0xC4}};

class Marshalled final : public IUnknown {
public:
    Marshalled(IUnknown* obj, platform::ApartmentRef home) : obj_(obj), home_(std::move(home)) {
        obj_->AddRef();
        object_created();
    }
    ~Marshalled() {
        obj_->Release();
        object_destroyed();
    }
    Marshalled(const Marshalled&) = delete;
    Marshalled& operator=(const Marshalled&) = delete;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == kMarshalled) {
            *ppv = this;  // no reference: only this file asks, to know its own objects
            return S_OK;
        }
        if (riid != IID_IUnknown) return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG r = --refs_;
        if (r == 0) delete this;
        return r;
    }
    // The interface for the calling thread: the object itself at home, a proxy elsewhere.
    HRESULT unmarshal(REFIID riid, void** ppv) {
        if (platform::is_current(home_)) return obj_->QueryInterface(riid, ppv);
        IDispatch* d = nullptr;
        if (FAILED(obj_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d))) || !d) return E_NOINTERFACE;
        IDispatch* proxy = wrap_dispatch(d, home_);
        d->Release();
        if (!proxy) return E_OUTOFMEMORY;
        HRESULT hr = proxy->QueryInterface(riid, ppv);
        proxy->Release();
        return hr;
    }
    static Marshalled* from(IUnknown* p) {
        void* m = nullptr;
        return p && p->QueryInterface(kMarshalled, &m) == S_OK ? static_cast<Marshalled*>(m) : nullptr;
    }

private:
    IUnknown* obj_;
    platform::ApartmentRef home_;
    std::atomic<ULONG> refs_{1};
};

struct GlobalTable {
    std::mutex mutex;
    std::vector<std::pair<DWORD, ComPtr<Marshalled>>> entries;
    DWORD next = 0x100;
};
GlobalTable& global_table() {
    static GlobalTable* t = new GlobalTable;  // for the process's whole life
    return *t;
}

}  // namespace

}  // namespace t2

using t2::Marshalled;

T2_API HRESULT T2MarshalInterThreadInterfaceInStream(REFIID riid, IUnknown* obj, IUnknown** stream) {
    if (!stream) return E_POINTER;
    *stream = nullptr;
    if (!obj) return E_INVALIDARG;
    IUnknown* typed = nullptr;
    HRESULT hr = obj->QueryInterface(riid, reinterpret_cast<void**>(&typed));
    if (FAILED(hr)) return hr;
    *stream = new (std::nothrow) Marshalled(typed, t2::platform::current_apartment());
    typed->Release();
    return *stream ? S_OK : E_OUTOFMEMORY;
}

T2_API HRESULT T2GetInterfaceAndReleaseStream(IUnknown* stream, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    Marshalled* m = stream ? Marshalled::from(stream) : nullptr;
    if (!m) return E_INVALIDARG;
    HRESULT hr = m->unmarshal(riid, ppv);
    stream->Release();
    return hr;
}

T2_API HRESULT T2RegisterInterfaceInGlobal(IUnknown* obj, REFIID riid, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    IUnknown* stream = nullptr;
    HRESULT hr = T2MarshalInterThreadInterfaceInStream(riid, obj, &stream);
    if (FAILED(hr)) return hr;
    auto& t = t2::global_table();
    std::lock_guard<std::mutex> lock(t.mutex);
    *cookie = t.next++;
    t.entries.emplace_back(*cookie, t2::ComPtr<Marshalled>::adopt(Marshalled::from(stream)));
    return S_OK;
}

T2_API HRESULT T2GetInterfaceFromGlobal(DWORD cookie, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    t2::ComPtr<Marshalled> m;
    {
        auto& t = t2::global_table();
        std::lock_guard<std::mutex> lock(t.mutex);
        for (auto& e : t.entries)
            if (e.first == cookie) m = e.second;
    }
    if (!m) return E_INVALIDARG;
    return m->unmarshal(riid, ppv);
}

T2_API HRESULT T2RevokeInterfaceFromGlobal(DWORD cookie) {
    t2::ComPtr<Marshalled> gone;
    auto& t = t2::global_table();
    std::lock_guard<std::mutex> lock(t.mutex);
    for (auto it = t.entries.begin(); it != t.entries.end(); ++it)
        if (it->first == cookie) {
            gone = std::move(it->second);
            t.entries.erase(it);
            return S_OK;
        }
    return E_INVALIDARG;
}

T2_API int T2PumpMessages(void) { return t2::platform::run_pending_calls(); }

T2_API void T2RunMessageLoop(const volatile LONG* stop) {
    // the flag is set by another thread: read it as an atomic
    auto stopped = [stop] { return stop && __atomic_load_n(const_cast<const LONG*>(stop), __ATOMIC_ACQUIRE) != 0; };
    while (!stopped()) {
        t2::platform::run_pending_calls();
        t2::platform::wait_for_calls(10);
    }
    t2::platform::run_pending_calls();
}
