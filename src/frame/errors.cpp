// Error numbers and texts, per-thread error info (exported SetErrorInfo /
// GetErrorInfo / CreateErrorInfo) and the report handling style.
#include "errors.hpp"

#include <atomic>
#include <mutex>
#include <new>

#include "com.hpp"
#include "convert.hpp"
#include "guids.hpp"
#include "frame/msgbox.hpp"
#include "base/strings.hpp"

namespace t2 {

String error_description(int32_t n) {
    switch (n) {
#define T2_ERROR_TEXT(name, number, text) \
    case number: return u"" text;
        T2_RUNTIME_ERRORS(T2_ERROR_TEXT)
#undef T2_ERROR_TEXT
        default: break;
    }
    // a platform status a caller's object answered: the platform's text for it
    switch (static_cast<uint32_t>(n)) {
        case 0x80004001u: return u"Not implemented";
        case 0x80004002u: return u"No such interface supported";
        case 0x80004003u: return u"Invalid pointer";
        case 0x80004004u: return u"Operation aborted";
        case 0x80004005u: return u"Unspecified error";
        case 0x8000FFFFu: return u"Catastrophic failure";
        case 0x80070005u: return u"Access is denied.";
        case 0x8007000Eu: return u"Not enough memory resources are available to complete this operation.";
        case 0x80070057u: return u"The parameter is incorrect.";
        case 0x80010108u: return u"The object invoked has disconnected from its clients.";
        case 0x8001010Eu: return u"The application called an interface that was marshalled for a different thread.";
        default: return u"Application-defined or object-defined error";
    }
}

const char* Error::what() const noexcept {
    try {
        what_ = "error " + std::to_string(number_) + ": " + to_utf8(description_);
        return what_.c_str();
    } catch (...) {
        return "runtime error";
    }
}

void raise(int32_t number) { throw Error(number); }
void raise(int32_t number, const String& description) { throw Error(number, description); }

int32_t error_number_of(HRESULT hr) {
    if (T2_IS_ERROR_STATUS(hr)) return static_cast<int32_t>(static_cast<uint32_t>(hr) & 0xFFFFu);
    switch (hr) {
        case DISP_E_TYPEMISMATCH: return err::TypeMismatch;
        case DISP_E_OVERFLOW: return err::Overflow;
        case DISP_E_DIVBYZERO: return err::DivisionByZero;
        case DISP_E_UNKNOWNNAME:
        case DISP_E_MEMBERNOTFOUND: return err::NoSuchMember;
        case DISP_E_PARAMNOTFOUND: return err::NamedArgNotFound;
        case DISP_E_PARAMNOTOPTIONAL: return err::ArgNotOptional;
        case DISP_E_BADPARAMCOUNT: return err::WrongArgCount;
        case DISP_E_BADINDEX: return err::Subscript;
        case E_OUTOFMEMORY: return err::OutOfMemory;
        case E_POINTER: return err::ObjectNotSet;
        default: return static_cast<int32_t>(hr);  // a platform status, reported as it is
    }
}

// ---- error info object ----
#ifndef _WIN32
namespace {

// Answered only by the library's own error-info objects.
constexpr IID kOwnErrorInfo = {0x5A3C0E11, 0x7B2D, 0x4E8F, {0x9C, 0x61, 0x2B, 0x44, 0xD0, 0x17, 0xA3, 0x5E}};

// An error-info object counts as a live object of the library (DllCanUnloadNow)
// while anyone but a thread's slot holds it: the slots' references are the
// library's own, every other one (a client that made it with CreateErrorInfo,
// or took it with GetErrorInfo) keeps the library loaded.
class ErrorInfo final : public IErrorInfo, public ICreateErrorInfo {
public:
    ErrorInfo() { object_created(); }
    ~ErrorInfo() {
        if (counted_) object_destroyed();
    }
    // A thread's slot takes or gives up one of the references.
    void enter_slot() { recount(0, +1); }
    void leave_slot() { recount(0, -1); }
    ErrorInfo(const ErrorInfo&) = delete;
    ErrorInfo& operator=(const ErrorInfo&) = delete;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == kOwnErrorInfo) {
            *ppv = this;  // no reference: only the slot asks, to know what it holds
            return S_OK;
        }
        if (riid == IID_IUnknown || riid == IID_IErrorInfo)
            *ppv = static_cast<IErrorInfo*>(this);
        else if (riid == IID_ICreateErrorInfo)
            *ppv = static_cast<ICreateErrorInfo*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return recount(+1, 0); }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG r = recount(-1, 0);
        if (r == 0) delete this;
        return r;
    }
    HRESULT STDMETHODCALLTYPE GetGUID(GUID* g) override {
        if (!g) return E_POINTER;
        *g = guid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* p) override { return out(p, source_); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* p) override { return out(p, description_); }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* p) override { return out(p, help_); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* p) override {
        if (!p) return E_POINTER;
        *p = context_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID g) override {
        guid_ = g;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR s) override { return set(source_, s); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR s) override { return set(description_, s); }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR s) override { return set(help_, s); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD c) override {
        context_ = c;
        return S_OK;
    }

private:
    ULONG recount(int refs, int slots) {
        std::lock_guard<std::mutex> lock(mutex_);
        refs_ += refs;
        slots_ += slots;
        const bool live = refs_ > slots_;
        if (live != counted_) {
            if (live)
                object_created();
            else
                object_destroyed();
            counted_ = live;
        }
        return refs_;
    }
    static HRESULT out(BSTR* p, const String& s) {
        if (!p) return E_POINTER;
        *p = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        return (*p || s.empty()) ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT set(String& dst, LPOLESTR s) {
        try {
            dst = s ? String(s) : String();
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    std::mutex mutex_;
    ULONG refs_ = 1, slots_ = 0;
    bool counted_ = true;
    GUID guid_{};
    String source_, description_, help_;
    DWORD context_ = 0;
};

ErrorInfo* own_of(IErrorInfo* info) {
    void* p = nullptr;
    return info && info->QueryInterface(kOwnErrorInfo, &p) == S_OK ? static_cast<ErrorInfo*>(p) : nullptr;
}

// One slot per thread, holding one reference.
struct ThreadSlot {
    IErrorInfo* info = nullptr;
    ErrorInfo* own = nullptr;  // the library's object: its slot reference is not counted as live
    IErrorInfo* take() {
        IErrorInfo* out = info;
        if (own) own->leave_slot();  // the reference passes to the caller
        info = nullptr;
        own = nullptr;
        return out;
    }
    void put(IErrorInfo* in) {
        IErrorInfo* old = take();
        if (in) in->AddRef();
        info = in;
        own = own_of(in);
        if (own) own->enter_slot();
        if (old) old->Release();
    }
    ~ThreadSlot() {
        if (IErrorInfo* old = take()) old->Release();
    }
};
thread_local ThreadSlot t_error;

}  // namespace

#endif

void set_thread_error(const String& source, const String& description) {
#ifdef _WIN32
    // the platform's error object, as its own runtime makes them
    ICreateErrorInfo* c = nullptr;
    if (FAILED(CreateErrorInfo(&c)) || !c) return;
    c->SetSource(const_cast<LPOLESTR>(source.c_str()));
    c->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    IErrorInfo* e = nullptr;
    if (SUCCEEDED(c->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&e))) && e) {
        SetErrorInfo(0, e);
        e->Release();
    }
    c->Release();
#else
    auto* e = new (std::nothrow) ErrorInfo();
    if (!e) return;
    e->SetSource(const_cast<LPOLESTR>(source.c_str()));
    e->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    SetErrorInfo(0, e);
    e->Release();
#endif
}

void clear_thread_error() { SetErrorInfo(0, nullptr); }

void check(HRESULT hr) {
    if (SUCCEEDED(hr)) return;
    String description, source;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        Bstr d, s;
        info->GetDescription(d.out());
        info->GetSource(s.out());
        description = d.str();
        source = s.str();
        info->Release();
    }
    int32_t n = error_number_of(hr);
    if (description.empty()) description = error_description(n);
    throw Error(n, description, source);
}

bool report_error(const String& title, const std::function<void()>& statement) {
    try {
        statement();
        return true;
    } catch (const Error& e) {
        t2::MsgBox(number_text(e.number()) + u", " + e.description(), platform::vbCritical | platform::vbOKOnly, title);
        return false;
    }
}

}  // namespace t2

#ifndef _WIN32
// The error-info runtime; on Windows it is the platform's (OLEAUT32).
T2_API HRESULT SetErrorInfo(ULONG, IErrorInfo* info) {
    t2::t_error.put(info);
    return S_OK;
}

T2_API HRESULT GetErrorInfo(ULONG, IErrorInfo** out) {
    if (!out) return E_INVALIDARG;
    *out = t2::t_error.take();  // the slot's reference passes to the caller
    return *out ? S_OK : S_FALSE;
}

T2_API HRESULT CreateErrorInfo(ICreateErrorInfo** out) {
    if (!out) return E_INVALIDARG;
    auto* e = new (std::nothrow) t2::ErrorInfo();
    if (!e) return E_OUTOFMEMORY;
    *out = e;
    return S_OK;
}
#endif
