// tavolin2 for C++, header-only: owned interface pointers, strings and values,
// failures as exceptions, and late-bound calls by member name.
//
//   t2::Dispatch gif("TAVOLIN2.GIF");
//   gif.put("BestQuality", true);
//   gif.call("SaveGIF", picture, "out.gif");
//   t2::Variant name;  // by reference: the callee writes it
//   company.call("GetQELCompanyInformation", t2::named("lResConst", 901));
//
//   t2::Connection events(gif, DIID___GIF, [](DISPID id, const std::vector<t2::Variant>& args) { ... });
//
// Every failure throws t2::ComError with the runtime error number, the
// description and the source of the error info or the call's EXCEPINFO.
//
// Language: C++17 or later; it compiles alone with -pedantic.
#ifndef TAVOLIN2_CPP_HPP
#define TAVOLIN2_CPP_HPP

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tavolin2.h"

// The classes live in an inline namespace of their own: t2::Variant to the user, but
// another name to the linker than the library's internal classes of the same names,
// so a program linked with the library's static archive gets each class's own
// functions (an inline function of one and an out-of-line one of the other used to
// share a symbol, and the text of to_string() came back as UTF-16 bytes).
namespace t2 {
inline namespace cpp {

// One reference to an interface, released when the owner goes.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a reference of its own on `p` (use attach() to adopt one).
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { reset(); }
    static ComPtr attach(T* p) {
        ComPtr r;
        r.p_ = p;
        return r;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For an out-parameter: releases what it held.
    T** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    T* detach() { return std::exchange(p_, nullptr); }
    void reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    // QueryInterface; an empty pointer when the object has no such interface.
    template <class U>
    ComPtr<U> as(REFIID iid) const {
        ComPtr<U> r;
        if (p_) p_->QueryInterface(iid, r.put_void());
        return r;
    }

private:
    T* p_ = nullptr;
};

// A BSTR of its own.
class Bstr {
public:
    Bstr() = default;
    Bstr(const char* utf8) : b_(utf8 ? SysAllocStringUTF8(utf8) : nullptr) {}
    Bstr(const std::string& utf8) : b_(T2StringFromUTF8(utf8.data(), utf8.size())) {}
    Bstr(const Bstr& o) : b_(o.b_ ? SysAllocStringLen(o.b_, SysStringLen(o.b_)) : nullptr) {}
    Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
    Bstr& operator=(Bstr o) noexcept {
        std::swap(b_, o.b_);
        return *this;
    }
    ~Bstr() { SysFreeString(b_); }
    static Bstr attach(BSTR b) {
        Bstr r;
        r.b_ = b;
        return r;
    }
    BSTR get() const { return b_; }
    BSTR* put() {
        SysFreeString(std::exchange(b_, nullptr));
        return &b_;
    }
    BSTR detach() { return std::exchange(b_, nullptr); }
    size_t size() const { return SysStringLen(b_); }
    std::string utf8() const {
        if (!b_) return {};
        size_t n = 0;
        char* p = T2StringToUTF8Length(b_, &n);
        std::string s = p ? std::string(p, n) : std::string();
        std::free(p);
        return s;
    }

private:
    BSTR b_ = nullptr;
};

// A failed call: the runtime error number (0 for a status that has none), its texts and the status.
class ComError : public std::runtime_error {
public:
    ComError(HRESULT hr, std::string description, std::string source)
        : std::runtime_error(description.empty() ? "call failed" : description),
          hresult_(hr),
          number_(number_of(hr)),
          description_(std::move(description)),
          source_(std::move(source)) {}
    HRESULT hresult() const { return hresult_; }
    long number() const { return number_; }
    const std::string& description() const { return description_; }
    const std::string& source() const { return source_; }

    // The runtime error number of a status (DISP_E_TYPEMISMATCH is 13, ...); 0 for one without.
    static long number_of(HRESULT hr) {
        LONG n = T2DescribeStatus(hr, nullptr);
        return n == hr ? 0 : static_cast<long>(n);
    }

private:
    HRESULT hresult_;
    long number_;
    std::string description_, source_;
};

namespace detail {
inline std::string status_text(HRESULT hr) {
    BSTR d = nullptr;
    T2DescribeStatus(hr, &d);
    return Bstr::attach(d).utf8();
}
}  // namespace detail

// Throws ComError for a failed status, with the thread's error info when there is one.
inline HRESULT check(HRESULT hr) {
    if (SUCCEEDED(hr)) return hr;
    std::string description, source;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        Bstr d, s;
        info->GetDescription(d.put());
        info->GetSource(s.put());
        info->Release();
        description = d.utf8();
        source = s.utf8();
    }
    if (description.empty()) description = detail::status_text(hr);
    throw ComError(hr, std::move(description), std::move(source));
}

// A VARIANT of its own: Empty, a number, a Boolean, a text, an object or Nothing.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    Variant(bool b) : Variant() {
        v_.vt = VT_BOOL;
        v_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    }
    Variant(int i) : Variant() {
        v_.vt = VT_I4;
        v_.lVal = i;
    }
    Variant(short i) : Variant() {
        v_.vt = VT_I2;
        v_.iVal = i;
    }
    Variant(double d) : Variant() {
        v_.vt = VT_R8;
        v_.dblVal = d;
    }
    Variant(const char* utf8) : Variant() {
        v_.vt = VT_BSTR;
        v_.bstrVal = SysAllocStringUTF8(utf8 ? utf8 : "");
    }
    Variant(const std::string& utf8) : Variant() {  // the whole text, NUL characters included
        v_.vt = VT_BSTR;
        v_.bstrVal = T2StringFromUTF8(utf8.data(), utf8.size());
    }
    Variant(const Bstr& b) : Variant() {
        v_.vt = VT_BSTR;
        v_.bstrVal = Bstr(b).detach();
    }
    // An object (a reference of its own); nullptr is Nothing.
    Variant(IDispatch* d) : Variant() {
        v_.vt = VT_DISPATCH;
        v_.pdispVal = d;
        if (d) d->AddRef();
    }
    Variant(std::nullptr_t) : Variant(static_cast<IDispatch*>(nullptr)) {}
    Variant(const Variant& o) : Variant() { VariantCopy(&v_, &o.v_); }
    Variant(Variant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
    Variant& operator=(Variant o) noexcept {
        std::swap(v_, o.v_);
        return *this;
    }
    ~Variant() { VariantClear(&v_); }
    // Takes over a VARIANT (the source is left Empty).
    static Variant attach(VARIANT& v) {
        Variant r;
        r.v_ = v;
        VariantInit(&v);
        return r;
    }
    // The marker of an omitted optional argument.
    static Variant missing() {
        Variant r;
        r.v_.vt = VT_ERROR;
        r.v_.scode = DISP_E_PARAMNOTFOUND;
        return r;
    }

    VARTYPE vt() const { return v_.vt; }
    bool empty() const { return v_.vt == VT_EMPTY; }
    const VARIANT& get() const { return v_; }
    VARIANT* put() {
        VariantClear(&v_);
        return &v_;
    }
    VARIANT* ptr() { return &v_; }

    // Conversions by the runtime's rules; a failed one throws ComError (Type mismatch, Overflow).
    Variant as(VARTYPE vt) const {
        Variant r;
        HRESULT hr = VariantChangeType(&r.v_, &v_, 0, vt);
        if (FAILED(hr))
            throw ComError(hr == DISP_E_OVERFLOW ? T2_ERROR_STATUS(6) : T2_ERROR_STATUS(13),
                           hr == DISP_E_OVERFLOW ? "Overflow" : "Type mismatch", "");
        return r;
    }
    LONG to_long() const { return as(VT_I4).v_.lVal; }
    double to_double() const { return as(VT_R8).v_.dblVal; }
    bool to_bool() const { return as(VT_BOOL).v_.boolVal != 0; }
    std::string to_string() const {
        Variant s = as(VT_BSTR);
        return Bstr::attach(std::exchange(s.v_.bstrVal, nullptr)).utf8();
    }
    // The object it holds (Nothing: empty); a value that is no object throws ComError.
    ComPtr<IDispatch> to_dispatch() const {
        const VARIANT* v = &v_;
        while (v->vt == (VT_BYREF | VT_VARIANT)) v = v->pvarVal;
        if (v->vt == VT_DISPATCH) return ComPtr<IDispatch>(v->pdispVal);
        if (v->vt == (VT_BYREF | VT_DISPATCH)) return ComPtr<IDispatch>(*v->ppdispVal);
        if (v->vt == VT_EMPTY) return {};
        throw ComError(T2_ERROR_STATUS(13), "Type mismatch: an object is needed", "");
    }

private:
    VARIANT v_;
};

// An argument passed by name: call("M", t2::named("lResConst", 901)).
struct Named {
    std::string name;
    Variant value;
};
inline Named named(std::string name, Variant value) { return {std::move(name), std::move(value)}; }

// An argument passed by reference: the callee's write lands in `target`.
struct ByRef {
    Variant* target;
};
inline ByRef byref(Variant& target) { return {&target}; }

// Late-bound calls on an object by member name.
class Dispatch {
public:
    Dispatch() = default;
    // A new object by programmatic name ("TAVOLIN2.GIF", any case).
    explicit Dispatch(const char* progid) {
        CLSID clsid{};
        check(T2CLSIDFromProgID(progid, &clsid));
        check(T2CoCreateInstance(clsid, IID_IDispatch, d_.put_void()));
    }
    explicit Dispatch(const std::string& progid) : Dispatch(progid.c_str()) {}
    // Takes a reference of its own on `d`.
    explicit Dispatch(IDispatch* d) : d_(d) {}
    explicit Dispatch(ComPtr<IDispatch> d) : d_(std::move(d)) {}
    explicit Dispatch(const Variant& v) : d_(v.to_dispatch()) {}
    IDispatch* object() const { return d_.get(); }
    explicit operator bool() const { return static_cast<bool>(d_); }
    operator Variant() const { return Variant(d_.get()); }

    template <class... A>
    Variant get(const std::string& member, A&&... args) const {
        return invoke(member, DISPATCH_PROPERTYGET, {arg(std::forward<A>(args))...});
    }
    void put(const std::string& member, Variant value) const {
        invoke(member, DISPATCH_PROPERTYPUT, {Arg{"", std::move(value), nullptr}});
    }
    template <class... A>
    Variant call(const std::string& member, A&&... args) const {
        return invoke(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {arg(std::forward<A>(args))...});
    }

    // One argument in call order: a value, a Named or a ByRef.
    struct Arg {
        std::string name;
        Variant value;
        Variant* ref;
    };
    static Arg arg(Named n) { return {std::move(n.name), std::move(n.value), nullptr}; }
    static Arg arg(ByRef r) { return {"", Variant(), r.target}; }
    template <class T>
    static Arg arg(T&& v) {
        return {"", Variant(std::forward<T>(v)), nullptr};
    }

    Variant invoke(const std::string& member, WORD flags, std::vector<Arg> args) const {
        if (!d_) throw ComError(T2_ERROR_STATUS(91), "Object variable not set", "");
        // the member's id, then the ids of the named arguments
        std::vector<Bstr> names{Bstr(member)};
        for (const Arg& a : args)
            if (!a.name.empty()) names.emplace_back(a.name);
        std::vector<LPOLESTR> raw;
        for (const Bstr& n : names) raw.push_back(n.get());
        std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
        HRESULT hr = d_->GetIDsOfNames(IID_NULL, raw.data(), static_cast<UINT>(raw.size()), 0, ids.data());
        if (FAILED(hr)) {
            std::string what =
                ids[0] == DISPID_UNKNOWN ? "no member named " + member : member + ": an argument name it does not have";
            throw ComError(T2_ERROR_STATUS(438), "Object doesn't support this property or method: " + what, "");
        }
        // rgvarg: the named arguments first (in their order), then the positional ones reversed
        std::vector<VARIANT> rg;
        std::vector<DISPID> named_ids;
        size_t k = 1;
        std::vector<const Arg*> positional;
        for (const Arg& a : args)
            if (a.name.empty()) positional.push_back(&a);
        auto slot = [](const Arg& a) {
            VARIANT v;
            if (a.ref) {
                v.vt = VT_BYREF | VT_VARIANT;
                v.pvarVal = a.ref->ptr();
            } else {
                v = a.value.get();  // borrowed: the Arg keeps it
            }
            return v;
        };
        for (const Arg& a : args)
            if (!a.name.empty()) {
                rg.push_back(slot(a));
                named_ids.push_back(ids[k++]);
            }
        if (flags == DISPATCH_PROPERTYPUT) named_ids.push_back(DISPID_PROPERTYPUT);
        for (size_t i = positional.size(); i-- > 0;) rg.push_back(slot(*positional[i]));
        DISPPARAMS dp{rg.data(), named_ids.empty() ? nullptr : named_ids.data(), static_cast<UINT>(rg.size()),
                      static_cast<UINT>(named_ids.size())};
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO ex{};
        UINT bad = 0;
        hr = d_->Invoke(ids[0], IID_NULL, 0, flags, &dp, flags == DISPATCH_PROPERTYPUT ? nullptr : &result, &ex, &bad);
        Bstr source = Bstr::attach(ex.bstrSource), description = Bstr::attach(ex.bstrDescription);
        SysFreeString(ex.bstrHelpFile);
        if (hr == DISP_E_EXCEPTION) {
            HRESULT code = ex.scode ? ex.scode : ex.wCode ? T2_ERROR_STATUS(ex.wCode) : hr;
            throw ComError(code, member + ": " + description.utf8(), source.utf8());
        }
        if (FAILED(hr)) {
            std::string what = detail::status_text(hr);
            if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND)
                what += " (argument " + std::to_string(dp.cArgs - bad) + ")";
            throw ComError(hr, member + ": " + what, "");
        }
        return Variant::attach(result);
    }

private:
    ComPtr<IDispatch> d_;
};

// The handler of a Connection: an event's member id (Progress of DIID___GIF is
// 1) and its arguments in call order, each a copy of its own.
using EventHandler = std::function<void(DISPID member, const std::vector<Variant>& args)>;

namespace detail {
// The sink a Connection advises: an IDispatch answering for the event
// interface, whose Invoke hands each event to the handler.  The connection
// point holds it while advised; the handler lives in it, so an event that
// comes late finds a handler still there.
class EventSink final : public IDispatch {
public:
    EventSink(const IID& events, EventHandler handler) : events_(events), handler_(std::move(handler)) {}
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
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override {
        if (result) VariantInit(result);
        // an exception must not unwind through the caller's frames: it becomes the call's status
        try {
            std::vector<Variant> args;
            if (params && params->rgvarg) {
                args.resize(params->cArgs);
                for (UINT i = 0; i < params->cArgs; ++i)  // rgvarg holds them last first
                    VariantCopy(args[i].ptr(), &params->rgvarg[params->cArgs - 1 - i]);
            }
            if (handler_) handler_(member, args);
            return S_OK;
        } catch (const ComError& e) {
            return fail(exception, e.hresult(), e.description(), e.source());
        } catch (const std::exception& e) {
            return fail(exception, E_FAIL, e.what(), "");
        } catch (...) {
            return fail(exception, E_FAIL, "the event handler failed", "");
        }
    }

private:
    static bool same(const IID& a, const IID& b) {
        return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
               std::equal(a.Data4, a.Data4 + 8, b.Data4);
    }
    static HRESULT fail(EXCEPINFO* exception, HRESULT hr, const std::string& description, const std::string& source) {
        if (!exception) return hr;
        *exception = EXCEPINFO{};
        exception->bstrDescription = Bstr(description).detach();
        exception->bstrSource = Bstr(source).detach();
        exception->scode = hr;
        return DISP_E_EXCEPTION;
    }
    ~EventSink() = default;

    std::atomic<ULONG> refs_{1};
    IID events_;
    EventHandler handler_;
};
}  // namespace detail

// An event connection: made, it advises a sink on the source's connection point
// for the event interface `events` (DIID___GIF, DIID___cPalette); gone, it
// unadvises.  The handler runs for each event, on the source's thread, while
// the member that raises it runs; an exception it throws stays in the sink
// (the raising member goes on).  Make, move and end it on the source's thread.
//
//   t2::Connection progress(gif, DIID___GIF, [&](DISPID id, const std::vector<t2::Variant>& args) {
//       if (id == 1) percent = args[0].to_long();
//   });
class Connection {
public:
    Connection() = default;
    Connection(IUnknown* source, REFIID events, EventHandler handler) {
        if (!source) throw ComError(T2_ERROR_STATUS(91), "Object variable not set", "");
        ComPtr<IConnectionPointContainer> container;
        HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.put_void());
        if (FAILED(hr) || !container) fail(FAILED(hr) ? hr : E_NOINTERFACE, "the object raises no events");
        ComPtr<IConnectionPoint> point;
        hr = container->FindConnectionPoint(events, point.put());
        if (FAILED(hr) || !point) fail(FAILED(hr) ? hr : E_POINTER, "the object raises no such events");
        auto sink = ComPtr<IDispatch>::attach(new detail::EventSink(events, std::move(handler)));
        DWORD cookie = 0;
        hr = point->Advise(sink.get(), &cookie);
        if (FAILED(hr)) fail(hr, "Advise");
        point_ = std::move(point);
        cookie_ = cookie;
    }
    Connection(const Dispatch& source, REFIID events, EventHandler handler)
        : Connection(source.object(), events, std::move(handler)) {}
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Connection(Connection&& o) noexcept : point_(std::move(o.point_)), cookie_(std::exchange(o.cookie_, 0)) {}
    Connection& operator=(Connection&& o) noexcept {
        if (this != &o) {
            disconnect();
            point_ = std::move(o.point_);
            cookie_ = std::exchange(o.cookie_, 0);
        }
        return *this;
    }
    ~Connection() { disconnect(); }

    // Unadvises now (once; the destructor then has nothing to do).
    void disconnect() noexcept {
        if (!point_) return;
        point_->Unadvise(cookie_);
        point_.reset();
        cookie_ = 0;
    }
    explicit operator bool() const { return static_cast<bool>(point_); }
    DWORD cookie() const { return cookie_; }

private:
    [[noreturn]] static void fail(HRESULT hr, const std::string& what) {
        throw ComError(hr, what + ": " + detail::status_text(hr), "");
    }

    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

}  // namespace cpp
}  // namespace t2

#endif
