// One object through the whole frame: the generated entry table, late-bound
// Invoke over the member table, defaults, by-ref write-back, errors, events
// and lifetime, using test implementations of two real interfaces.
#include <gtest/gtest.h>

#include <thread>

#include "frame/com.hpp"
#include "support/recorder.hpp"

using namespace t2;
using t2test::Sink;

namespace {

struct Log {
    std::vector<std::string> lines;
    int palette_adds = 0;
    bool clear_fails = false;
};
Log* g_log = nullptr;

class TestPalette : public ImplOf<_cPalette> {
public:
    T2_MEMBERS__cPalette(T2_NATURAL_DECL)
    Long count_ = 0;
};
void TestPalette::Add(Byte r, Byte g, Byte b) {
    ++g_log->palette_adds;
    count_ = checked::add<Long>(count_, 1);
    g_log->lines.push_back("Add " + std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b));
}
Long TestPalette::get_ClosestIndex(Long r, Long, Long) {
    g_log->lines.push_back("Closest");
    return r;
}
Long TestPalette::get_Count() { return count_; }
Byte TestPalette::get_Red(Variant i) { return static_cast<Byte>(i.to_long()); }
Byte TestPalette::get_Green(Variant) { return 0; }
Byte TestPalette::get_Blue(Variant) { return 0; }
void TestPalette::CreateOptimal(DibRef&, Long PalSize, Long nLevels) {
    g_log->lines.push_back("CreateOptimal " + std::to_string(PalSize) + " " + std::to_string(nLevels));
    raise_event(1, {Variant(Long{3})});
    g_log->lines.push_back("after InitProgress");
    for (Long k = 1; k <= 3; ++k) raise_event(2, {Variant(k)});
    raise_event(3, {Variant(Long{0})});
    count_ = 99;  // touches the object after a handler may have dropped the last client reference
    g_log->lines.push_back("done");
}
void TestPalette::EraseNodes() {}
void TestPalette::Clear() {
    if (g_log->clear_fails) t2::raise(err::Subscript);
}
bool TestPalette::Load(String, Long& lPosition) {
    lPosition += 10;
    return true;
}
bool TestPalette::Save(String sFileName, Long lPosition) {
    g_log->lines.push_back("Save " + to_utf8(sFileName) + " " + std::to_string(lPosition));
    return false;
}
void TestPalette::CreateWebSafe() {}

class TestDib : public ImplOf<_cDIBSection> {
public:
    T2_MEMBERS__cDIBSection(T2_NATURAL_DECL)
};
bool TestDib::CopyToClipboard(bool bAsDIB) {
    g_log->lines.push_back(bAsDIB ? "clip dib" : "clip ddb");
    return true;
}
bool TestDib::CreateDIB(Long, Long w, Long h, Long& hDib) {
    hDib = w * 1000 + h;
    return true;
}
Variant TestDib::CreateFromPicture(Object&) {
    g_log->lines.push_back("CreateFromPicture");
    return Variant();
}
bool TestDib::Create(Long, Long) {
    check(self()->ClearUp());  // a class calls its own members through its interface
    return true;
}
Long TestDib::get_BytesPerScanLine() { return 0; }
Long TestDib::get_Width() { return 0; }
Long TestDib::get_Height() { return 0; }
void TestDib::LoadPictureBlt(Long a, Long b, Long c, Long d, Long e, Long rop) {
    g_log->lines.push_back("Blt " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c) + " " +
                           std::to_string(d) + " " + std::to_string(e) + " " + std::to_string(rop));
}
void TestDib::PaintPicture(Long, Long, Long, Long, Long, Long, Long, Long) {}
Long TestDib::get_hDc() { return 0; }
Long TestDib::get_hDib() { return 0; }
Long TestDib::get_DIBSectionBitsPtr() { return 0; }
void TestDib::RandomiseBits(bool) {}
void TestDib::ClearUp() {
    if (g_log->clear_fails) t2::raise(err::ObjectNotSet);
}
DibRef TestDib::Resample(Long, Long) { return DibRef(self()); }
bool TestDib::SavePicture(String) { return false; }
String TestDib::ApiError(Long e) { return u"e" + number_text(e); }

class ObjectTest : public ::testing::Test {
protected:
    void SetUp() override { g_log = &log; }
    void TearDown() override { g_log = nullptr; }
    static _cPalette* new_palette() {
        return static_cast<_cPalette*>(new Com_cPalette<TestPalette>(find_class(CLSID_cPalette)));
    }
    static _cDIBSection* new_dib() {
        return static_cast<_cDIBSection*>(new Com_cDIBSection<TestDib>(find_class(CLSID_cDIBSection)));
    }
    Log log;
};

DISPID id_of(IDispatch* d, const char16_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR n = const_cast<LPOLESTR>(name);
    EXPECT_EQ(d->GetIDsOfNames(IID_NULL, &n, 1, 0, &id), S_OK);
    return id;
}

// Late-bound call with arguments in call order.
HRESULT call(IDispatch* d, const char16_t* name, std::vector<VARIANT> args, VARIANT* result = nullptr,
             WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET, EXCEPINFO* ei = nullptr, UINT* arg_err = nullptr) {
    std::reverse(args.begin(), args.end());
    DISPID put = DISPID_PROPERTYPUT;
    bool is_put = flags & DISPATCH_PROPERTYPUT;
    DISPPARAMS dp{args.data(), is_put ? &put : nullptr, static_cast<UINT>(args.size()), is_put ? 1u : 0u};
    EXCEPINFO local{};
    UINT err = 0;
    HRESULT hr = d->Invoke(id_of(d, name), IID_NULL, 0, flags, &dp, result, ei ? ei : &local, arg_err ? arg_err : &err);
    if (!ei) {
        SysFreeString(local.bstrSource);
        SysFreeString(local.bstrDescription);
    }
    return hr;
}

VARIANT i4(LONG v) {
    VARIANT r;
    VariantInit(&r);
    r.vt = VT_I4;
    r.lVal = v;
    return r;
}
VARIANT missing() {
    VARIANT r;
    VariantInit(&r);
    r.vt = VT_ERROR;
    r.scode = DISP_E_PARAMNOTFOUND;
    return r;
}

TEST_F(ObjectTest, EarlyBoundBooleanAndByRef) {
    _cDIBSection* dib = new_dib();
    LONG h = 0;
    VARIANT_BOOL ok = 0;
    ASSERT_EQ(dib->CreateDIB(0, 3, 4, &h, &ok), S_OK);
    EXPECT_EQ(ok, -1);  // True is -1 through the entry table
    EXPECT_EQ(h, 3004);
    BSTR text = nullptr;
    ASSERT_EQ(dib->ApiError(5, &text), S_OK);
    EXPECT_EQ(bstr_view(text), u"e5");
    SysFreeString(text);
    EXPECT_EQ(dib->CreateDIB(0, 1, 1, nullptr, &ok), E_POINTER);
    EXPECT_EQ(dib->Release(), 0u);
}

TEST_F(ObjectTest, LateBoundDefaultsAndNamedArguments) {
    _cDIBSection* dib = new_dib();
    EXPECT_EQ(call(dib, u"loadpictureblt", {i4(7)}), S_OK);
    EXPECT_EQ(call(dib, u"LoadPictureBlt", {i4(7), missing(), i4(2)}), S_OK);
    // named: lHDC:=1, eRop:=66
    DISPID ids[3];
    LPOLESTR names[3] = {const_cast<LPOLESTR>(u"LoadPictureBlt"), const_cast<LPOLESTR>(u"EROP"),
                         const_cast<LPOLESTR>(u"lhdc")};
    ASSERT_EQ(dib->GetIDsOfNames(IID_NULL, names, 3, 0, ids), S_OK);
    EXPECT_EQ(ids[1], 5);
    EXPECT_EQ(ids[2], 0);
    VARIANT args[2] = {i4(66), i4(1)};
    DISPID named[2] = {5, 0};
    DISPPARAMS dp{args, named, 2, 2};
    EXPECT_EQ(dib->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, nullptr), S_OK);
    VARIANT r;
    VariantInit(&r);
    EXPECT_EQ(call(dib, u"CopyToClipboard", {}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_BOOL);
    EXPECT_EQ(r.boolVal, -1);
    ASSERT_EQ(log.lines.size(), 4u);
    EXPECT_EQ(log.lines[0], "Blt 7 0 0 -1 -1 13369376");
    EXPECT_EQ(log.lines[1], "Blt 7 0 2 -1 -1 13369376");
    EXPECT_EQ(log.lines[2], "Blt 1 0 0 -1 -1 66");
    EXPECT_EQ(log.lines[3], "clip dib");
    dib->Release();
}

TEST_F(ObjectTest, ByRefWriteBackToTheCallersVariable) {
    _cDIBSection* dib = new_dib();
    LONG h = 0;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &h;
    EXPECT_EQ(call(dib, u"CreateDIB", {i4(0), i4(2), i4(5), ref}), S_OK);
    EXPECT_EQ(h, 2005);
    // an Integer variable passed by reference to a Long parameter: converted both ways
    SHORT small = 0;
    VARIANT sref;
    VariantInit(&sref);
    sref.vt = VT_BYREF | VT_I2;
    sref.piVal = &small;
    EXPECT_EQ(call(dib, u"CreateDIB", {i4(0), i4(1), i4(7), sref}), S_OK);
    EXPECT_EQ(small, 1007);
    // a result that does not fit the caller's variable fails the call with the overflow status
    EXPECT_EQ(call(dib, u"CreateDIB", {i4(0), i4(40), i4(7), sref}), DISP_E_OVERFLOW);
    // by value: nothing comes back
    VARIANT byval = i4(0);
    EXPECT_EQ(call(dib, u"CreateDIB", {i4(0), i4(1), i4(1), byval}), S_OK);
    dib->Release();
}

TEST_F(ObjectTest, ConversionFailuresStopBeforeTheMemberRuns) {
    _cPalette* pal = new_palette();
    UINT arg_err = 99;
    EXPECT_EQ(call(pal, u"Add", {i4(300), i4(0), i4(0)}, nullptr, DISPATCH_METHOD, nullptr, &arg_err), DISP_E_OVERFLOW);
    EXPECT_EQ(arg_err, 2u);  // the first argument sits last in rgvarg
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"abc");
    EXPECT_EQ(call(pal, u"ClosestIndex", {i4(1), text, i4(1)}, nullptr, DISPATCH_PROPERTYGET, nullptr, &arg_err),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(arg_err, 1u);
    VariantClear(&text);
    // the thread's error info names the member and argument, what was given and expected
    struct Told {
        std::vector<VARIANT> args;
        HRESULT status;
        const char16_t* description;
    };
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_BSTR;
    x.bstrVal = SysAllocString(u"x");
    const Told told[] = {
        {{x, i4(0), i4(0)}, DISP_E_TYPEMISMATCH, u"cPalette.Add: argument 1 (Red As Byte): got String \"x\""},
        {{i4(0), i4(0), i4(256)},
         DISP_E_OVERFLOW,
         u"cPalette.Add: argument 3 (Blue As Byte): got Long 256, out of range"},
    };
    for (const Told& t : told) {
        EXPECT_EQ(call(pal, u"Add", t.args, nullptr, DISPATCH_METHOD), t.status);
        IErrorInfo* info = nullptr;
        ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
        BSTR description = nullptr, source = nullptr;
        info->GetDescription(&description);
        info->GetSource(&source);
        EXPECT_EQ(from_bstr(description), t.description);
        EXPECT_EQ(from_bstr(source), u"TAVOLIN2.cPalette.Add");
        SysFreeString(description);
        SysFreeString(source);
        info->Release();
    }
    VariantClear(&x);
    EXPECT_EQ(call(pal, u"Add", {i4(1), i4(2)}), DISP_E_BADPARAMCOUNT);  // as the platform's ITypeInfo::Invoke
    EXPECT_EQ(call(pal, u"Add", {i4(1), i4(2), i4(3), i4(4)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(log.palette_adds, 0);
    EXPECT_TRUE(log.lines.empty());
    pal->Release();
}

TEST_F(ObjectTest, DispatchStatuses) {
    _cPalette* pal = new_palette();
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(pal->Invoke(0x12345, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(pal->Invoke(0x68030003, IID_IDispatch, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    // Count has no let
    EXPECT_EQ(call(pal, u"Count", {i4(1)}, nullptr, DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND);
    LPOLESTR names[2] = {const_cast<LPOLESTR>(u"Add"), const_cast<LPOLESTR>(u"Purple")};
    DISPID ids[2];
    EXPECT_EQ(pal->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 0x60030005);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    LPOLESTR unknown = const_cast<LPOLESTR>(u"NoSuchMember");
    EXPECT_EQ(pal->GetIDsOfNames(IID_NULL, &unknown, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    pal->Release();
}

TEST_F(ObjectTest, ErrorsCarryNumberDescriptionAndSource) {
    _cPalette* pal = new_palette();
    log.clear_fails = true;
    EXPECT_EQ(pal->Clear(), static_cast<HRESULT>(0x800A0009));
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    Bstr d, s;
    info->GetDescription(d.out());
    info->GetSource(s.out());
    info->Release();
    EXPECT_EQ(d.str(), u"Subscript out of range");
    EXPECT_EQ(s.str(), u"TAVOLIN2.cPalette");
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);  // one-shot

    EXCEPINFO ei{};
    EXPECT_EQ(call(pal, u"Clear", {}, nullptr, DISPATCH_METHOD, &ei), DISP_E_EXCEPTION);
    EXPECT_EQ(ei.scode, static_cast<SCODE>(0x800A0009));
    EXPECT_EQ(ei.wCode, 0);
    EXPECT_EQ(bstr_view(ei.bstrDescription), u"Subscript out of range");
    EXPECT_EQ(bstr_view(ei.bstrSource), u"TAVOLIN2.cPalette");
    SysFreeString(ei.bstrDescription);
    SysFreeString(ei.bstrSource);

    // a failed call of the object's own member becomes the caller's error, same number
    _cDIBSection* dib = new_dib();
    VARIANT_BOOL ok = 1;
    EXPECT_EQ(dib->Create(1, 1, &ok), static_cast<HRESULT>(0x800A005B));
    EXPECT_EQ(ok, 0);
    log.clear_fails = false;
    EXPECT_EQ(dib->Create(1, 1, &ok), S_OK);
    dib->Release();
    pal->Release();
}

TEST_F(ObjectTest, ByRefLongAndVariantResultsLateBound) {
    _cPalette* pal = new_palette();
    LONG pos = 5;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &pos;
    VARIANT name;
    VariantInit(&name);
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocString(u"f.pal");
    VARIANT r;
    VariantInit(&r);
    EXPECT_EQ(call(pal, u"Load", {name, ref}, &r), S_OK);
    EXPECT_EQ(pos, 15);
    EXPECT_EQ(r.boolVal, -1);
    // an omitted optional parameter without a default gets zero
    EXPECT_EQ(call(pal, u"Save", {name}, &r), S_OK);
    EXPECT_EQ(r.boolVal, 0);
    EXPECT_EQ(log.lines.back(), "Save f.pal 0");
    VariantClear(&name);
    pal->Release();
}

TEST_F(ObjectTest, EventsReachEverySinkBeforeTheMemberGoesOn) {
    _cPalette* pal = new_palette();
    IConnectionPointContainer* cpc = nullptr;
    ASSERT_EQ(pal->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)), S_OK);
    IConnectionPoint* cp = nullptr;
    EXPECT_EQ(cpc->FindConnectionPoint(DIID___GIF, &cp), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(cpc->FindConnectionPoint(DIID___cPalette, &cp), S_OK);
    Sink a(DIID___cPalette), b(DIID___cPalette), wrong(DIID___GIF);
    a.on_event = [&](DISPID id) { log.lines.push_back("a " + std::to_string(id)); };
    b.on_event = [&](DISPID id) { log.lines.push_back("b " + std::to_string(id)); };
    DWORD ca = 0, cb = 0, cw = 7;
    ASSERT_EQ(cp->Advise(&a, &ca), S_OK);
    ASSERT_EQ(cp->Advise(&b, &cb), S_OK);
    EXPECT_NE(ca, cb);
    EXPECT_EQ(cp->Advise(&wrong, &cw), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cw, 0u);

    VARIANT nothing;
    VariantInit(&nothing);
    nothing.vt = VT_DISPATCH;
    EXPECT_EQ(call(pal, u"CreateOptimal", {nothing}), S_OK);
    std::vector<std::string> expected = {"CreateOptimal 236 6",
                                         "a 1",
                                         "b 1",
                                         "after InitProgress",
                                         "a 2",
                                         "b 2",
                                         "a 2",
                                         "b 2",
                                         "a 2",
                                         "b 2",
                                         "a 3",
                                         "b 3",
                                         "done"};
    EXPECT_EQ(log.lines, expected);
    ASSERT_EQ(a.calls.size(), 5u);
    EXPECT_EQ(a.calls[0].second[0].type(), VT_I4);  // Long arguments by value
    EXPECT_EQ(a.calls[2].second[0].to_long(), 2);

    EXPECT_EQ(cp->Unadvise(cb), S_OK);
    EXPECT_EQ(cp->Unadvise(cb), CONNECT_E_NOCONNECTION);
    IEnumConnections* en = nullptr;
    ASSERT_EQ(cp->EnumConnections(&en), S_OK);
    CONNECTDATA cd[2];
    ULONG got = 0;
    EXPECT_EQ(en->Next(2, cd, &got), S_FALSE);
    ASSERT_EQ(got, 1u);
    EXPECT_EQ(cd[0].dwCookie, ca);
    cd[0].pUnk->Release();
    en->Release();
    cp->Unadvise(ca);
    cp->Release();
    cpc->Release();
    EXPECT_EQ(pal->Release(), 0u);
    EXPECT_EQ(a.refs.load(), 1u);  // the point let go of its sink references
}

TEST_F(ObjectTest, AMemberKeepsItsObjectAliveWhenTheClientLetsGo) {
    _cPalette* pal = new_palette();
    IConnectionPointContainer* cpc = nullptr;
    pal->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
    IConnectionPoint* cp = nullptr;
    cpc->FindConnectionPoint(DIID___cPalette, &cp);
    cpc->Release();
    Sink s(DIID___cPalette);
    DWORD cookie = 0;
    cp->Advise(&s, &cookie);
    cp->Release();
    long before = live_objects();
    // the handler drops the client's last reference during the first event
    s.on_event = [&](DISPID id) {
        if (id == 1 && pal) {
            pal->Release();
            pal = nullptr;
        }
    };
    _cPalette* raw = pal;
    _cDIBSection* none = nullptr;
    EXPECT_EQ(raw->CreateOptimal(&none, 236, 6), S_OK);  // would touch freed memory without the member's reference
    EXPECT_EQ(log.lines.back(), "done");
    EXPECT_EQ(live_objects(), before - 1);
}

TEST_F(ObjectTest, OnlyTheCreatingThreadMayCall) {
    _cPalette* pal = new_palette();
    HRESULT early = S_OK, late = S_OK, ids = S_OK;
    ULONG refs = 0;
    std::thread([&] {
        LONG n;
        early = pal->get_Count(&n);
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        late = pal->Invoke(0x68030003, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr);
        LPOLESTR name = const_cast<LPOLESTR>(u"Count");
        DISPID id;
        ids = pal->GetIDsOfNames(IID_NULL, &name, 1, 0, &id);
        refs = pal->AddRef();  // reference counting works from any thread
        pal->Release();
    }).join();
    EXPECT_EQ(early, RPC_E_WRONG_THREAD);
    EXPECT_EQ(late, RPC_E_WRONG_THREAD);
    EXPECT_EQ(ids, RPC_E_WRONG_THREAD);
    EXPECT_EQ(refs, 2u);
    pal->Release();
}

// Regression: a by-ref argument of another type came back converted even when
// the member left it alone (" 0901 " became "901", 901.4 became 901, True 1 became -1).
TEST_F(ObjectTest, AByRefArgumentChangesOnlyWhenTheMemberChangesIt) {
    IDispatch* company = nullptr;
    ASSERT_EQ(T2CoCreateInstance(CLSID_clsQELCompany, IID_IDispatch, reinterpret_cast<void**>(&company)), S_OK);
    BSTR text = SysAllocString(u" 0901 ");
    double number = 901.4;
    VARIANT by_text, by_double;
    VariantInit(&by_text);
    by_text.vt = VT_BYREF | VT_BSTR;
    by_text.pbstrVal = &text;
    VariantInit(&by_double);
    by_double.vt = VT_BYREF | VT_R8;
    by_double.pdblVal = &number;
    for (VARIANT arg : {by_text, by_double}) {
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(call(company, u"GetQELCompanyInformation", {arg}, &result), S_OK);
        EXPECT_EQ(from_bstr(result.bstrVal), u"QEL");
        VariantClear(&result);
    }
    EXPECT_EQ(from_bstr(text), u" 0901 ");
    EXPECT_EQ(number, 901.4);
    SysFreeString(text);
    company->Release();

    // early-bound Booleans: the caller's 1 stays 1 unless the member changes the truth value
    VARIANT_BOOL kept = 1, flipped = 1;
    {
        t2::abi::Ref<bool, VARIANT_BOOL*> a(&kept), b(&flipped);
        bool& read = a;
        EXPECT_TRUE(read);
        static_cast<bool&>(b) = false;
    }
    EXPECT_EQ(kept, 1);
    EXPECT_EQ(flipped, VARIANT_FALSE);
}

TEST_F(ObjectTest, APictureParameterTakesOnlyPictures) {
    _cDIBSection* dib = new_dib();
    _cPalette* not_a_picture = new_palette();
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_DISPATCH;
    arg.pdispVal = not_a_picture;
    UINT arg_err = 9;
    EXPECT_EQ(call(dib, u"CreateFromPicture", {arg}, nullptr, DISPATCH_METHOD, nullptr, &arg_err), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(arg_err, 0u);
    EXPECT_TRUE(log.lines.empty());  // refused before the member ran
    not_a_picture->Release();
    dib->Release();
}

TEST(Conversions, OleColorIsUnsigned) {
    EXPECT_EQ(vartype_of(Type::Color), VT_UI4);
    struct Case {
        VARIANT in;
        HRESULT status;
        uint32_t out;
    };
    VARIANT ui4;
    VariantInit(&ui4);
    ui4.vt = VT_UI4;
    ui4.lVal = static_cast<LONG>(0x8000000Fu);
    VARIANT top;
    VariantInit(&top);
    top.vt = VT_R8;
    top.dblVal = 4294967295.0;
    VARIANT past = top;
    past.dblVal = 4294967296.0;
    const Case cases[] = {{ui4, S_OK, 0x8000000Fu},
                          {top, S_OK, 0xFFFFFFFFu},
                          {past, DISP_E_OVERFLOW, 0},
                          {i4(-1), S_OK, 0xFFFFFFFFu},  // a Long's bits, as the platform copies them
                          {i4(static_cast<LONG>(0x8000000Fu)), S_OK, 0x8000000Fu}};
    for (const Case& c : cases) {
        VARIANT out;
        VariantInit(&out);
        EXPECT_EQ(coerce(c.in, VT_UI4, out), c.status);
        if (c.status == S_OK) {
            EXPECT_EQ(static_cast<uint32_t>(out.lVal), c.out);
        }
    }
}

TEST_F(ObjectTest, UnloadOnlyWithoutObjectsOrLocks) {
    ASSERT_EQ(DllCanUnloadNow(), S_OK);
    {
        // an error-info object and a connection enumerator held by a client keep the library loaded
        _cPalette* pal = new_palette();
        EXPECT_EQ(call(pal, u"Add", {i4(300), i4(0), i4(0)}), DISP_E_OVERFLOW);
        pal->Release();
        EXPECT_EQ(DllCanUnloadNow(), S_OK);  // the thread's slot holds it: the library's own reference
        IErrorInfo* info = nullptr;
        ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
        EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
        info->Release();
        EXPECT_EQ(DllCanUnloadNow(), S_OK);
    }
    _cPalette* pal = new_palette();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    pal->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    IClassFactory* f = nullptr;
    ASSERT_EQ(DllGetClassObject(CLSID_GIF, IID_IClassFactory, reinterpret_cast<void**>(&f)), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);  // a factory is not an object
    f->LockServer(TRUE);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    f->LockServer(FALSE);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    f->Release();
}

}  // namespace

namespace {

// An object of the caller's whose every call fails with one status.
class FailingObject final : public IDispatch {
public:
    explicit FailingObject(HRESULT hr) : hr_(hr) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid != IID_IUnknown && riid != IID_IDispatch) return *ppv = nullptr, E_NOINTERFACE;
        *ppv = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }  // owned by the test
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT n, LCID, DISPID* ids) override {
        for (UINT i = 0; i < n; ++i) ids[i] = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return hr_;
    }

private:
    HRESULT hr_;
};

// A status a caller's object answers comes back as that status, with the platform's text
// for it; a runtime error's status stays that error.
TEST(CallersStatuses, ComeBackWithTheirOwnNumber) {
    struct Case {
        HRESULT answered;
        const char16_t* text;
    } cases[] = {
        {E_FAIL, u"Unspecified error"},
        {E_ACCESSDENIED, u"Access is denied."},
        {RPC_E_WRONG_THREAD, u"The application called an interface that was marshalled for a different thread."},
        {T2_ERROR_STATUS(5), u"Invalid procedure call or argument"},
    };
    _clsBCAT175* bc = nullptr;
    ASSERT_EQ(T2CoCreateInstance(CLSID_clsBCAT175, IID__clsBCAT175, reinterpret_cast<void**>(&bc)), S_OK);
    for (const Case& c : cases) {
        FailingObject box(c.answered);
        IDispatch* p = &box;
        Bstr text(u"A"), caption(u"c");
        BSTR t = text.get(), cap = caption.get();
        VARIANT r;
        VariantInit(&r);
        EXPECT_EQ(bc->Barcode39Draw(&t, &cap, &p, &r), c.answered);
        IErrorInfo* info = nullptr;
        ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
        BSTR d = nullptr;
        info->GetDescription(&d);
        EXPECT_EQ(from_bstr(d), c.text);
        SysFreeString(d);
        info->Release();
    }
    bc->Release();
}

// A library-made error-info object that a client keeps while it sits in the thread's
// slot keeps the library loaded.
TEST(Lifetime, AnErrorInfoTheClientKeepsCountsEvenInTheSlot) {
    ASSERT_EQ(DllCanUnloadNow(), S_OK);
    ICreateErrorInfo* made = nullptr;
    ASSERT_EQ(CreateErrorInfo(&made), S_OK);
    IErrorInfo* e = nullptr;
    ASSERT_EQ(made->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&e)), S_OK);
    made->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    SetErrorInfo(0, e);  // the slot holds it, and so does the client
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    e->Release();  // now only the slot
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    IErrorInfo* back = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &back), S_OK);  // the client's again
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    back->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
