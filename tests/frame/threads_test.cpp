// Many apartments at once: threads that each save GIFs, draw barcodes and
// drive the media channel give the bytes one thread alone gives, and calls
// from the wrong thread into an object's event points are refused while the
// owner raises events.  Built under ThreadSanitizer as well (tests/tsan).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <fstream>
#include <iterator>
#include <thread>

#include "frame/com.hpp"
#include "platform/gdi/gdi.hpp"
#include "platform/mci/mci.hpp"
#include "support/pictures.hpp"
#include "support/recorder.hpp"
#include "support/files.hpp"

using namespace t2;
using namespace t2test;

namespace {

// A drawing target for the barcode members: a memory context over a white
// 24-bit section, answering the two members they use (Cls and hDc).
class DcBox final : public IDispatch {
public:
    DcBox(int w, int h) : w_(w), h_(h) {
        gdi::BITMAPINFO bi{};
        bi.bmiHeader = {40, w, h, 1, 24, gdi::BI_RGB, 0, 0, 0, 0, 0};
        int32_t bits = 0;
        bm_ = gdi::CreateDIBSection(0, &bi, 0, &bits, nullptr, 0);
        dc_ = gdi::CreateCompatibleDC(0);
        old_ = gdi::SelectObject(dc_, bm_);
        clear();
    }
    ~DcBox() {
        gdi::SelectObject(dc_, old_);
        gdi::DeleteDC(dc_);
        gdi::DeleteObject(bm_);
    }
    // The drawn pixels, row by row.
    std::string pixels() const {
        gdi::Surface s;
        gdi::surface_of(bm_, s);
        std::string out;
        for (int y = 0; y < h_; ++y) out.append(reinterpret_cast<const char*>(s.top + y * s.step), w_ * 3);
        return out;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // owned by the test
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) override {
        const String n = lower(String(names[0]));
        if (n == u"cls")
            *id = 1;
        else if (n == u"hdc")
            *id = 2;
        else
            return DISP_E_UNKNOWNNAME;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* r, EXCEPINFO*,
                                     UINT*) override {
        if (id == 1) {
            clear();
            return S_OK;
        }
        if (id != 2) return DISP_E_MEMBERNOTFOUND;
        if (r) {
            VariantInit(r);
            r->vt = VT_I4;
            r->lVal = dc_;
        }
        return S_OK;
    }

private:
    static String lower(String s) {
        for (auto& c : s)
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
        return s;
    }
    void clear() { gdi::PatBlt(dc_, 0, 0, w_, h_, 0x00FF0062 /* WHITENESS */); }
    int w_, h_;
    gdi::HGDI bm_, dc_, old_;
};

// What one piece of work produced: everything must match between runs.
struct Output {
    std::string gif, proxied_gif, bars;
    std::vector<std::string> replies;
    bool operator==(const Output&) const = default;
};

std::string media_name(int k) { return "t2-thread-" + std::to_string(k) + ".mp3"; }

// One thread's work, in the calling thread's own apartment: a GIF saved with a
// GIF object of its own and through a proxy of the main thread's, a Code 128
// barcode drawn, and a media device opened, moved and closed on the channel.
// `progress` outlives the thread: a save of another thread may still hold it.
Output work(int k, DWORD shared_gif, const std::string& folder, Sink& progress) {
    Output out;
    gdi::HGDI bm = make_bitmap(48 + k, 32, [k](int x, int y) {
        return static_cast<uint32_t>((x * 977 + y * 131071 + k * 7919) * (k + 3)) & 0xFFFFFF;
    });
    {
        auto own = create(CLSID_GIF).query<_GIF>(IID__GIF);
        _GIF* proxy = nullptr;
        EXPECT_EQ(T2GetInterfaceFromGlobal(shared_gif, IID__GIF, reinterpret_cast<void**>(&proxy)), S_OK);
        // progress events reach a sink of this thread, from its own object and through the proxy
        for (_GIF* g : {own.get(), proxy}) {
            IConnectionPointContainer* cpc = nullptr;
            g->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc));
            IConnectionPoint* cp = nullptr;
            EXPECT_EQ(cpc->FindConnectionPoint(DIID___GIF, &cp), S_OK);
            DWORD cookie = 0;
            EXPECT_EQ(cp->Advise(&progress, &cookie), S_OK);
            HandlePicture pic(bm);
            const std::string path = folder + "/" + std::to_string(k) + (g == proxy ? "-proxied.gif" : ".gif");
            Bstr name(from_utf8(path));
            LONG hdc = 0;
            VARIANT_BOOL use = VARIANT_FALSE, ok = VARIANT_FALSE;
            EXPECT_EQ(g->SaveGIF(&pic, name.get(), &hdc, &use, 0, &ok), S_OK);
            EXPECT_TRUE(ok);
            EXPECT_EQ(cp->Unadvise(cookie), S_OK);
            cp->Release();
            cpc->Release();
            (g == proxy ? out.proxied_gif : out.gif) = t2test::read_text(path);
            unlink(path.c_str());
        }
        EXPECT_FALSE(progress.calls.empty());
        proxy->Release();
    }
    gdi::DeleteObject(bm);

    {
        auto bc = create(CLSID_clsBCAT175).query<_clsBCAT175>(IID__clsBCAT175);
        DcBox box(260, 60);
        BSTR text = SysAllocStringUTF8(("T2-" + std::to_string(k * 37)).c_str());
        BSTR caption = SysAllocStringUTF8("thread");
        BSTR face = SysAllocStringUTF8("Courier New");
        IDispatch* p = &box;
        LONG back = 0xFFFFFF, fore = 0x000000;
        OLE_COLOR cc = 0x202020;
        SHORT align = 1, disp = 1, style = 2, size = 10, bar = 30, left = 10, top = 5;
        VARIANT r;
        VariantInit(&r);
        EXPECT_EQ(bc->Barcode128Draw(&text, &p, &caption, &back, &fore, &cc, &align, &disp, &style, &size, &face, &bar,
                                     &left, &top, &r),
                  S_OK);
        VariantClear(&r);
        out.bars = box.pixels();
        for (BSTR b : {text, caption, face}) SysFreeString(b);
    }

    // the channel is one table for the process; each thread has its own alias
    // and leaves the simulated clock alone, so every reply is fixed
    const std::string alias = "t" + std::to_string(k);
    const std::string commands[] = {
        "open \"" + media_name(k) + "\" alias " + alias,
        "set " + alias + " time format milliseconds",
        "status " + alias + " length",
        "seek " + alias + " to " + std::to_string(1000 + k * 10),
        "status " + alias + " position",
        "play " + alias,
        "status " + alias + " mode",
        "pause " + alias,
        "status " + alias + " mode",
        "set " + alias + " time format frames",
        "status " + alias + " position",
        "stop " + alias,
        "close " + alias,
        "status " + alias + " mode",
    };
    for (const std::string& c : commands) {
        char reply[64] = "";
        const uint32_t r = mci::mciSendStringA(c.c_str(), reply, sizeof reply, 0);
        // open answers the device's number, which counts the devices of every thread
        if (c.starts_with("open")) reply[0] = 0;
        out.replies.push_back(c + " -> " + std::to_string(r) + " " + reply);
    }
    return out;
}

constexpr int kThreads = 16;

TEST(Threads, SixteenApartmentsAtOnceGiveTheBytesOfOne) {
    mci::use_simulation(true);
    mci::close_all();
    for (int k = 0; k < kThreads; ++k) {
        mci::MediaInfo m;
        m.length_ms = 60000 + 1000 * k;
        mci::simulate_media(media_name(k), m);
    }
    const std::string folder = testing::TempDir() + "/t2-threads-" + std::to_string(getpid());
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    auto shared = create(CLSID_GIF);
    DWORD cookie = 0;
    ASSERT_EQ(T2RegisterInterfaceInGlobal(shared.get(), IID__GIF, &cookie), S_OK);

    // this thread owns the shared GIF object and serves the proxied calls
    auto serve_while = [](const std::function<void()>& run) {
        volatile LONG stop = 0;
        std::thread t([&] {
            run();
            __atomic_store_n(const_cast<LONG*>(&stop), 1, __ATOMIC_RELEASE);
        });
        T2RunMessageLoop(&stop);
        t.join();
    };
    std::deque<Sink> sinks;
    for (int k = 0; k < 2 * kThreads; ++k) sinks.emplace_back(DIID___GIF);
    std::vector<Output> alone(kThreads), together(kThreads);
    serve_while([&] {
        for (int k = 0; k < kThreads; ++k) alone[k] = work(k, cookie, folder, sinks[k]);
    });
    serve_while([&] {
        std::vector<std::thread> workers;
        for (int k = 0; k < kThreads; ++k)
            workers.emplace_back([&, k] { together[k] = work(k, cookie, folder, sinks[kThreads + k]); });
        for (auto& w : workers) w.join();
    });
    for (int k = 0; k < kThreads; ++k) {
        EXPECT_FALSE(alone[k].gif.empty());
        EXPECT_EQ(alone[k].gif, alone[k].proxied_gif) << k;
        EXPECT_EQ(together[k].gif, alone[k].gif) << k;
        EXPECT_EQ(together[k].proxied_gif, alone[k].gif) << k;
        EXPECT_EQ(together[k].bars, alone[k].bars) << k;
        EXPECT_EQ(together[k].replies, alone[k].replies) << k;
    }
    EXPECT_NE(alone[0].bars, alone[1].bars);  // the texts differ, and so do the bars
    EXPECT_EQ(alone[3].replies[2], "status t3 length -> 0 63000");
    EXPECT_EQ(T2RevokeInterfaceFromGlobal(cookie), S_OK);
    rmdir(folder.c_str());
    mci::close_all();
}

// Advise, Unadvise, EnumConnections and FindConnectionPoint edit or read the
// owner's sink list: from another thread they are refused, while the owner
// keeps raising events to its own sinks.
TEST(Threads, EventPointsRefuseOtherThreadsWhileTheOwnerRaises) {
    auto pal = create(CLSID_cPalette).query<_cPalette>(IID__cPalette);
    IConnectionPointContainer* cpc = nullptr;
    ASSERT_EQ(pal->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&cpc)), S_OK);
    IConnectionPoint* cp = nullptr;
    ASSERT_EQ(cpc->FindConnectionPoint(DIID___cPalette, &cp), S_OK);
    Sink mine(DIID___cPalette);
    DWORD cookie = 0;
    ASSERT_EQ(cp->Advise(&mine, &cookie), S_OK);

    std::atomic<bool> done{false};
    std::atomic<int> calls{0}, refused{0};
    std::thread other([&] {
        Sink theirs(DIID___cPalette);
        while (!done.load()) {
            HRESULT got[5];
            DWORD c = 0;
            got[0] = cp->Advise(&theirs, &c);
            got[1] = cp->Unadvise(cookie);
            IEnumConnections* e = nullptr;
            got[2] = cp->EnumConnections(&e);
            IConnectionPoint* found = nullptr;
            got[3] = cpc->FindConnectionPoint(DIID___cPalette, &found);
            IEnumConnectionPoints* points = nullptr;
            got[4] = cpc->EnumConnectionPoints(&points);
            for (HRESULT hr : got) {
                ++calls;
                if (hr == RPC_E_WRONG_THREAD) ++refused;
            }
        }
        EXPECT_TRUE(theirs.calls.empty());
    });
    // CreateOptimal raises its progress events to the sinks of this thread
    auto section = make_section(24, 24, [](int x, int y) { return static_cast<uint32_t>(x * 40503 + y * 9973); });
    for (int round = 0; round < 30; ++round) {
        _cDIBSection* d = section.get();
        ASSERT_EQ(pal->CreateOptimal(&d, 64, 4), S_OK);
    }
    while (calls.load() < 500) std::this_thread::yield();
    done = true;
    other.join();
    EXPECT_EQ(refused.load(), calls.load());
    EXPECT_FALSE(mine.calls.empty());
    EXPECT_EQ(cp->Unadvise(cookie), S_OK);
    cp->Release();
    cpc->Release();
}

// Four threads make 20,000 calls each into an object of this thread, early-
// and late-bound, while this thread keeps using it: every one is refused and
// the object's own thread sees its state unchanged.
TEST(Threads, EightyThousandWrongThreadCallsAreAllRefused) {
    auto pal = create(CLSID_cPalette).query<_cPalette>(IID__cPalette);
    ASSERT_EQ(pal->CreateWebSafe(), S_OK);
    std::atomic<int> refused{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> others;
    for (int t = 0; t < 4; ++t)
        others.emplace_back([&, t] {
            while (!go.load()) std::this_thread::yield();
            DISPPARAMS none{nullptr, nullptr, 0, 0};
            LPOLESTR name = const_cast<LPOLESTR>(u"Count");
            for (int i = 0; i < 20000; ++i) {
                LONG n = 0;
                DISPID id = 0;
                HRESULT hr = (i + t) % 3 == 0   ? pal->get_Count(&n)
                             : (i + t) % 3 == 1 ? pal->Invoke(0x68030003, IID_NULL, 0, DISPATCH_PROPERTYGET, &none,
                                                              nullptr, nullptr, nullptr)
                                                : pal->GetIDsOfNames(IID_NULL, &name, 1, 0, &id);
                if (hr == RPC_E_WRONG_THREAD) ++refused;
            }
        });
    go = true;
    LONG count = 0;
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(pal->get_Count(&count), S_OK);
        ASSERT_EQ(count, 256);
    }
    for (auto& t : others) t.join();
    EXPECT_EQ(refused.load(), 80000);
}

}  // namespace
