// Tagged values: exported VariantInit/Clear/Copy/ChangeType and the conversion
// matrix, built from a handful of readers (as double, as text, as object) and
// the range-checked narrowing of convert.hpp.
#include "variant.hpp"

#include <cfloat>
#include <cstring>
#include <new>
#include <optional>

namespace t2 {

VARIANT deref(const VARIANT& v) {
    VARIANT r;
    VariantInit(&r);
    if (!(v.vt & VT_BYREF)) return v;
    if (!v.byref) {
        r.vt = VT_ERROR;
        r.scode = E_POINTER;
        return r;
    }
    VARTYPE t = v.vt & VT_TYPEMASK;
    switch (t) {
        case VT_VARIANT: return deref(*v.pvarVal);
        case VT_I2: r.iVal = *v.piVal; break;
        case VT_BOOL: r.boolVal = *v.pboolVal; break;
        case VT_I4:
        case VT_INT:
        case VT_UI4:
        case VT_UINT:
        case VT_ERROR: r.lVal = *v.plVal; break;
        case VT_UI1:
        case VT_I1: r.bVal = *v.pbVal; break;
        case VT_UI2: r.iVal = *v.piVal; break;
        case VT_R4: r.fltVal = *v.pfltVal; break;
        case VT_R8:
        case VT_DATE: r.dblVal = *v.pdblVal; break;
        case VT_CY:
        case VT_I8:
        case VT_UI8: std::memcpy(&r.llVal, v.byref, 8); break;
        case VT_BSTR: r.bstrVal = *v.pbstrVal; break;
        case VT_DISPATCH: r.pdispVal = *v.ppdispVal; break;
        case VT_UNKNOWN: r.punkVal = *v.ppunkVal; break;
        default:
            r.vt = VT_ERROR;
            r.scode = DISP_E_BADVARTYPE;
            return r;
    }
    r.vt = t;
    return r;
}

namespace {

[[noreturn]] void mismatch() { raise(err::TypeMismatch); }

bool is_numeric_type(VARTYPE t) {
    switch (t) {
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BOOL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT: return true;
        default: return false;
    }
}

double numeric_value(const VARIANT& v) {
    switch (v.vt) {
        case VT_I2: return v.iVal;
        case VT_BOOL: return v.boolVal ? -1.0 : 0.0;
        case VT_I4:
        case VT_INT: return v.lVal;
        case VT_R4: return v.fltVal;
        case VT_R8:
        case VT_DATE: return v.dblVal;
        case VT_CY: return static_cast<double>(v.cyVal.int64) / 10000.0;
        case VT_I1: return static_cast<int8_t>(v.bVal);
        case VT_UI1: return v.bVal;
        case VT_UI2: return static_cast<uint16_t>(v.iVal);
        case VT_UI4:
        case VT_UINT: return static_cast<uint32_t>(v.lVal);
        case VT_I8: return static_cast<double>(v.llVal);
        case VT_UI8: return static_cast<double>(static_cast<uint64_t>(v.llVal));
        default: mismatch();
    }
}

// The default member (member id 0) of an object, as a late-bound caller reads it.
Variant default_value(IDispatch* d) {
    if (!d) raise(err::ObjectNotSet);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT r;
    VariantInit(&r);
    HRESULT hr = d->Invoke(DISPID_VALUE, IID_NULL, 0x0409, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr);
    if (FAILED(hr)) mismatch();
    Variant out(r);
    VariantClear(&r);
    return out;
}

// A text as the number readers see it: up to its first NUL, as the platform's
// readers take a NUL-terminated text ("12\0abc" reads as 12).
std::u16string_view number_text_of(BSTR b) {
    std::u16string_view s = bstr_view(b);
    return s.substr(0, s.find(u'\0'));
}

template <class T>
T to_int(const VARIANT& src, uint64_t radix_limit) {
    VARIANT v = deref(src);
    switch (v.vt) {
        case VT_EMPTY: return 0;
        case VT_BSTR: {
            auto p = parse_number(number_text_of(v.bstrVal));
            if (!p) mismatch();
            if (p->radix) {
                if (p->bits > radix_limit) raise(err::Overflow);
                if (radix_limit == 0xFFFF) return static_cast<T>(static_cast<int16_t>(static_cast<uint16_t>(p->bits)));
                if (radix_limit == 0xFFFFFFFF)
                    return static_cast<T>(static_cast<int32_t>(static_cast<uint32_t>(p->bits)));
                return static_cast<T>(p->bits);
            }
            return round_to<T>(p->value);
        }
        case VT_DISPATCH:
        case VT_UNKNOWN: {
            if (v.vt == VT_UNKNOWN) mismatch();
            Variant dv = default_value(v.pdispVal);
            return to_int<T>(dv.raw(), radix_limit);
        }
        case VT_I8: {
            if (v.llVal < std::numeric_limits<T>::min() || v.llVal > std::numeric_limits<T>::max())
                raise(err::Overflow);
            return static_cast<T>(v.llVal);
        }
        default:
            if (!is_numeric_type(v.vt)) mismatch();
            return round_to<T>(numeric_value(v));
    }
}

double to_dbl(const VARIANT& src) {
    VARIANT v = deref(src);
    switch (v.vt) {
        case VT_EMPTY: return 0;
        case VT_BSTR: {
            auto p = parse_number(number_text_of(v.bstrVal));
            if (!p) mismatch();
            if (!std::isfinite(p->value)) raise(err::Overflow);
            return p->value;
        }
        case VT_DISPATCH: return to_dbl(default_value(v.pdispVal).raw());
        default:
            if (!is_numeric_type(v.vt)) mismatch();
            return numeric_value(v);
    }
}

bool to_boolean(const VARIANT& src) {
    VARIANT v = deref(src);
    switch (v.vt) {
        case VT_EMPTY: return false;
        case VT_BSTR: {
            auto s = number_text_of(v.bstrVal);
            if (equal_nocase(s, u"true") || equal_nocase(s, u"#TRUE#")) return true;
            if (equal_nocase(s, u"false") || equal_nocase(s, u"#FALSE#")) return false;
            auto p = parse_number(s);
            if (!p) mismatch();
            return p->value != 0;
        }
        case VT_DISPATCH: return to_boolean(default_value(v.pdispVal).raw());
        default:
            if (!is_numeric_type(v.vt)) mismatch();
            return numeric_value(v) != 0;
    }
}

String to_text(const VARIANT& src) {
    VARIANT v = deref(src);
    switch (v.vt) {
        case VT_EMPTY: return {};
        case VT_BSTR: return from_bstr(v.bstrVal);
        case VT_BOOL: return v.boolVal ? u"True" : u"False";
        case VT_R4: return single_text(v.fltVal);
        case VT_DISPATCH: return to_text(default_value(v.pdispVal).raw());
        default:
            if (!is_numeric_type(v.vt)) mismatch();
            return number_text(numeric_value(v));
    }
}

}  // namespace

// Same-size integers of the other signedness are copied bit for bit, as the
// platform's VariantChangeType copies them (a Long -1 is the OLE_COLOR
// &HFFFFFFFF, &H8000000F a system colour); the wanted value, or nothing.
std::optional<Variant> same_size_copy(const VARIANT& s, VARTYPE vt) {
    Variant r;
    switch (vt) {
        case VT_UI4:
            if (s.vt != VT_I4 && s.vt != VT_INT) return std::nullopt;
            break;
        case VT_I4:
            if (s.vt != VT_UI4 && s.vt != VT_UINT) return std::nullopt;
            break;
        case VT_UI2:
        case VT_I2:
            if (s.vt != (vt == VT_I2 ? VT_UI2 : VT_I2)) return std::nullopt;
            r.raw().iVal = s.iVal;
            r.raw().vt = vt;
            return r;
        case VT_UI1:
        case VT_I1:
            if (s.vt != (vt == VT_UI1 ? VT_I1 : VT_UI1)) return std::nullopt;
            r.raw().bVal = s.bVal;
            r.raw().vt = vt;
            return r;
        default: return std::nullopt;
    }
    r.raw().lVal = s.lVal;
    r.raw().vt = vt;
    return r;
}

Variant convert(const VARIANT& src, VARTYPE vt, USHORT flags) {
    VARIANT s = deref(src);
    if (auto copied = same_size_copy(s, vt)) return *copied;
    if (s.vt == VT_ERROR && (src.vt & VT_BYREF) && s.scode == E_POINTER) raise(err::TypeMismatch);
    if (s.vt == VT_NULL && vt != VT_VARIANT) mismatch();
    if (s.vt == VT_ERROR && vt != VT_VARIANT) mismatch();
#ifdef _WIN32
    // The scalar conversions are the platform runtime's own, in the English
    // locale the library's texts are written in; True/False as words.
    if (vt == VT_I2 || vt == VT_I4 || vt == VT_UI1 || vt == VT_UI4 || vt == VT_R8 || vt == VT_R4 || vt == VT_BOOL ||
        vt == VT_BSTR) {
        Variant r;
        HRESULT hr = VariantChangeTypeEx(&r.raw(), &src, 0x0409, vt == VT_BSTR ? flags : 0, vt);
        if (hr == DISP_E_OVERFLOW) raise(err::Overflow);
        if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
        if (FAILED(hr)) mismatch();
        return r;
    }
#endif
    switch (vt) {
        case VT_I2: return Variant(to_int<Integer>(src, 0xFFFF));
        case VT_I4: return Variant(to_int<Long>(src, 0xFFFFFFFF));
        case VT_UI1: return Variant(to_int<Byte>(src, 0xFF));
        case VT_UI4: {
            Variant r;
            r.raw().vt = VT_UI4;
            r.raw().lVal = static_cast<LONG>(to_int<uint32_t>(src, 0xFFFFFFFF));
            return r;
        }
        case VT_R8: return Variant(to_dbl(src));
        case VT_R4: {
            double d = to_dbl(src);
            if (std::fabs(d) > FLT_MAX) raise(err::Overflow);
            return Variant(static_cast<float>(d));
        }
        case VT_BOOL: return Variant::boolean(to_boolean(src));
        case VT_BSTR:
            // a Boolean is a number (-1, 0) unless the caller asks for words
            if (s.vt == VT_BOOL && !(flags & (kAlphaBool | kLocalBool)))
                return Variant(String(s.boolVal ? u"-1" : u"0"));
            return Variant(to_text(src));
        case VT_DISPATCH:
            if (s.vt == VT_DISPATCH) return Variant(s.pdispVal);
            if (s.vt == VT_UNKNOWN && s.punkVal) {
                IDispatch* d = nullptr;
                if (FAILED(s.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d))) || !d) mismatch();
                Variant r(d);
                d->Release();
                return r;
            }
            if (s.vt == VT_UNKNOWN) return Variant(static_cast<IDispatch*>(nullptr));
            mismatch();
        case VT_UNKNOWN:
            if (s.vt == VT_DISPATCH || s.vt == VT_UNKNOWN) {
                Variant r;
                r.raw().vt = VT_UNKNOWN;
                r.raw().punkVal = s.punkVal;
                if (s.punkVal) s.punkVal->AddRef();
                return r;
            }
            mismatch();
        case VT_VARIANT: return Variant(s);
        default: mismatch();
    }
}

HRESULT coerce(const VARIANT& src, VARTYPE vt, VARIANT& dst, USHORT flags) noexcept {
    try {
        Variant r = convert(src, vt, flags);
        VariantClear(&dst);
        dst = r.release();
        return S_OK;
    } catch (const Error& e) {
        if (e.number() == err::Overflow) return DISP_E_OVERFLOW;
        return DISP_E_TYPEMISMATCH;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return DISP_E_TYPEMISMATCH;
    }
}

// ---- Variant ----

Variant::Variant(const VARIANT& src) {
    VariantInit(&v_);
    HRESULT hr = VariantCopy(&v_, &src);
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
}
Variant::Variant(const Variant& o) : Variant(o.v_) {}
Variant& Variant::operator=(const Variant& o) {
    if (this != &o) {
        Variant tmp(o);
        *this = std::move(tmp);
    }
    return *this;
}
Variant& Variant::operator=(Variant&& o) noexcept {
    if (this != &o) {
        VariantClear(&v_);
        v_ = o.v_;
        VariantInit(&o.v_);
    }
    return *this;
}
Variant::Variant(Integer i) {
    VariantInit(&v_);
    v_.vt = VT_I2;
    v_.iVal = i;
}
Variant::Variant(Long l) {
    VariantInit(&v_);
    v_.vt = VT_I4;
    v_.lVal = l;
}
Variant::Variant(Byte b) {
    VariantInit(&v_);
    v_.vt = VT_UI1;
    v_.bVal = b;
}
Variant::Variant(double d) {
    VariantInit(&v_);
    v_.vt = VT_R8;
    v_.dblVal = d;
}
Variant::Variant(float f) {
    VariantInit(&v_);
    v_.vt = VT_R4;
    v_.fltVal = f;
}
Variant::Variant(const String& s) {
    VariantInit(&v_);
    v_.bstrVal = to_bstr(s);
    v_.vt = VT_BSTR;
}
Variant::Variant(IDispatch* d) {
    VariantInit(&v_);
    v_.vt = VT_DISPATCH;
    v_.pdispVal = d;
    if (d) d->AddRef();
}
Variant Variant::boolean(bool b) {
    Variant r;
    r.v_.vt = VT_BOOL;
    r.v_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
}
Variant Variant::missing() {
    Variant r;
    r.v_.vt = VT_ERROR;
    r.v_.scode = DISP_E_PARAMNOTFOUND;
    return r;
}
Variant Variant::null() {
    Variant r;
    r.v_.vt = VT_NULL;
    return r;
}
Variant Variant::by_ref(VARIANT* target) {
    Variant r;
    r.v_.vt = VT_BYREF | VT_VARIANT;
    r.v_.pvarVal = target;
    return r;
}

VARTYPE Variant::value_type() const { return deref(v_).vt; }
bool Variant::is_missing() const {
    VARIANT d = deref(v_);
    return d.vt == VT_ERROR && d.scode == DISP_E_PARAMNOTFOUND;
}
Integer Variant::to_integer() const { return convert(v_, VT_I2).v_.iVal; }
Long Variant::to_long() const { return convert(v_, VT_I4).v_.lVal; }
double Variant::to_double() const { return convert(v_, VT_R8).v_.dblVal; }
float Variant::to_single() const { return convert(v_, VT_R4).v_.fltVal; }
bool Variant::to_bool() const { return convert(v_, VT_BOOL).v_.boolVal != 0; }
String Variant::to_string() const { return from_bstr(convert(v_, VT_BSTR).v_.bstrVal); }
IDispatch* Variant::to_object() const {
    VARIANT d = deref(v_);
    if (d.vt == VT_DISPATCH) return d.pdispVal;
    raise(err::TypeMismatch);
}

void Variant::assign(const Variant& value) {
    if (!(v_.vt & VT_BYREF)) {
        *this = value;
        return;
    }
    VARTYPE t = v_.vt & VT_TYPEMASK;
    if (t == VT_VARIANT) {
        VARIANT* target = v_.pvarVal;
        if (target->vt & VT_BYREF) {  // a variant that itself refers on
            Variant inner;
            inner.v_ = *target;
            inner.assign(value);
            VariantInit(&inner.v_);  // the reference stays the target's
            return;
        }
        Variant copy(value.v_);
        VariantClear(target);
        *target = copy.release();
        return;
    }
    Variant c = convert(value.v_, t);
    switch (t) {
        case VT_I2: *v_.piVal = c.v_.iVal; break;
        case VT_BOOL: *v_.pboolVal = c.v_.boolVal; break;
        case VT_I4: *v_.plVal = c.v_.lVal; break;
        case VT_UI1: *v_.pbVal = c.v_.bVal; break;
        case VT_R4: *v_.pfltVal = c.v_.fltVal; break;
        case VT_R8: *v_.pdblVal = c.v_.dblVal; break;
        case VT_BSTR:
            SysFreeString(*v_.pbstrVal);
            *v_.pbstrVal = c.release().bstrVal;
            break;
        case VT_DISPATCH:
            if (*v_.ppdispVal) (*v_.ppdispVal)->Release();
            *v_.ppdispVal = c.release().pdispVal;
            break;
        default: raise(err::TypeMismatch);
    }
}

}  // namespace t2

#ifndef _WIN32
// The value runtime; on Windows it is the platform's (OLEAUT32).
// ---- exported functions ----

T2_API void VariantInit(VARIANT* v) {
    if (!v) return;
    std::memset(v, 0, sizeof *v);
}

T2_API HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    if (!(v->vt & VT_BYREF)) {
        switch (v->vt & VT_TYPEMASK) {
            case VT_BSTR: SysFreeString(v->bstrVal); break;
            case VT_DISPATCH:
                if (v->pdispVal) v->pdispVal->Release();
                break;
            case VT_UNKNOWN:
                if (v->punkVal) v->punkVal->Release();
                break;
            default: break;
        }
    }
    std::memset(v, 0, sizeof *v);
    return S_OK;
}

T2_API HRESULT VariantCopy(VARIANT* dst, const VARIANT* src) {
    if (!dst || !src) return E_INVALIDARG;
    if (dst == src) return S_OK;
    VARIANT tmp = *src;
    if (!(src->vt & VT_BYREF)) {
        switch (src->vt & VT_TYPEMASK) {
            case VT_BSTR:
                if (src->bstrVal) {
                    tmp.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
                    if (!tmp.bstrVal) return E_OUTOFMEMORY;
                }
                break;
            case VT_DISPATCH:
                if (src->pdispVal) src->pdispVal->AddRef();
                break;
            case VT_UNKNOWN:
                if (src->punkVal) src->punkVal->AddRef();
                break;
            default: break;
        }
    }
    VariantClear(dst);
    *dst = tmp;
    return S_OK;
}

T2_API HRESULT VariantChangeType(VARIANT* dst, const VARIANT* src, USHORT flags, VARTYPE vt) {
    if (!dst || !src) return E_INVALIDARG;
    VARIANT out;
    VariantInit(&out);
    HRESULT hr = t2::coerce(*src, vt, out, flags);
    if (FAILED(hr)) return hr;
    VariantClear(dst);
    *dst = out;
    return S_OK;
}
#endif
