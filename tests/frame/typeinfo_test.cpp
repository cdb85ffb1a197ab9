// Type information: every row of every member table reachable through
// ITypeInfo with the same id, kind and parameters (checked against the member
// tables themselves), the library's types, and a client that calls members
// knowing nothing but the type information.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/com.hpp"

using namespace t2;

namespace {

struct Released {
    IUnknown* p = nullptr;
    ~Released() {
        if (p) p->Release();
    }
};

String text(BSTR b) {
    String s = from_bstr(b);
    SysFreeString(b);
    return s;
}

VARTYPE declared_vt(int type) {
    switch (type) {
        case T2_TYPE_BOOLEAN: return VT_BOOL;
        case T2_TYPE_INTEGER: return VT_I2;
        case T2_TYPE_LONG:
        case T2_TYPE_ROP: return VT_I4;
        case T2_TYPE_COLOR: return VT_UI4;
        case T2_TYPE_BYTE: return VT_UI1;
        case T2_TYPE_STRING: return VT_BSTR;
        case T2_TYPE_VARIANT: return VT_VARIANT;
        case T2_TYPE_OBJECT:
        case T2_TYPE_PICTURE: return VT_DISPATCH;
        case T2_TYPE_ENUM: return VT_USERDEFINED;
        case T2_TYPE_DIB: return VT_PTR;  // to the _cDIBSection interface
        default: return VT_VOID;
    }
}

ITypeInfo* type_info_of_class(const CLSID& clsid) {
    IDispatch* obj = nullptr;
    EXPECT_EQ(T2CoCreateInstance(clsid, IID_IDispatch, reinterpret_cast<void**>(&obj)), S_OK);
    if (!obj) return nullptr;
    UINT count = 0;
    EXPECT_EQ(obj->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(obj->GetTypeInfo(0, 0x0409, &info), S_OK);
    ITypeInfo* none = nullptr;
    EXPECT_EQ(obj->GetTypeInfo(1, 0x0409, &none), DISP_E_BADINDEX);
    obj->Release();
    return info;
}

// One function description against its member-table row, in either view.
void expect_row(ITypeInfo* info, UINT index, const CLSID& clsid, bool entry_view) {
    T2MemberInfo row{};
    ASSERT_EQ(T2GetMemberInfo(clsid, index, &row), S_OK);
    SCOPED_TRACE(to_utf8(row.name));
    FUNCDESC* f = nullptr;
    ASSERT_EQ(info->GetFuncDesc(index, &f), S_OK);
    EXPECT_EQ(f->memid, row.id);
    const INVOKEKIND kind[] = {INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT};
    EXPECT_EQ(f->invkind, kind[row.kind]);
    EXPECT_EQ(f->funckind, entry_view ? FUNC_PUREVIRTUAL : FUNC_DISPATCH);
    EXPECT_EQ(f->oVft, static_cast<SHORT>(row.slot * sizeof(void*)));
    const bool retval = entry_view && row.result != T2_TYPE_NONE;
    EXPECT_EQ(f->cParams, static_cast<SHORT>(row.param_count + (retval ? 1 : 0)));
    SHORT optional = 0;
    for (UINT p = 0; p < row.param_count; ++p) {
        T2ParamInfo param{};
        ASSERT_EQ(T2GetParamInfo(clsid, index, p, &param), S_OK);
        const ELEMDESC& e = f->lprgelemdescParam[p];
        const TYPEDESC& t = param.by_ref ? *e.tdesc.lptdesc : e.tdesc;
        EXPECT_EQ(e.tdesc.vt == VT_PTR, param.by_ref || param.type == T2_TYPE_DIB) << "parameter " << p;
        EXPECT_EQ(param.by_ref ? t.vt : e.tdesc.vt, declared_vt(param.type)) << "parameter " << p;
        const USHORT flags = e.paramdesc.wParamFlags;
        EXPECT_EQ((flags & PARAMFLAG_FOUT) != 0, param.by_ref != 0);
        EXPECT_EQ((flags & PARAMFLAG_FOPT) != 0, param.optional != 0);
        optional += param.optional ? 1 : 0;
        if (param.default_value.vt != VT_EMPTY) {
            ASSERT_TRUE(flags & PARAMFLAG_FHASDEFAULT);
            VARIANT as_declared;
            VariantInit(&as_declared);
            ASSERT_EQ(
                VariantChangeType(&as_declared, &e.paramdesc.pparamdescex->varDefaultValue, 0, param.default_value.vt),
                S_OK);
            Variant a(as_declared), b(param.default_value);
            EXPECT_EQ(a.to_string(), b.to_string()) << "default of parameter " << p;
            VariantClear(&as_declared);
        }
        VariantClear(&param.default_value);
    }
    EXPECT_EQ(f->cParamsOpt, optional);
    if (retval) {
        EXPECT_EQ(f->lprgelemdescParam[row.param_count].paramdesc.wParamFlags, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL);
    }
    info->ReleaseFuncDesc(f);

    // names: the member, then its parameters
    BSTR names[16] = {};
    UINT got = 0;
    ASSERT_EQ(info->GetNames(row.id, names, 16, &got), S_OK);
    ASSERT_GE(got, 1u);
    EXPECT_TRUE(equal_nocase(text(names[0]), row.name));
    for (UINT k = 1; k < got; ++k) SysFreeString(names[k]);
}

const CLSID* const kClasses[] = {&CLSID_clsTavolin2, &CLSID_clsQELPictureViewer, &CLSID_clsQELCompany,
                                 &CLSID_MP3Class,    &CLSID_MovieModule,         &CLSID_clsBCAT175,
                                 &CLSID_GIF,         &CLSID_cDIBSection,         &CLSID_cPalette};

TEST(TypeInfo, EveryRowOfEveryTableInBothViews) {
    for (const CLSID* clsid : kClasses) {
        const ClassInfo* c = find_class(*clsid);
        SCOPED_TRACE(c->progid);
        ITypeInfo* disp = type_info_of_class(*clsid);
        ASSERT_NE(disp, nullptr);
        Released hold_disp{disp};
        TYPEATTR* a = nullptr;
        ASSERT_EQ(disp->GetTypeAttr(&a), S_OK);
        EXPECT_TRUE(a->guid == *c->iid);
        EXPECT_EQ(a->typekind, TKIND_DISPATCH);
        EXPECT_EQ(a->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE), TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE);
        EXPECT_EQ(a->cFuncs, T2GetMemberCount(*clsid));
        EXPECT_EQ(a->cbSizeVft, 7 * sizeof(void*));  // IDispatch's table, as the platform gives it
        EXPECT_EQ(a->wTypeFlags & TYPEFLAG_FOLEAUTOMATION, 0);
        EXPECT_EQ(a->wMajorVerNum, 1);
        disp->ReleaseTypeAttr(a);
        for (UINT i = 0; i < T2GetMemberCount(*clsid); ++i) expect_row(disp, i, *clsid, false);

        HREFTYPE ref = 0;
        ASSERT_EQ(disp->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
        ITypeInfo* entries = nullptr;
        ASSERT_EQ(disp->GetRefTypeInfo(ref, &entries), S_OK);
        Released hold_entries{entries};
        ASSERT_EQ(entries->GetTypeAttr(&a), S_OK);
        EXPECT_EQ(a->typekind, TKIND_INTERFACE);
        EXPECT_EQ(a->cbSizeVft, (7 + T2GetMemberCount(*clsid)) * sizeof(void*));
        for (UINT i = 0; i < T2GetMemberCount(*clsid); ++i) expect_row(entries, i, *clsid, true);

        BSTR name = nullptr;
        ASSERT_EQ(disp->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
        EXPECT_EQ(text(name), String(u"_") + c->name);
    }
}

TEST(TypeInfo, TheLibraryListsEveryType) {
    ITypeLib* lib = nullptr;
    ASSERT_EQ(T2LoadRegTypeLib(LIBID_TAVOLIN2, 1, 0, 0, &lib), S_OK);
    Released hold{lib};
    TLIBATTR* la = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&la), S_OK);
    EXPECT_TRUE(la->guid == LIBID_TAVOLIN2);
    EXPECT_EQ(la->lcid, 0x0409u);
    EXPECT_EQ(la->wMajorVerNum, 1);
    EXPECT_EQ(la->wMinorVerNum, 0);
    lib->ReleaseTLibAttr(la);
    EXPECT_EQ(lib->GetTypeInfoCount(), 9u + 9u + 2u + 1u);
    BSTR name = nullptr;
    ASSERT_EQ(lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(text(name), u"TAVOLIN2");

    // each coclass: its default interface, and its event interface as the default source
    for (const CLSID* clsid : kClasses) {
        const ClassInfo* c = find_class(*clsid);
        SCOPED_TRACE(c->progid);
        ITypeInfo* co = nullptr;
        ASSERT_EQ(lib->GetTypeInfoOfGuid(*clsid, &co), S_OK);
        Released hold_co{co};
        TYPEATTR* a = nullptr;
        co->GetTypeAttr(&a);
        EXPECT_EQ(a->typekind, TKIND_COCLASS);
        EXPECT_EQ((a->wTypeFlags & TYPEFLAG_FAPPOBJECT) != 0, c->app_object);
        EXPECT_EQ(a->cImplTypes, c->events ? 2 : 1);
        for (UINT k = 0; k < a->cImplTypes; ++k) {
            HREFTYPE ref = 0;
            INT flags = 0;
            ASSERT_EQ(co->GetRefTypeOfImplType(k, &ref), S_OK);
            ASSERT_EQ(co->GetImplTypeFlags(k, &flags), S_OK);
            ITypeInfo* iface = nullptr;
            ASSERT_EQ(co->GetRefTypeInfo(ref, &iface), S_OK);
            TYPEATTR* ia = nullptr;
            iface->GetTypeAttr(&ia);
            EXPECT_TRUE(ia->guid == (k == 0 ? *c->iid : *c->events));
            EXPECT_EQ((flags & IMPLTYPEFLAG_FSOURCE) != 0, k == 1);
            iface->Release();
        }
        _cPalette* made = nullptr;
        if (*clsid == CLSID_cPalette) {
            ASSERT_EQ(co->CreateInstance(nullptr, IID__cPalette, reinterpret_cast<void**>(&made)), S_OK);
            made->Release();
        }
    }

    // the event interfaces: pure dispatch, their rows by id
    struct EventCase {
        const IID* iid;
        std::vector<std::pair<const char16_t*, DISPID>> rows;
    };
    const EventCase events[] = {{&DIID___GIF, {{u"Progress", 1}}},
                                {&DIID___cPalette, {{u"InitProgress", 1}, {u"Progress", 2}, {u"Complete", 3}}}};
    for (const EventCase& e : events) {
        ITypeInfo* ev = nullptr;
        ASSERT_EQ(lib->GetTypeInfoOfGuid(*e.iid, &ev), S_OK);
        Released hold_ev{ev};
        TYPEATTR* a = nullptr;
        ev->GetTypeAttr(&a);
        EXPECT_EQ(a->typekind, TKIND_DISPATCH);
        EXPECT_EQ(a->wTypeFlags & TYPEFLAG_FDUAL, 0);
        ASSERT_EQ(a->cFuncs, e.rows.size());
        for (UINT i = 0; i < a->cFuncs; ++i) {
            FUNCDESC* f = nullptr;
            ev->GetFuncDesc(i, &f);
            EXPECT_EQ(f->memid, e.rows[i].second);
            EXPECT_EQ(f->cParams, 1);
            EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_VOID);
            LPOLESTR n = const_cast<LPOLESTR>(e.rows[i].first);
            MEMBERID id = 0;
            EXPECT_EQ(ev->GetIDsOfNames(&n, 1, &id), S_OK);
            EXPECT_EQ(id, e.rows[i].second);
        }
    }

    // the enumeration: its constants and values
    ITypeInfo* en = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(GUID_QELCompanyInformationTypeConstants, &en), S_OK);
    Released hold_en{en};
    TYPEATTR* a = nullptr;
    en->GetTypeAttr(&a);
    EXPECT_EQ(a->typekind, TKIND_ENUM);
    ASSERT_EQ(a->cVars, 21);
    for (UINT i = 0; i < a->cVars; ++i) {
        VARDESC* v = nullptr;
        ASSERT_EQ(en->GetVarDesc(i, &v), S_OK);
        EXPECT_EQ(v->varkind, VAR_CONST);
        EXPECT_EQ(v->lpvarValue->vt, VT_I4);
        EXPECT_EQ(v->lpvarValue->lVal, static_cast<LONG>(900 + i));
        BSTR n = nullptr;
        UINT got = 0;
        ASSERT_EQ(en->GetNames(v->memid, &n, 1, &got), S_OK);
        String constant = text(n);
        EXPECT_EQ(constant.substr(0, 10), u"qelCompany");
        en->ReleaseVarDesc(v);
    }
    T2BOOL found = FALSE;
    LPOLESTR company = const_cast<LPOLESTR>(u"qelcompanyname3");
    EXPECT_EQ(lib->IsName(company, 0, &found), S_OK);
    EXPECT_TRUE(found);

    ITypeLib* other = nullptr;
    EXPECT_EQ(T2LoadRegTypeLib(LIBID_TAVOLIN2, 2, 0, 0, &other), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(T2LoadTypeLib("/etc/hostname", &other), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(other, nullptr);
}

// A client that knows only what the type information says: finds the
// property and the method, their ids and argument counts, and calls them.
TEST(TypeInfo, AClientThatKnowsOnlyTheTypeInformation) {
    IDispatch* pal = nullptr;
    ASSERT_EQ(T2CoCreateInstance(CLSID_cPalette, IID_IDispatch, reinterpret_cast<void**>(&pal)), S_OK);
    ITypeInfo* info = nullptr;
    ASSERT_EQ(pal->GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* a = nullptr;
    info->GetTypeAttr(&a);
    MEMBERID add = MEMBERID_NIL, count = MEMBERID_NIL;
    SHORT add_params = -1;
    for (UINT i = 0; i < a->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        info->GetFuncDesc(i, &f);
        BSTR n = nullptr;
        UINT got = 0;
        info->GetNames(f->memid, &n, 1, &got);
        String name = text(n);
        if (name == u"Add" && f->invkind == INVOKE_FUNC) {
            add = f->memid;
            add_params = f->cParams;
        }
        if (name == u"Count" && f->invkind == INVOKE_PROPERTYGET) count = f->memid;
        info->ReleaseFuncDesc(f);
    }
    ASSERT_EQ(add_params, 3);
    VARIANT args[3];
    for (int k = 0; k < 3; ++k) {
        VariantInit(&args[k]);
        args[k].vt = VT_UI1;
        args[k].bVal = static_cast<BYTE>(10 * (k + 1));
    }
    DISPPARAMS dp{args, nullptr, 3, 0};
    EXPECT_EQ(info->Invoke(pal, add, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr), S_OK);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(info->Invoke(pal, count, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 1);

    // the type information keeps the library loaded while a client holds it
    pal->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    ITypeLib* lib = nullptr;
    UINT index = 99;
    ASSERT_EQ(info->GetContainingTypeLib(&lib, &index), S_OK);
    ITypeInfo* again = nullptr;
    ASSERT_EQ(lib->GetTypeInfo(index, &again), S_OK);
    EXPECT_EQ(again, info);
    again->Release();
    lib->Release();
    info->Release();
    EXPECT_EQ(type_info_references(), 0);
}

}  // namespace
