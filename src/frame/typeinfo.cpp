// Type information built from the member rows: the type library TAVOLIN2 with
// a coclass per class, the dispatch view of each dual interface (and its entry
// table view behind GetRefTypeOfImplType(-1)), the two event interfaces and
// the enumeration.  Everything is built once, on first use, and never changes,
// so every thread may read it; references count as live objects for
// DllCanUnloadNow.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "com.hpp"
#include "frame/entry.hpp"
#include "frame/typeinfo.hpp"

namespace t2 {
namespace {

constexpr WORD kMajor = 1, kMinor = 0;
constexpr LCID kLibraryLocale = 0x0409;
constexpr SHORT kPointer = static_cast<SHORT>(sizeof(void*));
constexpr DISPID kFirstEnumMember = 0x40000000;      // the platform numbers enumeration constants from here
constexpr UINT kImplDefaultInterface = 0xFFFFFFFFu;  // GetRefTypeOfImplType(-1): a dual's entry-table view
constexpr HRESULT kWrongTypeKind = static_cast<HRESULT>(0x80028CA0);

// ---- the event rows, as member rows (no thunk: sinks are called by id) ----
#define T2_EVENT_PARAMS(name, id, n, params) \
    static constexpr ParamSpec T2_CAT(e_, name)[n + 1] = {T2_EACH(n, T2_PARAMSPEC, params){}};
#define T2_EVENT_ROW(name, id, n, params)                                                                              \
    MemberSpec{                                                                                                        \
        u"" #name, static_cast<DISPID>(id), Kind::Method, Type::None, std::span<const ParamSpec>(T2_CAT(e_, name), n), \
        nullptr},
struct GifEvents {
    T2_EVENTS__GIF(T2_EVENT_PARAMS)
    static constexpr MemberSpec rows[] = {T2_EVENTS__GIF(T2_EVENT_ROW)};
};
struct PaletteEvents {
    T2_EVENTS__cPalette(T2_EVENT_PARAMS)
    static constexpr MemberSpec rows[] = {T2_EVENTS__cPalette(T2_EVENT_ROW)};
};
#undef T2_EVENT_PARAMS
#undef T2_EVENT_ROW
const InterfaceSpec kGifEvents{u"__GIF", &DIID___GIF, GifEvents::rows, std::size(GifEvents::rows)};
const InterfaceSpec kPaletteEvents{u"__cPalette", &DIID___cPalette, PaletteEvents::rows,
                                   std::size(PaletteEvents::rows)};

struct EnumConstant {
    const char16_t* name;
    LONG value;
};
#define T2_ENUM_ROW(name, value) {u"" #name, value},
constexpr EnumConstant kCompanyConstants[] = {T2_ENUM_QELCompanyInformationTypeConstants(T2_ENUM_ROW)};
#undef T2_ENUM_ROW

std::atomic<long> g_refs{0};
void hand_out() noexcept {
    ++g_refs;
    object_created();
}
void give_back() noexcept {
    --g_refs;
    object_destroyed();
}

// The type information lives as long as the library: its objects count only
// towards DllCanUnloadNow, and Release never deletes.
template <class I, const IID& Iid>
class LibraryOwned : public I {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == Iid) {
            *ppv = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        hand_out();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        give_back();
        return 1;
    }
};

class Library;
Library& library();

enum class View { Dispatch, Entries, Events, Coclass, Enum, BaseDispatch };

struct Func {
    FUNCDESC desc{};
    const MemberSpec* member = nullptr;
};

class TypeInfo final : public LibraryOwned<ITypeInfo, IID_ITypeInfo> {
public:
    TypeInfo(View view, String name, const GUID& guid, UINT index)
        : view_(view), name_(std::move(name)), index_(index) {
        attr_.guid = guid;
        attr_.lcid = 0;
        attr_.memidConstructor = MEMBERID_NIL;
        attr_.memidDestructor = MEMBERID_NIL;
        attr_.cbSizeInstance = sizeof(void*);
        attr_.cbAlignment = sizeof(void*);
        attr_.wMajorVerNum = kMajor;
        attr_.wMinorVerNum = kMinor;
        attr_.tdescAlias.vt = VT_EMPTY;
    }

    // ---- building (once, before anyone sees it) ----
    void set_kind(TYPEKIND k, WORD flags) {
        attr_.typekind = k;
        attr_.wTypeFlags = flags;
    }
    void add_impl(HREFTYPE ref, INT flags) { impls_.push_back({ref, flags}); }
    void set_members(const InterfaceSpec* table) { table_ = table; }
    const InterfaceSpec* members() const { return table_; }
    View view() const { return view_; }
    const String& name() const { return name_; }
    UINT index() const { return index_; }

    void build_funcs(HREFTYPE dib_ref, HREFTYPE enum_ref) {
        if (!table_) return;
        const bool entries = view_ == View::Entries;
        for (size_t i = 0; i < table_->count; ++i) {
            const MemberSpec& m = table_->members[i];
            Func f;
            f.member = &m;
            FUNCDESC& d = f.desc;
            d.memid = m.id;
            d.funckind = entries ? FUNC_PUREVIRTUAL : FUNC_DISPATCH;
            d.invkind = m.kind == Kind::Get   ? INVOKE_PROPERTYGET
                        : m.kind == Kind::Let ? INVOKE_PROPERTYPUT
                                              : INVOKE_FUNC;
            d.callconv = CC_STDCALL;
            d.oVft = view_ == View::Events ? 0 : static_cast<SHORT>((7 + i) * sizeof(void*));
            const bool retval = entries && m.result != Type::None;
            const size_t n = m.params.size() + (retval ? 1 : 0);
            ELEMDESC* params = n ? elems_.emplace_back(n).data() : nullptr;
            SHORT optional = 0;
            for (size_t k = 0; k < m.params.size(); ++k) {
                const ParamSpec& p = m.params[k];
                ELEMDESC& e = params[k];
                e.tdesc = type_desc(p.type, p.by_ref, dib_ref, enum_ref);
                USHORT flags = PARAMFLAG_FIN | (p.by_ref ? PARAMFLAG_FOUT : 0);
                if (p.def != Default::Required) {
                    flags |= PARAMFLAG_FOPT;
                    ++optional;
                }
                if (p.def == Default::Value || p.def == Default::Text) {
                    flags |= PARAMFLAG_FHASDEFAULT;
                    e.paramdesc.pparamdescex = default_of(p);
                }
                e.paramdesc.wParamFlags = flags;
            }
            if (retval) {
                ELEMDESC& e = params[n - 1];
                e.tdesc = type_desc(m.result, true, dib_ref, enum_ref);
                e.paramdesc.wParamFlags = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
            }
            d.lprgelemdescParam = params;
            d.cParams = static_cast<SHORT>(n);
            d.cParamsOpt = optional;
            if (entries)
                d.elemdescFunc.tdesc.vt = VT_HRESULT;
            else
                d.elemdescFunc.tdesc = m.result == Type::None ? TYPEDESC{{nullptr}, VT_VOID}
                                                              : type_desc(m.result, false, dib_ref, enum_ref);
            funcs_.push_back(f);
        }
        attr_.cFuncs = static_cast<WORD>(funcs_.size());
        // a dispatch view's entry table is IDispatch's seven slots, as the platform lays it out
        attr_.cbSizeVft = view_ == View::Events || view_ == View::Dispatch
                              ? static_cast<WORD>(7 * sizeof(void*))
                              : static_cast<WORD>((7 + funcs_.size()) * sizeof(void*));
    }

    void build_enum() {
        for (size_t i = 0; i < std::size(kCompanyConstants); ++i) {
            VARIANT& v = values_.emplace_back();
            VariantInit(&v);
            v.vt = VT_I4;
            v.lVal = kCompanyConstants[i].value;
            VARDESC d{};
            d.memid = kFirstEnumMember + static_cast<DISPID>(i);
            d.lpvarValue = &v;
            d.elemdescVar.tdesc.vt = VT_I4;
            d.varkind = VAR_CONST;
            vars_.push_back(d);
        }
        attr_.cVars = static_cast<WORD>(vars_.size());
    }

    void finish() { attr_.cImplTypes = static_cast<WORD>(impls_.size()); }

    // ---- ITypeInfo ----
    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** out) override {
        if (!out) return E_POINTER;
        *out = &attr_;  // read-only and lasting: ReleaseTypeAttr has nothing to free
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index >= funcs_.size()) return TYPE_E_ELEMENTNOTFOUND;
        *out = &funcs_[index].desc;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT index, VARDESC** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index >= vars_.size()) return TYPE_E_ELEMENTNOTFOUND;
        *out = &vars_[index];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* names, UINT max, UINT* count) override {
        if (!names || !count) return E_POINTER;
        *count = 0;
        std::vector<const char16_t*> found;
        for (const Func& f : funcs_)
            if (f.member->id == memid) {
                found.push_back(f.member->name);
                for (const ParamSpec& p : f.member->params) found.push_back(p.name);
                break;
            }
        for (size_t i = 0; found.empty() && i < vars_.size(); ++i)
            if (vars_[i].memid == memid) found.push_back(kCompanyConstants[i].name);
        if (found.empty()) return TYPE_E_ELEMENTNOTFOUND;
        UINT n = 0;
        for (; n < max && n < found.size(); ++n) {
            names[n] = SysAllocString(found[n]);
            if (!names[n]) {
                for (UINT k = 0; k < n; ++k) SysFreeString(names[k]);
                return E_OUTOFMEMORY;
            }
        }
        *count = n;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* out) override {
        if (!out) return E_POINTER;
        if (index == kImplDefaultInterface && view_ == View::Dispatch) {
            *out = entries_ref_;
            return S_OK;
        }
        if (index >= impls_.size()) return TYPE_E_ELEMENTNOTFOUND;
        *out = impls_[index].ref;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* out) override {
        if (!out) return E_POINTER;
        if (index >= impls_.size()) return TYPE_E_ELEMENTNOTFOUND;
        *out = impls_[index].flags;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
        if (!table_) {
            if (!names || !ids) return E_INVALIDARG;
            for (UINT i = 0; i < count; ++i) ids[i] = MEMBERID_NIL;
            for (size_t i = 0; count && i < vars_.size(); ++i)
                if (names[0] && equal_nocase(kCompanyConstants[i].name, names[0])) {
                    ids[0] = vars_[i].memid;
                    return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
                }
            return DISP_E_UNKNOWNNAME;
        }
        return dispatch_get_ids(*table_, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(void* instance, MEMBERID memid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* excep, UINT* arg_err) override {
        if (!instance) return E_INVALIDARG;
        if (view_ != View::Dispatch && view_ != View::Entries && view_ != View::Events) return kWrongTypeKind;
        // every interface described here is dispatchable: the instance answers Invoke itself
        auto* d = static_cast<IDispatch*>(instance);
        return d->Invoke(memid, IID_NULL, kLibraryLocale, flags, params, result, excep, arg_err);
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* context,
                                               BSTR* file) override {
        const char16_t* text = nullptr;
        if (memid == MEMBERID_NIL) text = name_.c_str();
        for (size_t i = 0; !text && i < funcs_.size(); ++i)
            if (funcs_[i].member->id == memid) text = funcs_[i].member->name;
        for (size_t i = 0; !text && i < vars_.size(); ++i)
            if (vars_[i].memid == memid) text = kCompanyConstants[i].name;
        if (!text) return TYPE_E_ELEMENTNOTFOUND;
        return documentation(text, name, doc, context, file);
    }
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR* dll, BSTR* entry, WORD* ordinal) override {
        if (dll) *dll = nullptr;
        if (entry) *entry = nullptr;
        if (ordinal) *ordinal = 0;
        return kWrongTypeKind;  // no module types here
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE ref, ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, void** out) override {
        if (out) *out = nullptr;
        return kWrongTypeKind;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (view_ != View::Coclass) return kWrongTypeKind;
        if (outer) return CLASS_E_NOAGGREGATION;
        return T2CoCreateInstance(attr_.guid, riid, out);
    }
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** lib, UINT* index) override;
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR*) override {}
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC*) override {}
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

    void set_entries_ref(HREFTYPE ref) { entries_ref_ = ref; }

    static HRESULT documentation(const char16_t* text, BSTR* name, BSTR* doc, DWORD* context, BSTR* file) {
        if (name && !(*name = SysAllocString(text))) return E_OUTOFMEMORY;
        if (doc) *doc = nullptr;
        if (context) *context = 0;
        if (file) *file = nullptr;
        return S_OK;
    }

private:
    TYPEDESC type_desc(Type t, bool by_ref, HREFTYPE dib_ref, HREFTYPE enum_ref) {
        TYPEDESC base{};
        switch (t) {
            case Type::Boolean: base.vt = VT_BOOL; break;
            case Type::Integer: base.vt = VT_I2; break;
            case Type::Long:
            case Type::Rop: base.vt = VT_I4; break;
            case Type::Color: base.vt = VT_UI4; break;
            case Type::Byte: base.vt = VT_UI1; break;
            case Type::String: base.vt = VT_BSTR; break;
            case Type::Variant: base.vt = VT_VARIANT; break;
            case Type::Object:
            case Type::Picture: base.vt = VT_DISPATCH; break;
            case Type::Enum:
                base.vt = VT_USERDEFINED;
                base.hreftype = enum_ref;
                break;
            case Type::DIB: {
                TYPEDESC& target = pointees_.emplace_back();
                target.vt = VT_USERDEFINED;
                target.hreftype = dib_ref;
                base.vt = VT_PTR;
                base.lptdesc = &target;
                break;
            }
            case Type::None: base.vt = VT_VOID; break;
        }
        if (!by_ref) return base;
        TYPEDESC& target = pointees_.emplace_back(base);
        TYPEDESC ptr{};
        ptr.vt = VT_PTR;
        ptr.lptdesc = &target;
        return ptr;
    }

    PARAMDESCEX* default_of(const ParamSpec& p) {
        PARAMDESCEX& d = defaults_.emplace_back();
        d.cBytes = sizeof(PARAMDESCEX);
        VariantInit(&d.varDefaultValue);
        VARIANT& v = d.varDefaultValue;
        if (p.def == Default::Text) {
            v.vt = VT_BSTR;
            v.bstrVal = SysAllocString(p.def_text);
            return &d;
        }
        switch (p.type) {
            case Type::Boolean:
                v.vt = VT_BOOL;
                v.boolVal = p.def_value ? VARIANT_TRUE : VARIANT_FALSE;
                break;
            case Type::Integer:
                v.vt = VT_I2;
                v.iVal = static_cast<SHORT>(p.def_value);
                break;
            case Type::Byte:
                v.vt = VT_UI1;
                v.bVal = static_cast<BYTE>(p.def_value);
                break;
            case Type::Color:
                v.vt = VT_UI4;
                v.lVal = p.def_value;
                break;
            default:
                v.vt = VT_I4;
                v.lVal = p.def_value;
                break;
        }
        return &d;
    }

    struct Impl {
        HREFTYPE ref;
        INT flags;
    };
    View view_;
    String name_;
    UINT index_;
    TYPEATTR attr_{};
    const InterfaceSpec* table_ = nullptr;
    std::vector<Func> funcs_;
    std::vector<VARDESC> vars_;
    std::deque<VARIANT> values_;
    std::deque<std::vector<ELEMDESC>> elems_;
    std::deque<TYPEDESC> pointees_;
    std::deque<PARAMDESCEX> defaults_;
    std::vector<Impl> impls_;
    HREFTYPE entries_ref_ = 0;
};

class Library final : public LibraryOwned<ITypeLib, IID_ITypeLib> {
public:
    Library() {
        size_t n = 0;
        const ClassInfo* const* classes = all_classes(n);
        // The listed types: coclasses, the dual interfaces, the event interfaces, the enumeration.
        for (size_t i = 0; i < n; ++i) add(View::Coclass, classes[i]->name, *classes[i]->clsid);
        for (size_t i = 0; i < n; ++i) add(View::Dispatch, classes[i]->table->name, *classes[i]->iid);
        const size_t gif_events = types_.size();
        add(View::Events, kGifEvents.name, DIID___GIF);
        add(View::Events, kPaletteEvents.name, DIID___cPalette);
        const size_t enum_index = types_.size();
        add(View::Enum, u"QELCompanyInformationTypeConstants", GUID_QELCompanyInformationTypeConstants);
        listed_ = types_.size();
        // Behind them: the entry-table view of each dual interface, and IDispatch as their base.
        for (size_t i = 0; i < n; ++i) add(View::Entries, classes[i]->table->name, *classes[i]->iid);
        const size_t base = types_.size();
        add(View::BaseDispatch, u"IDispatch", IID_IDispatch);

        const HREFTYPE enum_ref = ref_of(enum_index);
        HREFTYPE dib_ref = 0;
        for (size_t i = 0; i < n; ++i)
            if (*classes[i]->clsid == CLSID_cDIBSection) dib_ref = ref_of(n + i);
        constexpr WORD kDual = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                               TYPEFLAG_FDISPATCHABLE;
        for (size_t i = 0; i < n; ++i) {
            const ClassInfo* c = classes[i];
            TypeInfo& co = *types_[i];
            co.set_kind(TKIND_COCLASS,
                        TYPEFLAG_FCANCREATE | (c->app_object ? TYPEFLAG_FAPPOBJECT | TYPEFLAG_FPREDECLID : 0));
            co.add_impl(ref_of(n + i), IMPLTYPEFLAG_FDEFAULT);
            if (c->events)
                co.add_impl(ref_of(*c->events == DIID___GIF ? gif_events : gif_events + 1),
                            IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
            TypeInfo& disp = *types_[n + i];
            disp.set_kind(TKIND_DISPATCH, kDual & ~TYPEFLAG_FOLEAUTOMATION);  // the flag is the entry view's
            disp.set_members(c->table);
            disp.add_impl(ref_of(base), 0);
            disp.set_entries_ref(ref_of(listed_ + i));
            TypeInfo& entries = *types_[listed_ + i];
            entries.set_kind(TKIND_INTERFACE, kDual);
            entries.set_members(c->table);
            entries.add_impl(ref_of(base), 0);
        }
        for (size_t k = 0; k < 2; ++k) {
            TypeInfo& ev = *types_[gif_events + k];
            ev.set_kind(TKIND_DISPATCH, TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE);
            ev.set_members(k == 0 ? &kGifEvents : &kPaletteEvents);
            ev.add_impl(ref_of(base), 0);
        }
        types_[enum_index]->set_kind(TKIND_ENUM, 0);
        types_[enum_index]->build_enum();
        types_[base]->set_kind(TKIND_INTERFACE, TYPEFLAG_FDISPATCHABLE);
        for (auto& t : types_) {
            t->build_funcs(dib_ref, enum_ref);
            t->finish();
        }
        attr_.guid = LIBID_TAVOLIN2;
        attr_.lcid = kLibraryLocale;
        attr_.syskind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
        attr_.wMajorVerNum = kMajor;
        attr_.wMinorVerNum = kMinor;
        attr_.wLibFlags = 0;
    }

    TypeInfo* by_ref(HREFTYPE ref) const {
        if (ref == 0 || ref > types_.size()) return nullptr;
        return types_[ref - 1].get();
    }
    size_t listed() const { return listed_; }
    TypeInfo* dispatch_view(const IID& iid) const {
        for (size_t i = 0; i < listed_; ++i)
            if (types_[i]->view() == View::Dispatch && *interface_iid(i) == iid) return types_[i].get();
        return nullptr;
    }

    // ---- ITypeLib ----
    UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return static_cast<UINT>(listed_); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index >= listed_) return TYPE_E_ELEMENTNOTFOUND;
        *out = types_[index].get();
        (*out)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* out) override {
        if (!out) return E_POINTER;
        if (index >= listed_) return TYPE_E_ELEMENTNOTFOUND;
        TYPEATTR* a = nullptr;
        types_[index]->GetTypeAttr(&a);
        *out = a->typekind;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        for (size_t i = 0; i < listed_; ++i) {
            TYPEATTR* a = nullptr;
            types_[i]->GetTypeAttr(&a);
            if (a->guid == guid) {
                *out = types_[i].get();
                (*out)->AddRef();
                return S_OK;
            }
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** out) override {
        if (!out) return E_POINTER;
        *out = &attr_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* context, BSTR* file) override {
        if (index == -1) return TypeInfo::documentation(u"TAVOLIN2", name, doc, context, file);
        if (index < 0 || static_cast<size_t>(index) >= listed_) return TYPE_E_ELEMENTNOTFOUND;
        return TypeInfo::documentation(types_[static_cast<size_t>(index)]->name().c_str(), name, doc, context, file);
    }
    HRESULT STDMETHODCALLTYPE IsName(LPOLESTR name, ULONG, T2BOOL* found) override {
        if (!name || !found) return E_INVALIDARG;
        ITypeInfo* info = nullptr;
        MEMBERID id = 0;
        USHORT count = 1;
        FindName(name, 0, &info, &id, &count);
        if (count) info->Release();
        *found = count ? TRUE : FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindName(LPOLESTR name, ULONG, ITypeInfo** infos, MEMBERID* ids, USHORT* count) override {
        if (!name || !infos || !ids || !count) return E_INVALIDARG;
        const USHORT room = *count;
        USHORT n = 0;
        for (size_t i = 0; i < listed_ && n < room; ++i) {
            TypeInfo& t = *types_[i];
            MEMBERID id = MEMBERID_NIL;
            bool hit = equal_nocase(t.name(), name);
            if (!hit) {
                LPOLESTR names[1] = {name};
                hit = SUCCEEDED(t.GetIDsOfNames(names, 1, &id));
            }
            if (!hit) continue;
            infos[n] = &t;
            t.AddRef();
            ids[n] = id;
            ++n;
        }
        *count = n;
        return S_OK;
    }
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR*) override {}

private:
    void add(View v, const char16_t* name, const GUID& guid) {
        types_.push_back(std::make_unique<TypeInfo>(v, name, guid, static_cast<UINT>(types_.size())));
    }
    static HREFTYPE ref_of(size_t index) { return static_cast<HREFTYPE>(index + 1); }
    const GUID* interface_iid(size_t i) const {
        TYPEATTR* a = nullptr;
        types_[i]->GetTypeAttr(&a);
        return &a->guid;
    }

    std::vector<std::unique_ptr<TypeInfo>> types_;
    size_t listed_ = 0;
    TLIBATTR attr_{};
};

Library& library() {
    static Library* lib = new Library;  // lives as long as the process: descriptors handed out stay valid
    return *lib;
}

HRESULT STDMETHODCALLTYPE TypeInfo::GetRefTypeInfo(HREFTYPE ref, ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = library().by_ref(ref);
    if (!*out) return TYPE_E_ELEMENTNOTFOUND;
    (*out)->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TypeInfo::GetContainingTypeLib(ITypeLib** lib, UINT* index) {
    if (view_ == View::BaseDispatch) {
        if (lib) *lib = nullptr;
        return TYPE_E_CANTLOADLIBRARY;  // IDispatch belongs to the platform's standard library
    }
    UINT at = index_;
    if (view_ == View::Entries) {
        // an entry-table view lives under its dispatch view's place in the library
        TYPEATTR* a = nullptr;
        GetTypeAttr(&a);
        at = library().dispatch_view(a->guid)->index();
    }
    if (index) *index = at;
    if (lib) {
        *lib = &library();
        (*lib)->AddRef();
    }
    return S_OK;
}

std::string own_file() {
    Dl_info info{};
    char buf[PATH_MAX];
    if (dladdr(reinterpret_cast<void*>(&T2LoadTypeLib), &info) && info.dli_fname && realpath(info.dli_fname, buf))
        return buf;
    return {};
}

}  // namespace

HRESULT type_info_of(const IID& iid, ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = library().dispatch_view(iid);
    if (!*out) return TYPE_E_ELEMENTNOTFOUND;
    (*out)->AddRef();
    return S_OK;
}

long type_info_references() noexcept { return g_refs.load(); }

}  // namespace t2

T2_API HRESULT T2LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID, ITypeLib** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    // any locale: the library has one (0x0409), which the platform's loader falls back to
    if (!(libid == LIBID_TAVOLIN2) || major != t2::kMajor || minor > t2::kMinor) return TYPE_E_LIBNOTREGISTERED;
    try {
        *out = &t2::library();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    (*out)->AddRef();
    return S_OK;
}

T2_API HRESULT T2LoadTypeLib(const char* path, ITypeLib** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!path) return E_INVALIDARG;
    char buf[PATH_MAX];
    if (!realpath(path, buf)) return TYPE_E_CANTLOADLIBRARY;
    const std::string self = t2::own_file();
    if (self.empty() || self != buf) return TYPE_E_CANTLOADLIBRARY;  // only this library file holds it
    return T2LoadRegTypeLib(LIBID_TAVOLIN2, t2::kMajor, t2::kMinor, 0x0409, out);
}
