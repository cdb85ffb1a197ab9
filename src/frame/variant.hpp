// Variant: an owning wrapper of the tagged value, with the runtime's conversions.
#pragma once

#include "convert.hpp"
#include "base/strings.hpp"
#include "tavolin2/abi.h"

namespace t2 {

class Variant {
public:
    Variant() { VariantInit(&v_); }
    Variant(const Variant& o);
    Variant(Variant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
    Variant& operator=(const Variant& o);
    Variant& operator=(Variant&& o) noexcept;
    ~Variant() { VariantClear(&v_); }

    explicit Variant(const VARIANT& src);  // deep copy (a by-ref form stays by-ref)
    Variant(Integer i);
    Variant(Long l);
    Variant(Byte b);
    Variant(double d);
    Variant(float f);
    Variant(const String& s);
    Variant(const char16_t* s) : Variant(String(s)) {}
    Variant(IDispatch* d);  // AddRefs; nullptr is Nothing
    static Variant boolean(bool b);
    static Variant missing();  // the omitted-argument marker
    static Variant null();
    static Variant by_ref(VARIANT* target);  // VT_BYREF|VT_VARIANT pointing at the caller's variant

    VARTYPE type() const { return v_.vt; }
    // The value seen through by-ref forms (a BYREF|VARIANT is followed).
    VARTYPE value_type() const;
    bool is_empty() const { return value_type() == VT_EMPTY; }
    bool is_missing() const;

    // Conversions with the runtime's rules (error 13 or 6).
    Integer to_integer() const;
    Long to_long() const;
    double to_double() const;
    float to_single() const;
    bool to_bool() const;
    String to_string() const;
    IDispatch* to_object() const;  // not AddRef'd; nullptr for Nothing; error 13 for non-objects

    // Assign through a by-ref form: the caller's variable receives the value,
    // converted to its type when it is a typed by-ref (error 13/6 if it cannot be).
    void assign(const Variant& value);

    const VARIANT& raw() const { return v_; }
    VARIANT& raw() { return v_; }
    VARIANT release() {
        VARIANT r = v_;
        VariantInit(&v_);
        return r;
    }

private:
    VARIANT v_;
};

// Converts a tagged value to the given type (VT_I2, VT_I4, VT_UI1, VT_R4,
// VT_R8, VT_BOOL, VT_BSTR, VT_DISPATCH, VT_VARIANT, VT_UNKNOWN); a by-ref
// source is read through.  Throws Error 13 (mismatch) or 6 (overflow).
// VariantChangeType's flags that turn a Boolean into the words True and False.
inline constexpr USHORT kAlphaBool = 0x2, kLocalBool = 0x10;
// The runtime's conversion; a Boolean becomes "True"/"False" as the language's
// own conversion does, "-1"/"0" without those flags, as the platform's
// VariantChangeType and the late-bound argument conversion give it.
Variant convert(const VARIANT& src, VARTYPE vt, USHORT flags = kAlphaBool);
// The same as a status: S_OK, DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, DISP_E_BADVARTYPE.
HRESULT coerce(const VARIANT& src, VARTYPE vt, VARIANT& dst, USHORT flags = kAlphaBool) noexcept;

// The value a by-ref form points at, as a plain (non-owning) VARIANT view.
VARIANT deref(const VARIANT& v);

}  // namespace t2
