// Connection points: sinks advised by the event interface's id and called
// synchronously, each with the arguments by value.
#include <algorithm>
#include <new>

#include "com.hpp"

namespace t2 {

namespace {

// Enumerator over a snapshot of elements; Copy adds the reference the caller gets.
template <class IEnum, class Elem, class Copy>
class Enumerator final : public IEnum {
public:
    Enumerator(const IID& iid, std::vector<Elem> items, Copy copy) : iid_(iid), items_(std::move(items)), copy_(copy) {
        for (auto& e : items_) copy_.add(e);
        object_created();  // handed to a client: it keeps the library loaded
    }
    ~Enumerator() {
        for (auto& e : items_) copy_.release(e);
        object_destroyed();
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == iid_) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return refs_.add(); }
    ULONG STDMETHODCALLTYPE Release() override { return refs_.release(this); }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, Elem* out, ULONG* fetched) override {
        if (!out || (count > 1 && !fetched)) return E_POINTER;
        ULONG k = 0;
        while (k < count && pos_ < items_.size()) {
            out[k] = items_[pos_++];
            copy_.add(out[k]);
            ++k;
        }
        if (fetched) *fetched = k;
        return k == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        size_t left = items_.size() - pos_;
        pos_ += std::min<size_t>(left, count);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        pos_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnum** out) override {
        if (!out) return E_POINTER;
        auto* e = new (std::nothrow) Enumerator(iid_, items_, copy_);
        if (!e) return E_OUTOFMEMORY;
        e->pos_ = pos_;
        *out = e;
        return S_OK;
    }

private:
    RefCount refs_;
    const IID& iid_;
    std::vector<Elem> items_;
    Copy copy_;
    size_t pos_ = 0;
};

struct PointCopy {
    void add(IConnectionPoint* p) { p->AddRef(); }
    void release(IConnectionPoint* p) { p->Release(); }
};
struct ConnectionCopy {
    void add(CONNECTDATA& d) { d.pUnk->AddRef(); }
    void release(CONNECTDATA& d) { d.pUnk->Release(); }
};

}  // namespace

HRESULT make_point_enumerator(const std::vector<IConnectionPoint*>& points, IEnumConnectionPoints** e) {
    if (!e) return E_POINTER;
    *e = new (std::nothrow)
        Enumerator<IEnumConnectionPoints, IConnectionPoint*, PointCopy>(IID_IEnumConnectionPoints, points, PointCopy{});
    return *e ? S_OK : E_OUTOFMEMORY;
}

HRESULT make_connection_enumerator(const std::vector<CONNECTDATA>& connections, IEnumConnections** e) {
    if (!e) return E_POINTER;
    *e = new (std::nothrow)
        Enumerator<IEnumConnections, CONNECTDATA, ConnectionCopy>(IID_IEnumConnections, connections, ConnectionCopy{});
    return *e ? S_OK : E_OUTOFMEMORY;
}

ConnectionPoint::~ConnectionPoint() {
    for (auto& s : sinks_) s.sink->Release();
}

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = *iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** cpc) {
    if (!cpc) return E_POINTER;
    owner_->AddRef();
    *cpc = owner_;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (std::this_thread::get_id() != thread_) return RPC_E_WRONG_THREAD;  // the sink list is the owner's
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    IDispatch* events = nullptr;
    if (FAILED(sink->QueryInterface(*iid_, reinterpret_cast<void**>(&events))) || !events)
        return CONNECT_E_CANNOTCONNECT;
    try {
        sinks_.push_back({next_cookie_, events});
    } catch (...) {
        events->Release();
        return E_OUTOFMEMORY;
    }
    *cookie = next_cookie_++;
    if (next_cookie_ == 0) next_cookie_ = 1;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD cookie) {
    if (std::this_thread::get_id() != thread_) return RPC_E_WRONG_THREAD;
    auto it = std::find_if(sinks_.begin(), sinks_.end(), [&](const Sink& s) { return s.cookie == cookie; });
    if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
    IDispatch* s = it->sink;
    sinks_.erase(it);
    s->Release();
    return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** e) {
    if (std::this_thread::get_id() != thread_) return RPC_E_WRONG_THREAD;
    if (!e) return E_POINTER;
    std::vector<CONNECTDATA> items;
    for (auto& s : sinks_) items.push_back({s.sink, s.cookie});
    return make_connection_enumerator(items, e);
}

void ConnectionPoint::raise(DISPID id, const std::vector<Variant>& args) {
    if (sinks_.empty()) return;
    // Snapshot first: a handler may unadvise or release while the others wait.
    std::vector<ComPtr<IDispatch>> targets;
    targets.reserve(sinks_.size());
    for (auto& s : sinks_) targets.emplace_back(s.sink);
    ComPtr<IConnectionPointContainer> hold(owner_);
    for (auto& t : targets) {
        std::vector<VARIANT> raw(args.size());
        for (size_t i = 0; i < args.size(); ++i) {
            VariantInit(&raw[args.size() - 1 - i]);
            VariantCopy(&raw[args.size() - 1 - i], &args[i].raw());  // by value: each sink its own copy
        }
        DISPPARAMS dp{raw.data(), nullptr, static_cast<UINT>(raw.size()), 0};
        t->Invoke(id, IID_NULL, 0x0409, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr);  // results ignored
        for (auto& v : raw) VariantClear(&v);
    }
}

}  // namespace t2
