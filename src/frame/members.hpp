// The member tables as data for late-bound dispatch, and the natural C++ form
// of every member that a class implementation writes.
#pragma once

#include <cstdint>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>

#include "comptr.hpp"
#include "object.hpp"
#include "tavolin2/interfaces.h"
#include "tavolin2/tavolin2.h"
#include "variant.hpp"

namespace t2 {

enum class Kind : uint8_t { Method, Get, Let };
enum class Type : uint8_t {
    None,
    Void = None,
    Boolean,
    Integer,
    Long,
    Byte,
    String,
    Variant,
    Object,
    Picture,
    DIB,
    Enum,
    Rop,
    Color
};
// The public T2Type numbers the same types: T2GetParamInfo hands them out as they are.
#define T2_TYPE_IN_STEP(t, pub) static_assert(static_cast<int>(Type::t) == (pub), "T2Type and Type differ at " #t);
T2_TYPE_IN_STEP(None, T2_TYPE_NONE)
T2_TYPE_IN_STEP(Boolean, T2_TYPE_BOOLEAN)
T2_TYPE_IN_STEP(Integer, T2_TYPE_INTEGER)
T2_TYPE_IN_STEP(Long, T2_TYPE_LONG)
T2_TYPE_IN_STEP(Byte, T2_TYPE_BYTE)
T2_TYPE_IN_STEP(String, T2_TYPE_STRING)
T2_TYPE_IN_STEP(Variant, T2_TYPE_VARIANT)
T2_TYPE_IN_STEP(Object, T2_TYPE_OBJECT)
T2_TYPE_IN_STEP(Picture, T2_TYPE_PICTURE)
T2_TYPE_IN_STEP(DIB, T2_TYPE_DIB)
T2_TYPE_IN_STEP(Enum, T2_TYPE_ENUM)
T2_TYPE_IN_STEP(Rop, T2_TYPE_ROP)
T2_TYPE_IN_STEP(Color, T2_TYPE_COLOR)
#undef T2_TYPE_IN_STEP
enum class Default : uint8_t { Required, Zero, Value, Text };

struct ParamSpec {
    const char16_t* name;
    Type type;
    bool by_ref;
    Default def;
    int32_t def_value;
    const char16_t* def_text;
};

// Calls one entry of the table with prepared arguments: args[i] points at the
// storage of parameter i (the value itself for by-value, the variable for by-ref),
// result at the storage of the result.
using InvokeThunk = HRESULT (*)(IDispatch* self, void* const* args, void* result);

struct MemberSpec {
    const char16_t* name;
    DISPID id;
    Kind kind;
    Type result;
    std::span<const ParamSpec> params;
    InvokeThunk thunk;
};

struct InterfaceSpec {
    const char16_t* name;
    const IID* iid;
    const MemberSpec* members;
    size_t count;
};

// The variant type that carries a declared type.
VARTYPE vartype_of(Type t);
const char16_t* type_name(Type t);

using DibRef = ComPtr<_cDIBSection>;

// ---- thunk: from prepared storage to the entry table slot ----
// args[i] always points at storage: the value of a by-value parameter is read
// from it, a by-ref parameter receives the pointer itself.
template <class T, bool ByRef>
T thunk_arg(void* p) {
    if constexpr (ByRef)
        return static_cast<T>(p);
    else
        return *static_cast<T*>(p);
}

template <class PM>
struct SlotSig;
template <class I, class... A>
struct SlotSig<HRESULT (STDMETHODCALLTYPE I::*)(A...)> {  // the entry tables' calling convention
    using Pointer = HRESULT (STDMETHODCALLTYPE I::*)(A...);
    template <bool... ByRef>
    static HRESULT call(Pointer pm, IDispatch* self, void* const* args, void* result) {
        constexpr size_t N = sizeof...(ByRef);
        static_assert(sizeof...(A) == N || sizeof...(A) == N + 1, "member table and entry table disagree");
        auto* obj = static_cast<I*>(self);
        using Args = std::tuple<A...>;
        constexpr bool refs[] = {ByRef..., false};
        return [&]<size_t... K>(std::index_sequence<K...>) {
            if constexpr (sizeof...(A) == N)
                return (obj->*pm)(thunk_arg<std::tuple_element_t<K, Args>, refs[K]>(args[K])...);
            else
                return (obj->*pm)(thunk_arg<std::tuple_element_t<K, Args>, refs[K]>(args[K])...,
                                  static_cast<std::tuple_element_t<N, Args>>(result));
        }
        (std::make_index_sequence<N>{});
    }
};

template <auto PM, bool... ByRef>
HRESULT invoke_thunk(IDispatch* self, void* const* args, void* result) {
    return SlotSig<decltype(PM)>::template call<ByRef...>(PM, self, args, result);
}

// ---- natural <-> binary adapters used by the generated entry table ----
namespace abi {

inline bool in(VARIANT_BOOL v, std::type_identity<bool>) { return v != 0; }
template <class T>
T in(T v, std::type_identity<T>) {
    return v;
}
inline String in(BSTR b, std::type_identity<String>) { return from_bstr(b); }
inline Variant in(const VARIANT& v, std::type_identity<Variant>) { return Variant(v); }
inline Object in(IDispatch* d, std::type_identity<Object>) { return Object(d); }
inline DibRef in(_cDIBSection* d, std::type_identity<DibRef>) { return DibRef(d); }
inline Long in(OLE_COLOR c, std::type_identity<Long>) { return static_cast<Long>(c); }

template <class N, class A>
N arg(A a) {
    return in(a, std::type_identity<N>{});
}

inline void require(const void* p) {
    if (!p) throw StatusError(E_POINTER);
}

// A by-ref argument: the member works on the caller's variable.  Where the
// natural and binary types agree the reference is the variable itself; else a
// temporary is written back when the call's statement ends.
template <class N, class A>
class Ref;
template <class T>
class Ref<T, T*> {
public:
    explicit Ref(T* p) : p_(p) { require(p); }
    operator T&() { return *p_; }

private:
    T* p_;
};
template <>
class Ref<bool, VARIANT_BOOL*> {
public:
    explicit Ref(VARIANT_BOOL* p) : p_(p) {
        require(p);
        v_ = *p != 0;
    }
    // the caller's variable changes only when the member changed the truth value
    ~Ref() {
        if (v_ != (*p_ != 0)) *p_ = v_ ? VARIANT_TRUE : VARIANT_FALSE;
    }
    operator bool&() { return v_; }

private:
    VARIANT_BOOL* p_;
    bool v_;
};
template <>
class Ref<Long, OLE_COLOR*> {
public:
    explicit Ref(OLE_COLOR* p) : p_(p) {
        require(p);
        v_ = static_cast<Long>(*p);
    }
    ~Ref() { *p_ = static_cast<OLE_COLOR>(v_); }
    operator Long&() { return v_; }

private:
    OLE_COLOR* p_;
    Long v_;
};
template <>
class Ref<String, BSTR*> {
public:
    explicit Ref(BSTR* p) : p_(p) {
        require(p);
        v_ = from_bstr(*p);
    }
    ~Ref() {
        if (bstr_view(*p_) == v_) return;
        BSTR n = SysAllocStringLen(v_.data(), static_cast<UINT>(v_.size()));
        if (!n && !v_.empty()) return;  // out of memory: the caller keeps its old text
        SysFreeString(*p_);
        *p_ = n;
    }
    operator String&() { return v_; }

private:
    BSTR* p_;
    String v_;
};
// A by-ref Variant refers to the caller's variant: read it through, write it with assign().
template <>
class Ref<Variant, VARIANT*> {
public:
    explicit Ref(VARIANT* p) : v_(Variant::by_ref(p)) { require(p); }
    operator Variant&() { return v_; }

private:
    Variant v_;
};
template <class I, class N>
class RefObject {
public:
    explicit RefObject(I** p) : p_(p) {
        require(p);
        v_ = N(*p);
    }
    ~RefObject() {
        if (v_.get() == *p_) return;
        I* n = v_.detach();
        if (*p_) (*p_)->Release();
        *p_ = n;
    }
    operator N&() { return v_; }

private:
    I** p_;
    N v_;
};
template <>
class Ref<Object, IDispatch**> : public RefObject<IDispatch, Object> {
    using RefObject::RefObject;
};
template <>
class Ref<DibRef, _cDIBSection**> : public RefObject<_cDIBSection, DibRef> {
    using RefObject::RefObject;
};

template <class N, class A>
Ref<N, A> ref(A p) {
    return Ref<N, A>(p);
}

// Results.
inline void init_out(SHORT* p) { *p = 0; }
inline void init_out(LONG* p) { *p = 0; }
inline void init_out(BYTE* p) { *p = 0; }
inline void init_out(BSTR* p) { *p = nullptr; }
inline void init_out(VARIANT* p) { VariantInit(p); }
inline void init_out(_cDIBSection** p) { *p = nullptr; }
inline VARIANT_BOOL vbool(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace abi
}  // namespace t2

// ---- natural types of the generated declarations ----
#define T2_NTV_Boolean bool
#define T2_NTV_Integer ::t2::Integer
#define T2_NTV_Long ::t2::Long
#define T2_NTV_Byte ::t2::Byte
#define T2_NTV_String ::t2::String
#define T2_NTV_Variant ::t2::Variant
#define T2_NTV_Object ::t2::Object
#define T2_NTV_Picture ::t2::Object
#define T2_NTV_DIB ::t2::DibRef
#define T2_NTV_Enum ::t2::Long
#define T2_NTV_Rop ::t2::Long
#define T2_NTV_Color ::t2::Long
#define T2_NT_VAL(type) T2_NTV_##type
#define T2_NT_REF(type) T2_NTV_##type&
#define T2_NPARAM(type, name, mode, def) T2_NT_##mode(type) name
#define T2_NTYPE(type, name, mode, def) T2_NT_##mode(type)
#define T2_NRES_Void void
#define T2_NRES_Boolean bool
#define T2_NRES_Integer ::t2::Integer
#define T2_NRES_Long ::t2::Long
#define T2_NRES_Byte ::t2::Byte
#define T2_NRES_String ::t2::String
#define T2_NRES_Variant ::t2::Variant
#define T2_NRES_DIB ::t2::DibRef

// Declares the natural member functions inside an implementation class.
#define T2_NATURAL_DECL(kind, name, id, res, n, params) \
    T2_NRES_##res T2_ENTRY(kind, name)(T2_LIST(n, T2_NPARAM, params));
// ---- the generated entry table of an implementation ----
#define T2_FWD_VAL(type, name) ::t2::abi::arg<T2_NTV_##type>(name)
#define T2_FWD_REF(type, name) ::t2::abi::ref<T2_NTV_##type>(name)
#define T2_FWD(type, name, mode, def) T2_FWD_##mode(type, name)
#define T2_STORE_Void(expr) expr;
#define T2_STORE_Boolean(expr) *pResult = ::t2::abi::vbool(expr);
#define T2_STORE_Integer(expr) *pResult = (expr);
#define T2_STORE_Long(expr) *pResult = (expr);
#define T2_STORE_Byte(expr) *pResult = (expr);
#define T2_STORE_String(expr) *pResult = ::t2::to_bstr(expr);
#define T2_STORE_Variant(expr) *pResult = (expr).release();
#define T2_STORE_DIB(expr) *pResult = (expr).detach();
#define T2_OUTCHECK_Void
#define T2_OUTCHECK_ANY             \
    if (!pResult) return E_POINTER; \
    ::t2::abi::init_out(pResult);
#define T2_OUTCHECK_Boolean T2_OUTCHECK_ANY
#define T2_OUTCHECK_Integer T2_OUTCHECK_ANY
#define T2_OUTCHECK_Long T2_OUTCHECK_ANY
#define T2_OUTCHECK_Byte T2_OUTCHECK_ANY
#define T2_OUTCHECK_String T2_OUTCHECK_ANY
#define T2_OUTCHECK_Variant T2_OUTCHECK_ANY
#define T2_OUTCHECK_DIB T2_OUTCHECK_ANY
#define T2_OVERRIDE(kind, name, id, res, n, params)                                                            \
    HRESULT STDMETHODCALLTYPE T2_ENTRY(kind, name)(T2_LIST(n, T2_ABI_PARAM, params) T2_RES(res, n)) override { \
        T2_OUTCHECK_##res return this->early(                                                                  \
            [&]() { T2_STORE_##res(this->impl().T2_ENTRY(kind, name)(T2_LIST(n, T2_FWD, params))) });          \
    }

// ---- the dispatch table rows ----
#define T2_DEFSPEC_REQ ::t2::Default::Required, 0, nullptr
#define T2_DEFSPEC_NODEF ::t2::Default::Zero, 0, nullptr
#define T2_DEFSPEC_DEF(v) ::t2::Default::Value, (v), nullptr
#define T2_DEFSPEC_DEFS(s) ::t2::Default::Text, 0, s
#define T2_BYREF_FLAG(type, name, mode, def) , T2_MODE_##mode
#define T2_MODE_VAL false
#define T2_MODE_REF true
#define T2_PARAMSPEC(type, name, mode, def) \
    ::t2::ParamSpec{u"" #name, ::t2::Type::type, T2_MODE_##mode, T2_DEFSPEC_##def},
#define T2_SPECKIND_METHOD ::t2::Kind::Method
#define T2_SPECKIND_GET ::t2::Kind::Get
#define T2_SPECKIND_LET ::t2::Kind::Let
// The parameters of one row, as a static array (one spare element so none is empty).
#define T2_PARAMARRAY(kind, name, id, res, n, params) \
    static constexpr ::t2::ParamSpec T2_CAT(p_, T2_ENTRY(kind, name))[n + 1] = {T2_EACH(n, T2_PARAMSPEC, params){}};
// A row of the dispatch table; `I` names the interface where the rows are expanded.
#define T2_SPECROW(kind, name, id, res, n, params)                                          \
    ::t2::MemberSpec{u"" #name,                                                             \
                     static_cast<DISPID>(id),                                               \
                     T2_SPECKIND_##kind,                                                    \
                     ::t2::Type::res,                                                       \
                     std::span<const ::t2::ParamSpec>(T2_CAT(p_, T2_ENTRY(kind, name)), n), \
                     &::t2::invoke_thunk<&I::T2_ENTRY(kind, name) T2_EACH(n, T2_BYREF_FLAG, params)>},
