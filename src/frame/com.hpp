// The object frame: reference counting, apartment check, the entry-table path
// of every member (hold a reference, run, turn errors into statuses), dispatch
// by name, connection points, and the class table.
#pragma once

#include <atomic>
#include <thread>
#include <vector>

#include "comptr.hpp"
#include "errors.hpp"
#include "guids.hpp"
#include "members.hpp"
#include "typeinfo.hpp"
#include "platform/apartment.hpp"

namespace t2 {

// ---- library-wide counts for DllCanUnloadNow ----
void object_created() noexcept;
void object_destroyed() noexcept;
long live_objects() noexcept;
void server_lock(bool lock) noexcept;
long server_locks() noexcept;

// ---- the class table ----
struct ClassInfo {
    const char16_t* name;  // cPalette
    const char* progid;    // TAVOLIN2.cPalette
    const CLSID* clsid;
    const IID* iid;  // default interface
    bool app_object;
    const IID* events;           // event interface, or nullptr
    const InterfaceSpec* table;  // member table
    IUnknown* (*create)();       // a new object holding one reference
};
const ClassInfo* find_class(const CLSID& clsid);
const ClassInfo* find_class(std::string_view progid);  // case-insensitive
const ClassInfo* const* all_classes(size_t& count);

// The dispatch tables, one per interface (defined in dispatch_tables.cpp).
template <class I>
const InterfaceSpec& interface_spec();

// ---- late-bound dispatch over a member table ----
HRESULT dispatch_get_ids(const InterfaceSpec& table, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT dispatch_invoke(const InterfaceSpec& table, IDispatch* self, DISPID id, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* arg_err);

// ---- events ----
class EventHub;

class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(IConnectionPointContainer* owner, const IID* iid)
        : owner_(owner), iid_(iid), thread_(std::this_thread::get_id()) {}
    ~ConnectionPoint();
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_->Release(); }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** cpc) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** e) override;

    const IID& iid() const { return *iid_; }
    // Calls member `id` on every sink, synchronously, arguments by value.
    void raise(DISPID id, const std::vector<Variant>& args);
    size_t sink_count() const { return sinks_.size(); }

private:
    struct Sink {
        DWORD cookie;
        IDispatch* sink;
    };
    IConnectionPointContainer* owner_;
    const IID* iid_;
    std::thread::id thread_;  // the owner object's thread
    std::vector<Sink> sinks_;
    DWORD next_cookie_ = 1;
};

// ---- the implementation side ----

// Base of every class implementation: who the object is, and its events.
class ImplBase {
public:
    void bind(IDispatch* self, const ClassInfo* info, ConnectionPoint* events) {
        self_ = self;
        info_ = info;
        events_ = events;
    }
    IDispatch* self_dispatch() const { return self_; }
    String source() const { return from_utf8(info_->progid); }
    // Raises an event to every connected sink; nothing happens without sinks.
    void raise_event(DISPID id, std::vector<Variant> args) const {
        if (events_) events_->raise(id, args);
    }

private:
    IDispatch* self_ = nullptr;
    const ClassInfo* info_ = nullptr;
    ConnectionPoint* events_ = nullptr;
};

// A typed raiser per event row, expanded inside the class that raises them:
// T2_EVENTS__GIF(T2_EVENT_RAISER) gives raise_Progress(Integer Percents).
#define T2_EVENT_ARG(type, name, mode, def) ::t2::Variant(name)
#define T2_EVENT_RAISER(name, id, n, params)                                      \
    void raise_##name(T2_LIST(n, T2_NPARAM, params)) const {                      \
        raise_event(static_cast<DISPID>(id), {T2_LIST(n, T2_EVENT_ARG, params)}); \
    }

template <class I>
class ImplOf : public ImplBase {
public:
    // The object's own interface: a class calls its public members through it.
    I* self() const { return static_cast<I*>(self_dispatch()); }
};

#ifdef _WIN32
// IProvideClassInfo2 (with IProvideClassInfo, its first slot, inside): script
// hosts and other clients that bind events ask an object for its class's type
// information and its event interface.  The slots of the platform's declaration.
struct ProvideClassInfo2 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetClassTypeInfo(ITypeInfo** info) = 0;  // GetClassInfo
    virtual HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) = 0;
};
inline constexpr IID kIID_IProvideClassInfo{
    0xB196B283, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID kIID_IProvideClassInfo2{
    0xA6BC3AC0, 0xDBAA, 0x11CE, {0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
inline constexpr DWORD kGuidKindDefaultSourceDispIID = 1;  // GUIDKIND_DEFAULT_SOURCE_DISP_IID
#define T2_CLASS_INFO_BASE , public ProvideClassInfo2
#else
#define T2_CLASS_INFO_BASE
#endif

// IUnknown, IDispatch, ISupportErrorInfo and IConnectionPointContainer of an
// object (and, on Windows, IProvideClassInfo and IProvideClassInfo2).
template <class I, class Impl>
class ComCore : public I, public ISupportErrorInfo, public IConnectionPointContainer T2_CLASS_INFO_BASE {
public:
    explicit ComCore(const ClassInfo* info)
        : info_(info),
          owner_(std::this_thread::get_id()),
          events_(info->events ? new ConnectionPoint(this, info->events) : nullptr) {
        object_created();
        impl_.bind(static_cast<I*>(this), info, events_);
    }
    ComCore(const ComCore&) = delete;
    ComCore& operator=(const ComCore&) = delete;
    virtual ~ComCore() {
        if constexpr (requires(Impl & x) { x.Class_Terminate(); }) {
            // the termination routine runs before the fields are released
            try {
                impl_.Class_Terminate();
            } catch (...) {
            }
        }
        delete events_;
        object_destroyed();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == *info_->iid)
            *ppv = static_cast<I*>(this);
        else if (riid == IID_ISupportErrorInfo)
            *ppv = static_cast<ISupportErrorInfo*>(this);
        else if (riid == IID_IConnectionPointContainer && events_)
            *ppv = static_cast<IConnectionPointContainer*>(this);
#ifdef _WIN32
        else if (riid == kIID_IProvideClassInfo || riid == kIID_IProvideClassInfo2)
            *ppv = static_cast<ProvideClassInfo2*>(this);
#endif
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return refs_.add(); }
    ULONG STDMETHODCALLTYPE Release() override { return refs_.release(this); }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        if (!n) return E_POINTER;
        *n = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return type_info_of(*info_->iid, p);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (std::this_thread::get_id() != owner_) return RPC_E_WRONG_THREAD;
        return dispatch_get_ids(*info_->table, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* excep, UINT* arg_err) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (std::this_thread::get_id() != owner_) return RPC_E_WRONG_THREAD;
        ComPtr<I> hold(static_cast<I*>(this));
        platform::BusyScope busy(static_cast<I*>(this));  // calls from other apartments wait
        return dispatch_invoke(*info_->table, static_cast<I*>(this), id, flags, params, result, excep, arg_err);
    }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == *info_->iid ? S_OK : S_FALSE;
    }

#ifdef _WIN32
    // The coclass's entry of the type library; the event interface of a class
    // that raises events (a class without events has none to name).
    HRESULT STDMETHODCALLTYPE GetClassTypeInfo(ITypeInfo** p) override {
        if (!p) return E_POINTER;
        *p = nullptr;
        return type_info_of(*info_->clsid, p);
    }
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override {
        if (!guid) return E_POINTER;
        *guid = IID_NULL;
        if (kind != kGuidKindDefaultSourceDispIID) return E_INVALIDARG;
        if (!info_->events) return E_FAIL;
        *guid = *info_->events;
        return S_OK;
    }
#endif

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** e) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** cp) override {
        if (std::this_thread::get_id() != owner_) return RPC_E_WRONG_THREAD;
        if (!cp) return E_POINTER;
        *cp = nullptr;
        if (!events_ || riid != events_->iid()) return CONNECT_E_NOCONNECTION;
        events_->AddRef();
        *cp = events_;
        return S_OK;
    }

protected:
    Impl& impl() { return impl_; }

    // The entry-table path of every member: right thread, one reference held
    // while it runs, errors turned into a status with the thread's error info.
    template <class F>
    HRESULT early(F&& body) {
        if (std::this_thread::get_id() != owner_) return RPC_E_WRONG_THREAD;
        ComPtr<I> hold(static_cast<I*>(this));
        platform::BusyScope busy(static_cast<I*>(this));  // calls from other apartments wait
        try {
            body();
            return S_OK;
        } catch (Error& e) {
            e.set_source_if_empty(from_utf8(info_->progid));
            set_thread_error(e.source(), e.description());
            return e.status();
        } catch (const StatusError& e) {
            clear_thread_error();
            return e.status();
        } catch (const std::bad_alloc&) {
            set_thread_error(from_utf8(info_->progid), error_description(err::OutOfMemory));
            return T2_ERROR_STATUS(err::OutOfMemory);
        } catch (...) {
            set_thread_error(from_utf8(info_->progid), u"Unexpected internal failure");
            return E_UNEXPECTED;
        }
    }

private:
    RefCount refs_;
    const ClassInfo* info_;
    std::thread::id owner_;
    ConnectionPoint* events_;
    Impl impl_;
};

// Enumerators over a snapshot, each element with a reference of its own.
HRESULT make_point_enumerator(const std::vector<IConnectionPoint*>& points, IEnumConnectionPoints** e);
HRESULT make_connection_enumerator(const std::vector<CONNECTDATA>& connections, IEnumConnections** e);

template <class I, class Impl>
HRESULT STDMETHODCALLTYPE ComCore<I, Impl>::EnumConnectionPoints(IEnumConnectionPoints** e) {
    // the points it hands out answer only here, as FindConnectionPoint's do
    if (std::this_thread::get_id() != owner_) return RPC_E_WRONG_THREAD;
    std::vector<IConnectionPoint*> points;
    if (events_) points.push_back(events_);
    return make_point_enumerator(points, e);
}

// The entry tables: one class template per interface that overrides its slots.
#define T2_ENTRIES(cls, iface, inst, ev)       \
    template <class Base>                      \
    class Entries##iface final : public Base { \
    public:                                    \
        using Base::Base;                      \
        T2_MEMBERS_##iface(T2_OVERRIDE)        \
    };                                         \
    template <class Impl>                      \
    using Com##iface = Entries##iface<ComCore<iface, Impl>>;
T2_CLASSES(T2_ENTRIES)
#undef T2_ENTRIES

// The factories' create functions, one per class, defined with the class.
#define T2_DECLARE_CREATE(cls, iface, inst, ev) IUnknown* create_##cls();
T2_CLASSES(T2_DECLARE_CREATE)
#undef T2_DECLARE_CREATE

// Defines the create function of a class from its implementation type.
#define T2_DEFINE_CLASS(cls, iface, Impl)                                                      \
    IUnknown* t2::create_##cls() {                                                             \
        return static_cast<iface*>(new ::t2::Com##iface<Impl>(::t2::find_class(CLSID_##cls))); \
    }

}  // namespace t2
