// IDispatch over a table of named handlers.
#include "kit/dispatch_object.hpp"

#include <strings.h>

#include <cstring>

namespace kit {

bool Args::has(size_t i) const {
    if (i >= a_.size()) return false;
    VARIANT v = *a_[i];
    while (v.vt == (VT_BYREF | VT_VARIANT)) v = *v.pvarVal;
    return !(v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND);
}

const VARIANT& Args::raw(size_t i) const {
    if (!has(i)) throw HostError{449, "Argument not optional"};
    return *a_[i];
}

VARIANT Args::converted(size_t i, VARTYPE vt) const {
    VARIANT out;
    VariantInit(&out);
    HRESULT hr = VariantChangeType(&out, &raw(i), 0, vt);
    if (hr == DISP_E_OVERFLOW) throw HostError{6, "Overflow"};
    if (FAILED(hr)) throw HostError{13, "Type mismatch"};
    return out;
}

long Args::to_long(size_t i) const { return converted(i, VT_I4).lVal; }
double Args::to_double(size_t i) const { return converted(i, VT_R8).dblVal; }
bool Args::to_bool(size_t i) const { return converted(i, VT_BOOL).boolVal != 0; }
std::string Args::to_text(size_t i) const {
    VARIANT v = converted(i, VT_BSTR);
    std::string s = utf8(v.bstrVal);
    VariantClear(&v);
    return s;
}
IDispatch* Args::to_object(size_t i) const {
    VARIANT v = raw(i);
    while (v.vt & VT_BYREF) {
        if (v.vt == (VT_BYREF | VT_VARIANT))
            v = *v.pvarVal;
        else if (v.vt == (VT_BYREF | VT_DISPATCH))
            return *v.ppdispVal;
        else
            break;
    }
    if (v.vt == VT_DISPATCH) return v.pdispVal;
    if (v.vt == VT_EMPTY) return nullptr;
    throw HostError{13, "Type mismatch: an object is needed"};
}

Value text_value(const std::string& s) { return Value(std::string(s)); }
Value single_value(float f) {
    Value r;
    r.ptr()->vt = VT_R4;
    r.ptr()->fltVal = f;
    return r;
}

HRESULT DispatchObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    bool known =
        std::memcmp(&riid, &IID_IUnknown, sizeof(GUID)) == 0 || std::memcmp(&riid, &IID_IDispatch, sizeof(GUID)) == 0;
    for (const IID& i : extra_) known |= std::memcmp(&riid, &i, sizeof(GUID)) == 0;
    if (known) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG DispatchObject::Release() {
    ULONG r = --refs_;
    if (r == 0) delete this;
    return r;
}

HRESULT DispatchObject::GetTypeInfoCount(UINT* n) {
    if (!n) return E_POINTER;
    *n = 0;
    return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** p) {
    if (p) *p = nullptr;
    return DISP_E_BADINDEX;
}

void DispatchObject::add(const std::string& name, DISPID id, int allowed, Handler handler) {
    members_.push_back({name, id, allowed, std::move(handler)});
}
void DispatchObject::add(const std::string& name, int allowed, Handler handler) {
    add(name, next_id_++, allowed, std::move(handler));
}

HRESULT DispatchObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (std::this_thread::get_id() != owner_) return RPC_E_WRONG_THREAD;
    if (!names || !ids) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (count == 0) return S_OK;
    BSTR b = SysAllocString(names[0]);
    std::string name = utf8(b);
    SysFreeString(b);
    for (const Member& m : members_)
        if (strcasecmp(m.name.c_str(), name.c_str()) == 0) {
            ids[0] = m.id;
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;  // no named arguments here
        }
    return DISP_E_UNKNOWNNAME;
}

HRESULT DispatchObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT* result, EXCEPINFO* excep,
                               UINT*) {
    if (std::this_thread::get_id() != owner_) return RPC_E_WRONG_THREAD;
    const Member* m = nullptr;
    for (const Member& k : members_)
        if (k.id == id) m = &k;
    if (!m) return DISP_E_MEMBERNOTFOUND;
    int kind = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) ? Put
               : ((flags & DISPATCH_METHOD) && (m->allowed & Call))       ? Call
                                                                          : Get;
    if (!(m->allowed & kind)) {
        if (kind == Get && (m->allowed & Call))
            kind = Call;
        else
            return DISP_E_MEMBERNOTFOUND;
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (!dp) dp = &none;
    if (dp->cNamedArgs > (kind == Put ? 1u : 0u)) return DISP_E_NONAMEDARGS;
    std::vector<VARIANT*> args;
    // positional arguments are reversed; a put's value (named DISPID_PROPERTYPUT, rgvarg[0]) comes last
    for (UINT i = dp->cArgs; i-- > dp->cNamedArgs;) args.push_back(&dp->rgvarg[i]);
    if (kind == Put && dp->cNamedArgs == 1) args.push_back(&dp->rgvarg[0]);
    Args a(std::move(args));
    try {
        Value v = m->handler(kind, a);
        if (result) {
            VariantInit(result);
            VariantCopy(result, &v.get());
        }
        return S_OK;
    } catch (const HostError& e) {
        if (!excep) return T2_ERROR_STATUS(e.number);
        *excep = EXCEPINFO{};
        excep->scode = T2_ERROR_STATUS(e.number);
        excep->bstrDescription = SysAllocStringUTF8(e.text.c_str());
        excep->bstrSource = SysAllocStringUTF8("tavolin2 host");
        return DISP_E_EXCEPTION;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace kit
