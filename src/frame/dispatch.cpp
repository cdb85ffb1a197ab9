// Late-bound calls over a member table: names to member ids without regard to
// case, and Invoke with conversion to the declared types, defaults for omitted
// optional parameters, named arguments, property put and by-ref write-back.
#include <vector>

#include "com.hpp"
#include "convert.hpp"

namespace t2 {

VARTYPE vartype_of(Type t) {
    switch (t) {
        case Type::Boolean: return VT_BOOL;
        case Type::Integer: return VT_I2;
        case Type::Long:
        case Type::Enum:
        case Type::Rop: return VT_I4;
        case Type::Color: return VT_UI4;  // OLE_COLOR is unsigned: 0x8000000F and 0xFFFFFFFF are colours
        case Type::Byte: return VT_UI1;
        case Type::String: return VT_BSTR;
        case Type::Variant: return VT_VARIANT;
        case Type::Object:
        case Type::Picture:
        case Type::DIB: return VT_DISPATCH;
        case Type::None: return VT_EMPTY;
    }
    return VT_EMPTY;
}

const char16_t* type_name(Type t) {
    switch (t) {
        case Type::None: return u"none";
        case Type::Boolean: return u"Boolean";
        case Type::Integer: return u"Integer";
        case Type::Long: return u"Long";
        case Type::Byte: return u"Byte";
        case Type::String: return u"String";
        case Type::Variant: return u"Variant";
        case Type::Object: return u"Object";
        case Type::Picture: return u"Picture";
        case Type::DIB: return u"cDIBSection";
        case Type::Enum: return u"QELCompanyInformationTypeConstants";
        case Type::Rop: return u"RasterOpConstants";
        case Type::Color: return u"OLE_COLOR";
    }
    return u"?";
}

namespace {

// Where the value of a declared type lives inside a VARIANT.
void* storage(VARIANT& v, Type t) {
    switch (t) {
        case Type::Boolean:
        case Type::Integer: return &v.iVal;
        case Type::Long:
        case Type::Enum:
        case Type::Rop:
        case Type::Color: return &v.lVal;
        case Type::Byte: return &v.bVal;
        case Type::String: return &v.bstrVal;
        case Type::Variant: return &v;
        case Type::Object:
        case Type::Picture:
        case Type::DIB: return &v.pdispVal;
        case Type::None: return nullptr;
    }
    return nullptr;
}

bool is_missing(const VARIANT* v) {
    if (!v) return true;
    VARIANT d = deref(*v);
    return d.vt == VT_ERROR && d.scode == DISP_E_PARAMNOTFOUND;
}

HRESULT set_default(const ParamSpec& p, VARIANT& out) {
    VariantInit(&out);
    if (p.type == Type::Variant) {
        out.vt = VT_ERROR;  // an omitted Variant stays the omitted-argument marker
        out.scode = DISP_E_PARAMNOTFOUND;
        return S_OK;
    }
    out.vt = vartype_of(p.type);
    int32_t v = p.def == Default::Value ? p.def_value : 0;
    switch (p.type) {
        case Type::Boolean: out.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE; break;
        case Type::Integer: out.iVal = static_cast<SHORT>(v); break;
        case Type::Byte: out.bVal = static_cast<BYTE>(v); break;
        case Type::String:
            if (p.def == Default::Text) {
                out.bstrVal = SysAllocString(p.def_text);
                if (!out.bstrVal) return E_OUTOFMEMORY;
            }
            break;
        case Type::Object:
        case Type::Picture:
        case Type::DIB: out.pdispVal = nullptr; break;
        default: out.lVal = v; break;
    }
    return S_OK;
}

// Converts an argument to a parameter's declared type.
HRESULT convert_arg(const VARIANT& src, const ParamSpec& p, VARIANT& out) {
    HRESULT hr = coerce(src, vartype_of(p.type), out, 0);  // the platform's argument conversion: no flags
    if (FAILED(hr)) return hr;
    if (p.type == Type::Picture && out.pdispVal) {
        // a Picture parameter takes only the platform's picture objects
        IUnknown* pic = nullptr;
        if (FAILED(out.pdispVal->QueryInterface(IID_IPictureDisp, reinterpret_cast<void**>(&pic))) || !pic) {
            VariantClear(&out);
            return DISP_E_TYPEMISMATCH;
        }
        pic->Release();
    }
    if (p.type == Type::DIB && out.pdispVal) {
        IDispatch* dib = nullptr;
        if (FAILED(out.pdispVal->QueryInterface(IID__cDIBSection, reinterpret_cast<void**>(&dib))) || !dib) {
            VariantClear(&out);
            return DISP_E_TYPEMISMATCH;
        }
        out.pdispVal->Release();
        out.pdispVal = dib;
    }
    return S_OK;
}

void fill_exception(EXCEPINFO* excep, HRESULT hr) {
    *excep = EXCEPINFO{};
    excep->scode = hr;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        info->GetSource(&excep->bstrSource);
        info->GetDescription(&excep->bstrDescription);
        info->Release();
    }
    if (!excep->bstrDescription) {
        String d = error_description(error_number_of(hr));
        excep->bstrDescription = SysAllocStringLen(d.data(), static_cast<UINT>(d.size()));
    }
}

const MemberSpec* pick_member(const InterfaceSpec& table, DISPID id, WORD flags) {
    const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    const MemberSpec* fallback = nullptr;
    for (size_t i = 0; i < table.count; ++i) {
        const MemberSpec& m = table.members[i];
        if (m.id != id) continue;
        if (put) {
            if (m.kind == Kind::Let) return &m;
            continue;
        }
        if (m.kind == Kind::Let) continue;
        if ((flags & DISPATCH_METHOD) && m.kind == Kind::Method) return &m;
        if ((flags & DISPATCH_PROPERTYGET) && m.kind == Kind::Get) return &m;
        fallback = &m;
    }
    return fallback;
}

// The class of an interface: _cPalette -> cPalette.
String class_name(const InterfaceSpec& table) {
    std::u16string_view n = table.name;
    if (!n.empty() && n.front() == u'_') n.remove_prefix(1);
    return String(n);
}

// What a caller gave, for the error text: `String "x"`, `Integer 300`, `Nothing`.
String given_text(const VARIANT& arg) {
    VARIANT v = deref(arg);
    switch (v.vt & VT_TYPEMASK) {
        case VT_EMPTY: return u"Empty";
        case VT_NULL: return u"Null";
        case VT_DISPATCH:
        case VT_UNKNOWN: return v.pdispVal ? u"Object" : u"Nothing";
        case VT_ERROR: return u"Error";
        case VT_BSTR: {
            std::u16string_view t = bstr_view(v.bstrVal);
            constexpr size_t kShown = 40;  // enough to recognise the value, short enough for one line
            String quoted = u"String \"" + String(t.substr(0, kShown)) + (t.size() > kShown ? u"...\"" : u"\"");
            return quoted;
        }
        default: break;
    }
    const char16_t* type = u"Variant";
    switch (v.vt & VT_TYPEMASK) {
        case VT_I2: type = u"Integer"; break;
        case VT_I4: type = u"Long"; break;
        case VT_UI1: type = u"Byte"; break;
        case VT_R4: type = u"Single"; break;
        case VT_R8: type = u"Double"; break;
        case VT_BOOL: type = u"Boolean"; break;
        case VT_CY: type = u"Currency"; break;
        case VT_DATE: type = u"Date"; break;
        default: break;
    }
    try {
        return String(type) + u" " + Variant(v).to_string();
    } catch (const Error&) {
        return String(type);
    }
}

// A conversion that failed before the member ran: the status stays the
// dispatch one (with puArgErr), and the thread's error info says which member
// and argument, what was given and what was expected.
void argument_error(const InterfaceSpec& table, const MemberSpec& m, size_t index, const VARIANT& given, HRESULT hr) {
    try {
        const ParamSpec& p = m.params[index];
        String who = class_name(table) + u"." + m.name;
        String text = who + u": argument " + number_text(static_cast<double>(index + 1)) + u" (" + p.name + u" As " +
                      type_name(p.type) + u"): got " + given_text(given);
        if (hr == DISP_E_OVERFLOW) text += u", out of range";
        set_thread_error(u"TAVOLIN2." + who, text);
    } catch (...) {
        clear_thread_error();  // the status alone still tells the caller what failed
    }
}

// Whether a by-ref parameter's storage still holds what went in.
bool same_value(const VARIANT& now, const VARIANT& before) {
    if (now.vt != before.vt) return false;
    switch (now.vt) {
        case VT_BOOL: return (now.boolVal != 0) == (before.boolVal != 0);
        case VT_I2: return now.iVal == before.iVal;
        case VT_UI1: return now.bVal == before.bVal;
        case VT_BSTR: return bstr_view(now.bstrVal) == bstr_view(before.bstrVal);
        case VT_DISPATCH: return now.pdispVal == before.pdispVal;
        default: return now.lVal == before.lVal;
    }
}

struct Prepared {
    std::vector<VARIANT> conv;
    ~Prepared() {
        for (auto& v : conv) VariantClear(&v);
    }
};

}  // namespace

HRESULT dispatch_get_ids(const InterfaceSpec& table, LPOLESTR* names, UINT count, DISPID* ids) {
    if (!names || !ids) return E_INVALIDARG;
    if (count == 0) return S_OK;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    const MemberSpec* found = nullptr;
    if (names[0]) {
        for (size_t i = 0; i < table.count && !found; ++i)
            if (equal_nocase(table.members[i].name, names[0])) found = &table.members[i];
    }
    if (!found) return DISP_E_UNKNOWNNAME;
    ids[0] = found->id;
    HRESULT hr = S_OK;
    for (UINT k = 1; k < count; ++k) {
        bool ok = false;
        for (size_t i = 0; i < table.count && !ok; ++i) {
            const MemberSpec& m = table.members[i];
            if (m.id != found->id || m.kind == Kind::Let) continue;
            int idx = 0;
            for (const ParamSpec& p : m.params) {
                if (names[k] && equal_nocase(p.name, names[k])) {
                    ids[k] = idx;
                    ok = true;
                    break;
                }
                ++idx;
            }
        }
        if (!ok) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT dispatch_invoke(const InterfaceSpec& table, IDispatch* self, DISPID id, WORD flags, DISPPARAMS* dp,
                        VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
    DISPPARAMS empty{nullptr, nullptr, 0, 0};
    if (!dp) dp = &empty;
    if ((dp->cArgs && !dp->rgvarg) || dp->cNamedArgs > dp->cArgs || (dp->cNamedArgs && !dp->rgdispidNamedArgs))
        return E_INVALIDARG;
    const MemberSpec* m = pick_member(table, id, flags);
    if (!m) return DISP_E_MEMBERNOTFOUND;

    const bool put = m->kind == Kind::Let;
    const size_t n = m->params.size();
    const ParamSpec* params = m->params.data();
    std::vector<const VARIANT*> src(n, nullptr);
    std::vector<UINT> where(n, 0);  // index of each argument in rgvarg, for puArgErr

    const UINT named = dp->cNamedArgs;
    const UINT positional = dp->cArgs - named;
    if (named && !put) {
        for (UINT k = 0; k < named; ++k)
            if (dp->rgdispidNamedArgs[k] == DISPID_PROPERTYPUT) return DISP_E_PARAMNOTFOUND;
    }
    // A property put carries its value as the named DISPID_PROPERTYPUT argument;
    // a client that sends it positionally has it as the last positional argument.
    size_t positional_params = n;
    bool value_named = false;
    if (put) {
        for (UINT k = 0; k < named; ++k) value_named |= dp->rgdispidNamedArgs[k] == DISPID_PROPERTYPUT;
        if (value_named) positional_params = n - 1;
    }
    if (positional > positional_params) return DISP_E_BADPARAMCOUNT;
    for (UINT i = 0; i < positional; ++i) {
        src[i] = &dp->rgvarg[dp->cArgs - 1 - i];
        where[i] = dp->cArgs - 1 - i;
    }
    for (UINT k = 0; k < named; ++k) {
        DISPID pid = dp->rgdispidNamedArgs[k];
        size_t idx;
        if (put && pid == DISPID_PROPERTYPUT) {
            idx = n - 1;
        } else {
            if (pid < 0 || static_cast<size_t>(pid) >= positional_params || src[static_cast<size_t>(pid)]) {
                if (arg_err) *arg_err = k;
                return DISP_E_PARAMNOTFOUND;
            }
            idx = static_cast<size_t>(pid);
        }
        src[idx] = &dp->rgvarg[k];
        where[idx] = k;
    }

    Prepared prep;
    prep.conv.resize(n);
    for (auto& v : prep.conv) VariantInit(&v);
    std::vector<void*> ptrs(n, nullptr);
    // A by-ref argument of another type than the parameter's is converted in;
    // it goes back to the caller's variable only when the member changed it.
    struct WriteBack {
        size_t index;
        VARIANT* target;
        Variant before;
    };
    std::vector<WriteBack> writebacks;

    for (size_t i = 0; i < n; ++i) {
        const ParamSpec& p = params[i];
        const VARIANT* v = src[i];
        if (is_missing(v)) {
            if (p.def == Default::Required) {
                if (arg_err) *arg_err = v ? where[i] : 0;
                return DISP_E_BADPARAMCOUNT;  // as the platform's ITypeInfo::Invoke answers it
            }
            HRESULT hr = set_default(p, prep.conv[i]);
            if (FAILED(hr)) return hr;
            ptrs[i] = storage(prep.conv[i], p.type);
            continue;
        }
        if (p.by_ref && (v->vt & VT_BYREF)) {
            VARIANT* caller = const_cast<VARIANT*>(v);
            if (!caller->byref) return E_INVALIDARG;
            if (p.type == Type::Variant) {
                // the member reads and assigns through the caller's reference
                ptrs[i] = (caller->vt == (VT_BYREF | VT_VARIANT)) ? static_cast<void*>(caller->pvarVal) : caller;
                continue;
            }
            if (p.type != Type::DIB && (caller->vt & VT_TYPEMASK) == vartype_of(p.type)) {
                ptrs[i] = caller->byref;  // the caller's own variable
                continue;
            }
            writebacks.push_back({i, caller, Variant()});
        }
        HRESULT hr = convert_arg(*v, p, prep.conv[i]);
        if (FAILED(hr)) {
            if (arg_err) *arg_err = where[i];
            argument_error(table, *m, i, *v, hr);
            return hr;
        }
        if (!writebacks.empty() && writebacks.back().index == i) writebacks.back().before = Variant(prep.conv[i]);
        ptrs[i] = storage(prep.conv[i], p.type);
    }

    VARIANT res;
    VariantInit(&res);
    HRESULT hr = m->thunk(self, ptrs.data(), storage(res, m->result));
    if (FAILED(hr)) {
        VariantClear(&res);
        if (!excep) return hr;
        fill_exception(excep, hr);
        return DISP_E_EXCEPTION;
    }
    if (m->result != Type::Variant && m->result != Type::None) res.vt = vartype_of(m->result);

    for (const WriteBack& w : writebacks) {
        const ParamSpec& p = params[w.index];
        VARIANT value = prep.conv[w.index];
        value.vt = vartype_of(p.type);
        if (same_value(value, w.before.raw())) continue;
        try {
            Variant target;
            target.raw() = *w.target;  // a reference: clearing it frees nothing
            target.assign(Variant(value));
        } catch (const Error& e) {
            // the member's own effects stay; the caller learns its variable could not take the value
            VariantClear(&res);
            if (arg_err) *arg_err = where[w.index];
            return e.number() == err::Overflow ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
        }
    }
    if (result)
        *result = res;
    else
        VariantClear(&res);
    return S_OK;
}

}  // namespace t2
