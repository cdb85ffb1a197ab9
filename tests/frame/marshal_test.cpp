// Calls across apartments: a worker thread uses the main thread's objects
// through proxies while the main thread turns its message loop.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>

#include "frame/com.hpp"
#include "support/pictures.hpp"
#include "support/pumping.hpp"
#include "support/recorder.hpp"
#include "support/files.hpp"

using namespace t2;
using namespace t2test;

namespace {

template <class I>
I* hand_over(IUnknown* obj, const IID& iid) {
    IUnknown* stream = nullptr;
    EXPECT_EQ(T2MarshalInterThreadInterfaceInStream(iid, obj, &stream), S_OK);
    I* out = nullptr;
    std::thread([&] {
        EXPECT_EQ(T2GetInterfaceAndReleaseStream(stream, iid, reinterpret_cast<void**>(&out)), S_OK);
    }).join();
    return out;
}

TEST(Apartments, AWorkerSavesGifsThroughAProxyByteForByte) {
    auto gif = create(CLSID_GIF);
    gdi::HGDI bm =
        make_bitmap(64, 40, [](int x, int y) { return static_cast<uint32_t>(x * 977 + y * 131071) & 0xFFFFFF; });
    const std::string direct = testing::TempDir() + "/t2-direct.gif", proxied = testing::TempDir() + "/t2-proxied.gif";
    {
        HandlePicture pic(bm);
        _GIF* g = nullptr;
        gif->QueryInterface(IID__GIF, reinterpret_cast<void**>(&g));
        Bstr name(from_utf8(direct));
        LONG hdc = 0;
        VARIANT_BOOL use = VARIANT_FALSE, ok = VARIANT_FALSE;
        ASSERT_EQ(g->SaveGIF(&pic, name.get(), &hdc, &use, 0, &ok), S_OK);
        g->Release();
    }
    IUnknown* stream = nullptr;
    ASSERT_EQ(T2MarshalInterThreadInterfaceInStream(IID__GIF, gif.get(), &stream), S_OK);
    Sink progress(DIID___GIF);
    std::thread::id sink_thread, worker_thread;
    progress.on_event = [&](DISPID) { sink_thread = std::this_thread::get_id(); };
    HRESULT saved = E_FAIL, direct_call = S_OK;
    on_worker_while_pumping([&] {
        worker_thread = std::this_thread::get_id();
        _GIF* g = nullptr;
        ASSERT_EQ(T2GetInterfaceAndReleaseStream(stream, IID__GIF, reinterpret_cast<void**>(&g)), S_OK);
        // events through the proxy's connection point reach this thread's sink
        IConnectionPointContainer* cpc = nullptr;
        ASSERT_EQ(g->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)), S_OK);
        IConnectionPoint* cp = nullptr;
        ASSERT_EQ(cpc->FindConnectionPoint(DIID___GIF, &cp), S_OK);
        DWORD cookie = 0;
        ASSERT_EQ(cp->Advise(&progress, &cookie), S_OK);
        HandlePicture pic(bm);  // the worker's own picture, called back from the owner
        Bstr name(from_utf8(proxied));
        LONG hdc = 0;
        VARIANT_BOOL use = VARIANT_FALSE, ok = VARIANT_FALSE;
        saved = g->SaveGIF(&pic, name.get(), &hdc, &use, 0, &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(cp->Unadvise(cookie), S_OK);
        cp->Release();
        cpc->Release();
        g->Release();
        // the object itself, called directly from here, refuses
        IConnectionPointContainer* direct = nullptr;
        gif->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&direct));
        IConnectionPoint* point = nullptr;
        direct_call = direct->FindConnectionPoint(DIID___GIF, &point);
        direct->Release();
    });
    EXPECT_EQ(saved, S_OK);
    EXPECT_EQ(t2test::read_text(proxied), t2test::read_text(direct));
    EXPECT_FALSE(progress.calls.empty());
    EXPECT_EQ(sink_thread, worker_thread);
    EXPECT_EQ(direct_call, RPC_E_WRONG_THREAD);
    gdi::DeleteObject(bm);
}

TEST(Apartments, ResultsByRefValuesAndErrorsCross) {
    auto dib = create(CLSID_cDIBSection);
    auto pal = create(CLSID_cPalette);
    DWORD dib_cookie = 0, pal_cookie = 0;
    ASSERT_EQ(T2RegisterInterfaceInGlobal(dib.get(), IID__cDIBSection, &dib_cookie), S_OK);
    ASSERT_EQ(T2RegisterInterfaceInGlobal(pal.get(), IID_IDispatch, &pal_cookie), S_OK);
    on_worker_while_pumping([&] {
        _cDIBSection* d = nullptr;
        ASSERT_EQ(T2GetInterfaceFromGlobal(dib_cookie, IID__cDIBSection, reinterpret_cast<void**>(&d)), S_OK);
        VARIANT_BOOL made = VARIANT_FALSE;
        EXPECT_EQ(d->Create(8, 4, &made), S_OK);
        EXPECT_TRUE(made);
        LONG w = 0;
        EXPECT_EQ(d->get_Width(&w), S_OK);
        EXPECT_EQ(w, 8);
        _cDIBSection* bigger = nullptr;
        ASSERT_EQ(d->Resample(8, 16, &bigger), S_OK);  // an object that comes back is a proxy too
        ASSERT_NE(bigger, nullptr);
        EXPECT_EQ(bigger->get_Width(&w), S_OK);
        EXPECT_EQ(w, 16);
        bigger->Release();
        d->Release();

        IDispatch* p = nullptr;
        ASSERT_EQ(T2GetInterfaceFromGlobal(pal_cookie, IID_IDispatch, reinterpret_cast<void**>(&p)), S_OK);
        DISPID add = 0, load = 0;
        LPOLESTR n = const_cast<LPOLESTR>(u"Add");
        ASSERT_EQ(p->GetIDsOfNames(IID_NULL, &n, 1, 0, &add), S_OK);
        VARIANT args[3];
        for (VARIANT& a : args) {
            VariantInit(&a);
            a.vt = VT_I4;
            a.lVal = 300;
        }
        DISPPARAMS dp{args, nullptr, 3, 0};
        UINT arg_err = 0;
        EXPECT_EQ(p->Invoke(add, IID_NULL, 0, DISPATCH_METHOD, &dp, nullptr, nullptr, &arg_err), DISP_E_OVERFLOW);
        IErrorInfo* info = nullptr;
        ASSERT_EQ(GetErrorInfo(0, &info), S_OK);  // the owner's error info came along
        BSTR text = nullptr;
        info->GetDescription(&text);
        EXPECT_NE(from_bstr(text).find(u"cPalette.Add"), String::npos);
        SysFreeString(text);
        info->Release();
        // a by-ref value written by the member on the owner's thread
        n = const_cast<LPOLESTR>(u"Load");
        ASSERT_EQ(p->GetIDsOfNames(IID_NULL, &n, 1, 0, &load), S_OK);
        LONG position = 7;
        VARIANT largs[2];
        VariantInit(&largs[0]);
        largs[0].vt = VT_BYREF | VT_I4;
        largs[0].plVal = &position;
        VariantInit(&largs[1]);
        largs[1].vt = VT_BSTR;
        largs[1].bstrVal = SysAllocString(u"/nonexistent/t2.pal");
        DISPPARAMS ldp{largs, nullptr, 2, 0};
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(p->Invoke(load, IID_NULL, 0, DISPATCH_METHOD, &ldp, &result, nullptr, nullptr), S_OK);
        EXPECT_EQ(result.vt, VT_BOOL);
        EXPECT_EQ(result.boolVal, VARIANT_FALSE);
        VariantClear(&largs[1]);
        p->Release();
    });
    EXPECT_EQ(T2RevokeInterfaceFromGlobal(dib_cookie), S_OK);
    EXPECT_EQ(T2RevokeInterfaceFromGlobal(pal_cookie), S_OK);
    EXPECT_EQ(T2RevokeInterfaceFromGlobal(pal_cookie), E_INVALIDARG);
}

TEST(Apartments, ACallToAnEndedThreadIsDisconnected) {
    DWORD cookie = 0;
    std::thread([&] {
        auto pal = create(CLSID_cPalette);
        ASSERT_EQ(T2RegisterInterfaceInGlobal(pal.get(), IID__cPalette, &cookie), S_OK);
    }).join();
    _cPalette* p = nullptr;
    ASSERT_EQ(T2GetInterfaceFromGlobal(cookie, IID__cPalette, reinterpret_cast<void**>(&p)), S_OK);
    LONG count = -1;
    EXPECT_EQ(p->get_Count(&count), RPC_E_DISCONNECTED);
    p->Release();
    EXPECT_EQ(T2RevokeInterfaceFromGlobal(cookie), S_OK);
}

TEST(Apartments, AtHomeTheObjectItselfComesBack) {
    auto pal = create(CLSID_cPalette);
    _cPalette* same = hand_over<_cPalette>(pal.get(), IID__cPalette);  // got on another thread: a proxy
    ASSERT_NE(same, nullptr);
    EXPECT_NE(static_cast<IUnknown*>(same), static_cast<IUnknown*>(pal.get()));
    same->Release();
    IUnknown* stream = nullptr;
    ASSERT_EQ(T2MarshalInterThreadInterfaceInStream(IID__cPalette, pal.get(), &stream), S_OK);
    _cPalette* here = nullptr;
    ASSERT_EQ(T2GetInterfaceAndReleaseStream(stream, IID__cPalette, reinterpret_cast<void**>(&here)), S_OK);
    IDispatch* as_dispatch = nullptr;
    here->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&as_dispatch));
    EXPECT_EQ(as_dispatch, pal.get());
    as_dispatch->Release();
    here->Release();
}

}  // namespace

namespace {

IUnknown* identity(IUnknown* p) {
    IUnknown* u = nullptr;
    p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&u));
    if (u) u->Release();  // compared only, while p holds the object
    return u;
}

// A proxy keeps the object rules: one identity per apartment, shared by the
// connection-point container; the interfaces the object has; the enumerations.
TEST(Apartments, AProxyKeepsTheObjectRules) {
    auto gif = create(CLSID_GIF);
    IUnknown* first = nullptr;
    IUnknown* second = nullptr;
    ASSERT_EQ(T2MarshalInterThreadInterfaceInStream(IID__GIF, gif.get(), &first), S_OK);
    ASSERT_EQ(T2MarshalInterThreadInterfaceInStream(IID_IDispatch, gif.get(), &second), S_OK);
    Sink sink(DIID___GIF);
    on_worker_while_pumping([&] {
        _GIF* a = nullptr;
        IDispatch* b = nullptr;
        ASSERT_EQ(T2GetInterfaceAndReleaseStream(first, IID__GIF, reinterpret_cast<void**>(&a)), S_OK);
        ASSERT_EQ(T2GetInterfaceAndReleaseStream(second, IID_IDispatch, reinterpret_cast<void**>(&b)), S_OK);
        EXPECT_EQ(identity(a), identity(b));  // one object, one IUnknown
        IConnectionPointContainer* cpc = nullptr;
        ASSERT_EQ(a->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)), S_OK);
        EXPECT_EQ(identity(cpc), identity(a));
        _GIF* back = nullptr;
        EXPECT_EQ(cpc->QueryInterface(IID__GIF, reinterpret_cast<void**>(&back)), S_OK);
        if (back) back->Release();
        ISupportErrorInfo* sei = nullptr;
        ASSERT_EQ(a->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&sei)), S_OK);
        EXPECT_EQ(sei->InterfaceSupportsErrorInfo(IID__GIF), S_OK);
        sei->Release();
        // the points: enumerated, found, and each knows its container
        IEnumConnectionPoints* points = nullptr;
        ASSERT_EQ(cpc->EnumConnectionPoints(&points), S_OK);
        IConnectionPoint* listed = nullptr;
        ULONG n = 0;
        ASSERT_EQ(points->Next(1, &listed, &n), S_OK);
        EXPECT_EQ(points->Next(1, &listed, &n), S_FALSE);
        points->Release();
        IID iid{};
        EXPECT_EQ(listed->GetConnectionInterface(&iid), S_OK);
        EXPECT_TRUE(iid == DIID___GIF);
        IConnectionPoint* found = nullptr;
        ASSERT_EQ(cpc->FindConnectionPoint(DIID___GIF, &found), S_OK);
        EXPECT_EQ(identity(found), identity(listed));
        IConnectionPointContainer* owner = nullptr;
        ASSERT_EQ(found->GetConnectionPointContainer(&owner), S_OK);
        EXPECT_EQ(identity(owner), identity(a));
        owner->Release();
        // the connections list this thread's own sink, as itself
        DWORD cookie = 0;
        ASSERT_EQ(found->Advise(&sink, &cookie), S_OK);
        IEnumConnections* conns = nullptr;
        ASSERT_EQ(found->EnumConnections(&conns), S_OK);
        CONNECTDATA cd{};
        ASSERT_EQ(conns->Next(1, &cd, &n), S_OK);
        EXPECT_EQ(cd.dwCookie, cookie);
        EXPECT_EQ(identity(cd.pUnk), identity(&sink));
        cd.pUnk->Release();
        conns->Release();
        EXPECT_EQ(found->Unadvise(cookie), S_OK);
        found->Release();
        listed->Release();
        cpc->Release();
        a->Release();
        b->Release();
    });
}

// A proxy handed on by a thread that has ended still reaches the owner.
TEST(Apartments, AProxyOutlivesTheThreadThatHandedItOn) {
    auto pal = create(CLSID_cPalette);
    IUnknown* stream = nullptr;
    ASSERT_EQ(T2MarshalInterThreadInterfaceInStream(IID__cPalette, pal.get(), &stream), S_OK);
    HRESULT hr = E_FAIL;
    LONG count = -1;
    on_worker_while_pumping([&] {
        IUnknown* onward = nullptr;
        std::thread([&] {
            _cPalette* p = nullptr;
            ASSERT_EQ(T2GetInterfaceAndReleaseStream(stream, IID__cPalette, reinterpret_cast<void**>(&p)), S_OK);
            ASSERT_EQ(T2MarshalInterThreadInterfaceInStream(IID__cPalette, p, &onward), S_OK);
            p->Release();
        }).join();  // that thread is gone
        std::thread([&] {
            _cPalette* p = nullptr;
            ASSERT_EQ(T2GetInterfaceAndReleaseStream(onward, IID__cPalette, reinterpret_cast<void**>(&p)), S_OK);
            hr = p->get_Count(&count);
            p->Release();
        }).join();
    });
    EXPECT_EQ(hr, S_OK);
    EXPECT_GE(count, 0);
}

// The owner's own object handed back to it through a worker's proxy is itself again.
TEST(Apartments, AnObjectThatComesHomeIsItself) {
    auto pal = create(CLSID_cPalette);
    auto dib = create(CLSID_cDIBSection);
    _cDIBSection* d = nullptr;
    dib->QueryInterface(IID__cDIBSection, reinterpret_cast<void**>(&d));
    VARIANT_BOOL made = VARIANT_FALSE;
    d->Create(16, 16, &made);
    d->RandomiseBits(VARIANT_FALSE);
    IUnknown* ps = nullptr;
    IUnknown* ds = nullptr;
    ASSERT_EQ(T2MarshalInterThreadInterfaceInStream(IID__cPalette, pal.get(), &ps), S_OK);
    ASSERT_EQ(T2MarshalInterThreadInterfaceInStream(IID__cDIBSection, d, &ds), S_OK);
    HRESULT hr = E_FAIL;
    on_worker_while_pumping([&] {
        _cPalette* p = nullptr;
        _cDIBSection* owners = nullptr;
        ASSERT_EQ(T2GetInterfaceAndReleaseStream(ps, IID__cPalette, reinterpret_cast<void**>(&p)), S_OK);
        ASSERT_EQ(T2GetInterfaceAndReleaseStream(ds, IID__cDIBSection, reinterpret_cast<void**>(&owners)), S_OK);
        _cDIBSection* arg = owners;
        hr = p->CreateOptimal(&arg, 236, 6);  // reaches the palette as the section itself, not a proxy of a proxy
        EXPECT_EQ(arg, owners);
        owners->Release();
        p->Release();
    });
    EXPECT_EQ(hr, S_OK);
    d->Release();
}

}  // namespace
