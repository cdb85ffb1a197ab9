// Calls across apartments.  An object answers only on the thread that made it;
// another thread gets a proxy, and each call through the proxy is carried to
// the owner's thread, runs there when that thread turns its message loop, and
// comes back with its result, by-reference values, status and error info.
//
// The caller waits inside the call, so every pointer it passed stays valid
// while the owner works on it.  Every object the caller hands over (by value
// or by reference, typed or in a VARIANT) reaches the owner as a proxy to the
// caller's apartment, so the owner's calls on it run on the caller's thread;
// every object that comes back (a result, or one a member stores in a
// by-reference argument) reaches the caller as a proxy to the owner's.
//
// Proxies keep the object rules: an apartment has one proxy per object (one
// IUnknown), a proxy answers the interfaces its object has, and a proxy is
// never wrapped in another: its object and home are taken instead, so a call
// goes straight to the object's own thread, and a proxy handed on by a thread
// that has since ended still reaches an owner that is alive.
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <tuple>
#include <type_traits>

#include "com.hpp"
#include "platform/apartment.hpp"

namespace t2 {
namespace {

using platform::ApartmentRef;

constexpr HRESULT kDisconnected = static_cast<HRESULT>(0x80010108);  // RPC_E_DISCONNECTED
// Asked of an interface to learn whether it is one of this file's proxies (answers without a reference).
constexpr IID kProxyIid = {0x6B1F2C90, 0x4E7A, 0x4C33, {0x9A, 0x51, 0x0D, 0x8E, 0x27, 0xB4, 0x6C, 0x19}};

template <class I>
const IID* iid_of();
#define T2_IID_OF(cls, iface, inst, ev) \
    template <>                         \
    const IID* iid_of<iface>() {        \
        return &IID_##iface;            \
    }
T2_CLASSES(T2_IID_OF)
#undef T2_IID_OF
template <>
const IID* iid_of<IDispatch>() {
    return &IID_IDispatch;
}

// Runs `call` on `object` in `home` and carries the thread's error info back with it.
template <class F>
HRESULT run_in(const ApartmentRef& home, const void* object, F&& call) {
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

class ProxyBase;

// The proxies in use: one per (apartment that calls it, object identity).
struct ProxyTable {
    std::mutex mutex;
    std::map<std::pair<const platform::Apartment*, IUnknown*>, ProxyBase*> entries;
};
ProxyTable& proxy_table() {
    static ProxyTable* t = new ProxyTable;  // for the process's whole life: proxies may outlive static destruction
    return *t;
}

// The shared part of every proxy: the real object, its identity, its apartment,
// the apartment that calls it, a count.
class ProxyBase {
public:
    ProxyBase(IUnknown* real, IUnknown* identity, ApartmentRef home, ApartmentRef user)
        : real_(real), identity_(identity), home_(std::move(home)), user_(std::move(user)) {
        real_->AddRef();
        identity_->AddRef();
        object_created();
    }
    virtual ~ProxyBase() {
        real_->Release();  // reference counting works on any thread
        identity_->Release();
        object_destroyed();
    }
    ProxyBase(const ProxyBase&) = delete;
    ProxyBase& operator=(const ProxyBase&) = delete;

    // The proxy's IUnknown, and its object as IDispatch (nullptr for a connection point).
    virtual IUnknown* unknown() = 0;
    virtual IDispatch* real_dispatch() const { return nullptr; }
    const ApartmentRef& home() const { return home_; }
    IUnknown* real() const { return real_; }

    // A new reference unless the proxy is already on its way out (found in the table meanwhile).
    bool try_add_ref() {
        ULONG r = refs_.load();
        while (r != 0)
            if (refs_.compare_exchange_weak(r, r + 1)) return true;
        return false;
    }
    // Enters the proxy in the table, unless one for the pair came first: then that one
    // (with a new reference) is the answer, and this one goes.
    ProxyBase* enter() {
        auto& t = proxy_table();
        std::lock_guard<std::mutex> lock(t.mutex);
        auto [it, fresh] = t.entries.try_emplace({user_.get(), identity_}, this);
        if (!fresh && it->second->try_add_ref()) {
            refs_ = 0;
            lost_ = true;
            return it->second;
        }
        it->second = this;
        return this;
    }
    static ProxyBase* find(const ApartmentRef& user, IUnknown* identity) {
        auto& t = proxy_table();
        std::lock_guard<std::mutex> lock(t.mutex);
        auto it = t.entries.find({user.get(), identity});
        return it != t.entries.end() && it->second->try_add_ref() ? it->second : nullptr;
    }
    static ProxyBase* from(IUnknown* p) {
        void* b = nullptr;
        return p && p->QueryInterface(kProxyIid, &b) == S_OK ? static_cast<ProxyBase*>(b) : nullptr;
    }

protected:
    ULONG add_ref() { return ++refs_; }
    ULONG release_ref() {
        ULONG r = --refs_;
        if (r == 0) {
            forget();
            delete this;
        }
        return r;
    }
    template <class F>
    HRESULT forward(F&& call) {
        return run_in(home_, real_, std::forward<F>(call));
    }
    // Answers the private question "are you a proxy?".
    bool answer_proxy_iid(REFIID riid, void** ppv) {
        if (riid != kProxyIid) return false;
        *ppv = this;
        return true;
    }

    IUnknown* real_;
    IUnknown* identity_;
    ApartmentRef home_, user_;

private:
    void forget() {
        if (lost_) return;
        auto& t = proxy_table();
        std::lock_guard<std::mutex> lock(t.mutex);
        auto it = t.entries.find({user_.get(), identity_});
        if (it != t.entries.end() && it->second == this) t.entries.erase(it);
    }
    std::atomic<ULONG> refs_{1};
    bool lost_ = false;
};

IUnknown* identity_of(IUnknown* p) {
    IUnknown* id = nullptr;
    if (FAILED(p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&id))) || !id) {
        p->AddRef();
        return p;
    }
    return id;
}

IDispatch* new_proxy(IDispatch* real, IUnknown* identity, const ApartmentRef& home, const ApartmentRef& user);

// An interface the apartment `user` may call for `obj`, which lives in `home`:
// the object itself in its own apartment, else the one proxy of (user, object).
// Returns a new reference, or nullptr (no object, or out of memory).
IDispatch* proxy_for(IDispatch* obj, ApartmentRef home, const ApartmentRef& user) {
    if (!obj) return nullptr;
    if (ProxyBase* p = ProxyBase::from(obj); p && p->real_dispatch()) {
        obj = p->real_dispatch();
        home = p->home();
    }
    if (home == user) {
        obj->AddRef();
        return obj;
    }
    IUnknown* identity = identity_of(obj);
    IDispatch* out = nullptr;
    if (ProxyBase* known = ProxyBase::find(user, identity)) {
        known->unknown()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&out));
        known->unknown()->Release();  // find's reference
    } else {
        out = new_proxy(obj, identity, home, user);
    }
    identity->Release();
    return out;
}

// The same for an object known only as IUnknown: through its IDispatch when it has
// one; one that has none cannot be called from elsewhere and goes as it is.
IUnknown* proxy_for_unknown(IUnknown* obj, const ApartmentRef& home, const ApartmentRef& user) {
    if (!obj) return nullptr;
    IDispatch* d = nullptr;
    if (FAILED(obj->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d))) || !d) {
        obj->AddRef();
        return obj;
    }
    IDispatch* p = proxy_for(d, home, user);
    d->Release();
    if (!p) return nullptr;
    IUnknown* u = nullptr;
    p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u));
    p->Release();
    return u;
}

bool holds_object(const VARIANT& v) {
    switch (v.vt) {
        case VT_DISPATCH:
        case VT_UNKNOWN:
        case VT_BYREF | VT_DISPATCH:
        case VT_BYREF | VT_UNKNOWN: return true;
        case VT_BYREF | VT_VARIANT: return v.pvarVal && holds_object(*v.pvarVal);
        default: return false;
    }
}

// A variant from `home` as `user` may hold it: its object (if any) swapped for a
// proxy, the original's reference given up.  By-reference forms are left alone.
void adopt_variant(VARIANT& v, const ApartmentRef& home, const ApartmentRef& user) {
    if (v.vt == VT_DISPATCH && v.pdispVal) {
        IDispatch* p = proxy_for(v.pdispVal, home, user);
        v.pdispVal->Release();
        v.pdispVal = p;
    } else if (v.vt == VT_UNKNOWN && v.punkVal) {
        IUnknown* p = proxy_for_unknown(v.punkVal, home, user);
        v.punkVal->Release();
        v.punkVal = p;
    }
}

// What a call hands to the owner, as proxies to the calling apartment.  Made and
// used on the calling thread, before and after the call: objects passed by value
// live until the call has returned (the owner takes references of its own to what
// it keeps); a by-reference object or variant points into a slot here, and what
// the member leaves there goes back to the caller as a proxy to the owner.
class Outgoing {
public:
    explicit Outgoing(ApartmentRef owner) : here_(platform::current_apartment()), owner_(std::move(owner)) {}
    Outgoing(const Outgoing&) = delete;
    Outgoing& operator=(const Outgoing&) = delete;
    ~Outgoing() {
        for (auto& s : dispatch_slots_) release(s.value);
        for (auto& s : dib_slots_) release(s.value);
        for (auto& s : unknown_slots_) release(s.value);
        for (auto& s : variant_slots_) VariantClear(&s.value);
    }

    template <class T>
    T pass(T v) {
        return v;
    }
    IDispatch* pass(IDispatch* d) { return keep(d); }
    _cDIBSection* pass(_cDIBSection* d) { return as_dib(keep(d)); }
    IDispatch** pass(IDispatch** pp) { return pp ? &slot(dispatch_slots_, pp, keep(*pp)).value : pp; }
    _cDIBSection** pass(_cDIBSection** pp) { return pp ? &slot(dib_slots_, pp, as_dib(keep(*pp))).value : pp; }
    VARIANT pass(VARIANT v) { return outgoing(v); }
    VARIANT* pass(VARIANT* v) {
        if (!v || !holds_object(*v)) return v;
        if (v->vt & VT_BYREF) {  // the member writes through the inner pointer, never the variant
            outer_.push_back(outgoing(*v));
            return &outer_.back();
        }
        return variant_slot(v);
    }
    // The caller's variant as the owner may use it.
    VARIANT outgoing(const VARIANT& v) {
        VARIANT r = v;  // the caller still owns what it holds
        switch (v.vt) {
            case VT_DISPATCH: r.pdispVal = keep(v.pdispVal); break;
            case VT_UNKNOWN: r.punkVal = keep_unknown(v.punkVal); break;
            case VT_BYREF | VT_DISPATCH:
                if (v.ppdispVal) r.ppdispVal = &slot(dispatch_slots_, v.ppdispVal, keep(*v.ppdispVal)).value;
                break;
            case VT_BYREF | VT_UNKNOWN:
                if (v.ppunkVal) r.ppunkVal = &slot(unknown_slots_, v.ppunkVal, keep_unknown(*v.ppunkVal)).value;
                break;
            case VT_BYREF | VT_VARIANT:
                if (v.pvarVal && holds_object(*v.pvarVal)) r.pvarVal = pass(v.pvarVal);
                break;
            default: break;
        }
        return r;
    }

    // After the call, on the calling thread: what the member stored in a slot goes to the caller.
    void bring_back() {
        for (auto& s : dispatch_slots_) back(s, [&](IDispatch* d) { return proxy_for(d, owner_, here_); });
        for (auto& s : dib_slots_) back(s, [&](_cDIBSection* d) { return as_own_dib(proxy_for(d, owner_, here_)); });
        for (auto& s : unknown_slots_) back(s, [&](IUnknown* u) { return proxy_for_unknown(u, owner_, here_); });
        for (auto& s : variant_slots_) {
            const bool same = s.value.vt == s.given.vt && s.value.punkVal == s.given.punkVal;
            if (same) continue;  // the destructor gives up the slot's reference
            adopt_variant(s.value, owner_, here_);
            VariantClear(s.caller);
            *s.caller = s.value;  // moved: the slot no longer holds it
            VariantInit(&s.value);
        }
    }

private:
    template <class T>
    struct Slot {
        T** caller;
        T* given;  // the proxy handed over (its reference is in made_)
        T* value;  // what the member sees and may replace; holds a reference of its own
    };
    struct VariantSlot {
        VARIANT* caller;
        VARIANT given;  // no reference of its own
        VARIANT value;  // holds a reference of its own
    };
    template <class T>
    static void release(T* p) {
        if (p) p->Release();
    }
    template <class T>
    Slot<T>& slot(std::deque<Slot<T>>& slots, T** caller, T* given) {
        if (given) given->AddRef();
        slots.push_back({caller, given, given});
        return slots.back();
    }
    template <class T, class Wrap>
    void back(Slot<T>& s, Wrap wrap) {
        if (s.value == s.given) return;  // unchanged: the destructor gives up the slot's reference
        T* out = s.value ? wrap(s.value) : nullptr;
        release(s.value);  // the member's new object: the caller holds it through `out`
        s.value = nullptr;
        release(*s.caller);  // the member let go of what it was given, as a by-reference callee does
        *s.caller = out;
    }
    VARIANT* variant_slot(VARIANT* caller) {
        VARIANT given = outgoing(*caller);
        VARIANT value = given;
        if ((value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) && value.punkVal) value.punkVal->AddRef();
        variant_slots_.push_back({caller, given, value});
        return &variant_slots_.back().value;
    }
    IDispatch* keep(IDispatch* d) {
        if (!d) return nullptr;
        IDispatch* p = proxy_for(d, here_, owner_);
        if (p) made_.push_back(ComPtr<IUnknown>::adopt(p));
        return p;
    }
    IUnknown* keep_unknown(IUnknown* u) {
        if (!u) return nullptr;
        IUnknown* p = proxy_for_unknown(u, here_, owner_);
        if (p) made_.push_back(ComPtr<IUnknown>::adopt(p));
        return p;
    }
    _cDIBSection* as_dib(IDispatch* p) {
        if (!p) return nullptr;
        _cDIBSection* dib = nullptr;
        p->QueryInterface(IID__cDIBSection, reinterpret_cast<void**>(&dib));
        if (dib) made_.push_back(ComPtr<IUnknown>::adopt(dib));
        return dib;
    }
    static _cDIBSection* as_own_dib(IDispatch* p) {
        if (!p) return nullptr;
        _cDIBSection* dib = nullptr;
        p->QueryInterface(IID__cDIBSection, reinterpret_cast<void**>(&dib));
        p->Release();
        return dib;
    }

    ApartmentRef here_, owner_;
    std::vector<ComPtr<IUnknown>> made_;
    std::deque<Slot<IDispatch>> dispatch_slots_;
    std::deque<Slot<_cDIBSection>> dib_slots_;
    std::deque<Slot<IUnknown>> unknown_slots_;
    std::deque<VariantSlot> variant_slots_;
    std::deque<VARIANT> outer_;  // by-reference variants pointing into the slots
};

// Late-bound calls: every object argument goes out as a proxy, by-reference
// objects come back, and a result object comes back as a proxy.
HRESULT invoke_across(IDispatch* real, const ApartmentRef& home, DISPID id, REFIID riid, LCID lcid, WORD flags,
                      DISPPARAMS* dp, VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
    DISPPARAMS local{nullptr, nullptr, 0, 0};
    std::vector<VARIANT> args;
    Outgoing hold(home);
    if (dp) {
        local = *dp;
        if (dp->cArgs && dp->rgvarg) {
            args.reserve(dp->cArgs);
            for (UINT i = 0; i < dp->cArgs; ++i) args.push_back(hold.outgoing(dp->rgvarg[i]));
            local.rgvarg = args.data();
        }
    }
    HRESULT hr = run_in(
        home, real, [&] { return real->Invoke(id, riid, lcid, flags, dp ? &local : nullptr, result, excep, arg_err); });
    hold.bring_back();
    if (SUCCEEDED(hr) && result) adopt_variant(*result, home, platform::current_apartment());
    return hr;
}

// Connection points of an object in another apartment: finding, advising and
// unadvising run on the owner's thread; the sink goes there as a proxy to the
// advising apartment, so events come back to it.
class PointProxy final : public IConnectionPoint, public ProxyBase {
public:
    using ProxyBase::ProxyBase;
    IUnknown* unknown() override { return static_cast<IConnectionPoint*>(this); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (answer_proxy_iid(riid, ppv)) return S_OK;
        if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(); }
    ULONG STDMETHODCALLTYPE Release() override { return release_ref(); }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        return forward([&] { return point()->GetConnectionInterface(iid); });
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** cpc) override {
        if (!cpc) return E_POINTER;
        *cpc = nullptr;
        IConnectionPointContainer* real = nullptr;
        HRESULT hr = forward([&] { return point()->GetConnectionPointContainer(&real); });
        if (FAILED(hr) || !real) return FAILED(hr) ? hr : E_UNEXPECTED;
        // the container's proxy here, the one the object's other interfaces share
        IDispatch* d = nullptr;
        real->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d));
        real->Release();
        if (!d) return E_NOINTERFACE;
        IDispatch* p = proxy_for(d, home_, platform::current_apartment());
        d->Release();
        if (!p) return E_OUTOFMEMORY;
        hr = p->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(cpc));
        p->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink) return E_POINTER;
        IDispatch* d = nullptr;
        if (FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d))) || !d)
            return CONNECT_E_CANNOTCONNECT;
        IDispatch* there = proxy_for(d, platform::current_apartment(), home_);
        d->Release();
        if (!there) return E_OUTOFMEMORY;
        HRESULT hr = forward([&] { return point()->Advise(there, cookie); });
        there->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        return forward([&] { return point()->Unadvise(cookie); });
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** e) override {
        if (!e) return E_POINTER;
        *e = nullptr;
        std::vector<CONNECTDATA> found;  // taken on the owner's thread, each with a reference
        HRESULT hr = forward([&] {
            IEnumConnections* real = nullptr;
            HRESULT r = point()->EnumConnections(&real);
            if (FAILED(r) || !real) return FAILED(r) ? r : E_UNEXPECTED;
            CONNECTDATA cd{};
            ULONG n = 0;
            while (real->Next(1, &cd, &n) == S_OK && n == 1) found.push_back(cd);
            real->Release();
            return S_OK;
        });
        if (FAILED(hr)) return hr;
        // the sinks, as this apartment sees them: its own sinks are themselves again
        for (CONNECTDATA& cd : found) {
            IUnknown* here = proxy_for_unknown(cd.pUnk, home_, platform::current_apartment());
            cd.pUnk->Release();
            cd.pUnk = here;
        }
        hr = make_connection_enumerator(found, e);
        for (CONNECTDATA& cd : found)
            if (cd.pUnk) cd.pUnk->Release();
        return hr;
    }

private:
    IConnectionPoint* point() const { return static_cast<IConnectionPoint*>(real_); }
};

// The proxy of a connection point of `home` for the calling apartment (one per point).
HRESULT point_proxy(IConnectionPoint* real, const ApartmentRef& home, IConnectionPoint** out) {
    const ApartmentRef here = platform::current_apartment();
    IUnknown* identity = identity_of(real);
    ProxyBase* p = ProxyBase::find(here, identity);
    if (!p) {
        auto* made = new (std::nothrow) PointProxy(real, identity, home, here);
        p = made ? made->enter() : nullptr;
        if (p != made) delete made;
    }
    identity->Release();
    if (!p) return E_OUTOFMEMORY;
    *out = static_cast<IConnectionPoint*>(static_cast<PointProxy*>(p));
    return S_OK;
}

// What a proxy of interface I needs besides its slots: IUnknown and IDispatch,
// and the object's connection points and error-info support where it has them.
template <class I>
class ProxyCore : public I, public IConnectionPointContainer, public ISupportErrorInfo, public ProxyBase {
public:
    ProxyCore(I* real, IUnknown* identity, ApartmentRef home, ApartmentRef user)
        : ProxyBase(real, identity, std::move(home), std::move(user)), target_(real) {}

    IUnknown* unknown() override { return static_cast<I*>(this); }
    IDispatch* real_dispatch() const override { return target_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return add_ref(); }
    ULONG STDMETHODCALLTYPE Release() override { return release_ref(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        return forward([&] { return target_->GetTypeInfoCount(n); });
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID lcid, ITypeInfo** p) override {
        // the library's type information is the same on every thread; a caller's object is asked at home
        if constexpr (!std::is_same_v<I, IDispatch>) return target_->GetTypeInfo(i, lcid, p);
        return forward([&] { return target_->GetTypeInfo(i, lcid, p); });
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return forward([&] { return target_->GetIDsOfNames(riid, names, count, lcid, ids); });
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* dp, VARIANT* result,
                                     EXCEPINFO* excep, UINT* arg_err) override {
        return invoke_across(target_, home_, id, riid, lcid, flags, dp, result, excep, arg_err);
    }

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** e) override {
        if (!e) return E_POINTER;
        *e = nullptr;
        std::vector<IConnectionPoint*> found;  // taken on the owner's thread, each with a reference
        HRESULT hr = with_container([&](IConnectionPointContainer* c) {
            IEnumConnectionPoints* real = nullptr;
            HRESULT r = c->EnumConnectionPoints(&real);
            if (FAILED(r) || !real) return FAILED(r) ? r : E_UNEXPECTED;
            IConnectionPoint* cp = nullptr;
            ULONG n = 0;
            while (real->Next(1, &cp, &n) == S_OK && n == 1) found.push_back(cp);
            real->Release();
            return S_OK;
        });
        std::vector<IConnectionPoint*> here;
        for (IConnectionPoint* cp : found) {
            IConnectionPoint* p = nullptr;
            if (SUCCEEDED(hr) && SUCCEEDED(point_proxy(cp, home_, &p))) here.push_back(p);
            cp->Release();
        }
        if (SUCCEEDED(hr)) hr = make_point_enumerator(here, e);
        for (IConnectionPoint* p : here) p->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** cp) override {
        if (!cp) return E_POINTER;
        *cp = nullptr;
        IConnectionPoint* real = nullptr;
        HRESULT hr = with_container([&](IConnectionPointContainer* c) { return c->FindConnectionPoint(riid, &real); });
        if (FAILED(hr) || !real) return FAILED(hr) ? hr : CONNECT_E_NOCONNECTION;
        hr = point_proxy(real, home_, cp);
        real->Release();
        return hr;
    }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return forward([&] {
            ISupportErrorInfo* s = nullptr;
            HRESULT r = target_->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&s));
            if (FAILED(r) || !s) return S_FALSE;
            r = s->InterfaceSupportsErrorInfo(riid);
            s->Release();
            return r;
        });
    }

protected:
    I* target() const { return target_; }
    void fix_variant(VARIANT& v) const { adopt_variant(v, home_, platform::current_apartment()); }
    _cDIBSection* incoming_dib(_cDIBSection* d) const {
        IDispatch* p = proxy_for(d, home_, platform::current_apartment());
        d->Release();
        if (!p) return nullptr;
        _cDIBSection* dib = nullptr;
        p->QueryInterface(IID__cDIBSection, reinterpret_cast<void**>(&dib));
        p->Release();
        return dib;
    }
    // True when the object answers `iid` (asked on its own thread).
    bool object_has(REFIID iid) {
        IUnknown* probe = nullptr;
        HRESULT hr = forward([&] { return target_->QueryInterface(iid, reinterpret_cast<void**>(&probe)); });
        if (SUCCEEDED(hr) && probe) probe->Release();
        return SUCCEEDED(hr) && probe;
    }

private:
    template <class F>
    HRESULT with_container(F&& f) {
        return forward([&] {
            IConnectionPointContainer* c = nullptr;
            HRESULT r = target_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&c));
            if (FAILED(r) || !c) return E_NOINTERFACE;
            r = f(c);
            c->Release();
            return r;
        });
    }
    I* target_;
};

template <class I>
HRESULT STDMETHODCALLTYPE ProxyCore<I>::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (answer_proxy_iid(riid, ppv)) return S_OK;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == *iid_of<I>()) {
        *ppv = static_cast<I*>(this);
    } else if (riid == IID_IConnectionPointContainer || riid == IID_ISupportErrorInfo) {
        if (!object_has(riid)) return E_NOINTERFACE;
        if (riid == IID_IConnectionPointContainer)
            *ppv = static_cast<IConnectionPointContainer*>(this);
        else
            *ppv = static_cast<ISupportErrorInfo*>(this);
    } else if (std::is_same_v<I, IDispatch> &&
               (riid == DIID___GIF || riid == DIID___cPalette || riid == IID_IPictureDisp)) {
        // pure dispatch interfaces (events, pictures) have IDispatch's entry table
        if (!object_has(riid)) return E_NOINTERFACE;
        *ppv = static_cast<I*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

// The entry tables of the default interfaces, forwarded slot by slot.
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
// The arguments are made ready on the calling thread (objects as proxies to it), the
// member runs on the owner's, and what it left in by-reference slots comes back here.
#define T2_OUTARG(type, name, mode, def) hold.pass(name)
#define T2_PROXY_CALL_Z(kind, name, res) this->target()->T2_ENTRY(kind, name)(T2_RESFWD_Z_##res)
#define T2_PROXY_CALL_N(kind, name, res) \
    std::apply([&](auto&... a) { return this->target()->T2_ENTRY(kind, name)(a... T2_RESFWD_N_##res); }, args)
#define T2_PROXY_SLOT(kind, name, id, res, n, params)                                                          \
    HRESULT STDMETHODCALLTYPE T2_ENTRY(kind, name)(T2_LIST(n, T2_ABI_PARAM, params) T2_RES(res, n)) override { \
        Outgoing hold(this->home_);                                                                            \
        auto args = std::make_tuple(T2_LIST(n, T2_OUTARG, params));                                            \
        (void)args;                                                                                            \
        HRESULT hr = this->forward([&] { return T2_CAT(T2_PROXY_CALL_, T2_ZN(n))(kind, name, res); });         \
        hold.bring_back();                                                                                     \
        T2_PROXY_FIX_##res return hr;                                                                          \
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

// A proxy of any other dispatch object: a caller's picture, a list box, a sink.
using DispatchProxy = ProxyCore<IDispatch>;

// A new proxy for (user, object): a typed one for the library's default
// interfaces, a dispatch one for anything else; entered in the table.
IDispatch* new_proxy(IDispatch* real, IUnknown* identity, const ApartmentRef& home, const ApartmentRef& user) {
    ProxyBase* made = nullptr;
#define T2_TRY_TYPED(cls, iface, inst, ev)                                                             \
    if (!made) {                                                                                       \
        iface* typed = nullptr;                                                                        \
        if (SUCCEEDED(real->QueryInterface(IID_##iface, reinterpret_cast<void**>(&typed))) && typed) { \
            made = new (std::nothrow) Proxy<iface>(typed, identity, home, user);                       \
            typed->Release();                                                                          \
            if (!made) return nullptr;                                                                 \
        }                                                                                              \
    }
    T2_CLASSES(T2_TRY_TYPED)
#undef T2_TRY_TYPED
    if (!made) made = new (std::nothrow) DispatchProxy(real, identity, home, user);
    if (!made) return nullptr;
    ProxyBase* kept = made->enter();
    if (kept != made) delete made;
    IDispatch* out = nullptr;
    kept->unknown()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&out));
    kept->unknown()->Release();
    return out;
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
        IDispatch* proxy = proxy_for(d, home_, platform::current_apartment());
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
    // a proxy is handed on as its object and home, so it outlives the thread that hands it on
    t2::platform::ApartmentRef home = t2::platform::current_apartment();
    if (t2::ProxyBase* p = t2::ProxyBase::from(typed); p && p->real_dispatch()) {
        IUnknown* real = nullptr;
        p->real()->QueryInterface(riid, reinterpret_cast<void**>(&real));
        if (real) {
            home = p->home();
            typed->Release();
            typed = real;
        }
    }
    *stream = new (std::nothrow) Marshalled(typed, home);
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
