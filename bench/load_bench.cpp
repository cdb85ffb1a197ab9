// load_bench: the library under load, in one run.
//   1. 10^6 create/release cycles of a cPalette through its class factory:
//      the rate, the objects alive after, and the resident memory after the
//      first 10^5 and after all of them (no growth expected); then cycles
//      through T2CoCreateInstance.
//   2. 80,000 calls from a thread that is not the object's: how many were
//      refused (all expected) and their rate.
//   3. 20 rounds of 8 threads registering at once into one registration file
//      (a private folder): the file reads back whole after every round.
//   4. Calls through a cross-apartment proxy against direct calls: a worker
//      calls get_Count (early-bound) and Invoke (late-bound) of the main
//      thread's cPalette through a proxy while the main thread pumps, then the
//      main thread makes the same calls directly.
// Rates are in wall time and depend on the machine and its other load: the
// core count and load average are printed beside them.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "frame/com.hpp"
#include "platform/registry.hpp"

using namespace t2;
using Clock = std::chrono::steady_clock;

namespace {

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

long resident_kb() {
    std::ifstream f("/proc/self/statm");
    long pages = 0, resident = 0;
    f >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

_cPalette* new_palette(IClassFactory* f) {
    _cPalette* p = nullptr;
    f->CreateInstance(nullptr, IID__cPalette, reinterpret_cast<void**>(&p));
    return p;
}

void create_release() {
    IClassFactory* f = nullptr;
    DllGetClassObject(CLSID_cPalette, IID_IClassFactory, reinterpret_cast<void**>(&f));
    const long before = live_objects();
    constexpr int kCycles = 1000000, kWarm = 100000;
    long warm_kb = 0;
    const auto t = Clock::now();
    for (int i = 0; i < kCycles; ++i) {
        if (i == kWarm) warm_kb = resident_kb();
        new_palette(f)->Release();
    }
    const double s = seconds_since(t);
    std::printf(
        "create/release: %d cycles in %.2f s = %.0f a second; objects alive after: %ld; resident %ld KB after "
        "%d, %ld KB after %d\n",
        kCycles, s, kCycles / s, live_objects() - before, warm_kb, kWarm, resident_kb(), kCycles);
    f->Release();
    // the same through T2CoCreateInstance, the ordinary client's way (class lookup each time)
    constexpr int kByClsid = 200000;
    const auto t2 = Clock::now();
    for (int i = 0; i < kByClsid; ++i) {
        _cPalette* p = nullptr;
        T2CoCreateInstance(CLSID_cPalette, IID__cPalette, reinterpret_cast<void**>(&p));
        p->Release();
    }
    const double s2 = seconds_since(t2);
    std::printf("T2CoCreateInstance/release: %d cycles, %.0f a second; objects alive after: %ld\n", kByClsid,
                kByClsid / s2, live_objects() - before);
}

void wrong_thread() {
    IClassFactory* f = nullptr;
    DllGetClassObject(CLSID_cPalette, IID_IClassFactory, reinterpret_cast<void**>(&f));
    _cPalette* pal = new_palette(f);
    constexpr int kCalls = 80000;
    int refused = 0;
    double s = 0;
    std::thread([&] {
        const auto t = Clock::now();
        for (int i = 0; i < kCalls; ++i) {
            LONG n = 0;
            if (pal->get_Count(&n) == RPC_E_WRONG_THREAD) ++refused;
        }
        s = seconds_since(t);
    }).join();
    std::printf("wrong thread: %d of %d calls refused, %.0f a second\n", refused, kCalls, kCalls / s);
    pal->Release();
    f->Release();
}

void concurrent_register() {
    char tmpl[] = "/tmp/t2-load-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
    int valid = 0;
    std::atomic<int> failed{0};
    size_t keys_each = 0;
    for (int round = 0; round < 20; ++round) {
        std::vector<std::thread> ts;
        for (int k = 0; k < 8; ++k)
            ts.emplace_back([&failed] {
                if (DllRegisterServer() != S_OK) ++failed;
            });
        for (auto& t : ts) t.join();
        std::vector<platform::RegistryKey> keys;
        std::string error;
        if (platform::registry_read(keys, &error) && (keys_each == 0 || keys.size() == keys_each)) ++valid;
        keys_each = keys.size();
    }
    std::printf(
        "concurrent register: 20 rounds of 8 threads, %d rounds left a valid file of %zu keys, %d calls failed\n",
        valid, keys_each, failed.load());
    std::system(("rm -rf '" + dir + "'").c_str());
}

void proxied_calls() {
    IClassFactory* f = nullptr;
    DllGetClassObject(CLSID_cPalette, IID_IClassFactory, reinterpret_cast<void**>(&f));
    _cPalette* pal = new_palette(f);
    DWORD cookie = 0;
    T2RegisterInterfaceInGlobal(pal, IID__cPalette, &cookie);
    DISPID count_id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(u"Count");
    pal->GetIDsOfNames(IID_NULL, &name, 1, 0, &count_id);
    auto late = [count_id](_cPalette* p) {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        VARIANT r;
        VariantInit(&r);
        p->Invoke(count_id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr);
    };
    constexpr int kProxied = 100000, kDirect = 2000000;
    double early_s = 0, late_s = 0;
    volatile LONG stop = 0;
    std::thread worker([&] {
        _cPalette* proxy = nullptr;
        T2GetInterfaceFromGlobal(cookie, IID__cPalette, reinterpret_cast<void**>(&proxy));
        auto t = Clock::now();
        for (int i = 0; i < kProxied; ++i) {
            LONG n = 0;
            proxy->get_Count(&n);
        }
        early_s = seconds_since(t);
        t = Clock::now();
        for (int i = 0; i < kProxied; ++i) late(proxy);
        late_s = seconds_since(t);
        proxy->Release();
        __atomic_store_n(const_cast<LONG*>(&stop), 1, __ATOMIC_RELEASE);
    });
    T2RunMessageLoop(&stop);
    worker.join();
    auto t = Clock::now();
    for (int i = 0; i < kDirect; ++i) {
        LONG n = 0;
        pal->get_Count(&n);
    }
    const double direct_early = seconds_since(t);
    t = Clock::now();
    for (int i = 0; i < kDirect; ++i) late(pal);
    const double direct_late = seconds_since(t);
    std::printf("proxied get_Count: %.0f calls a second; direct: %.0f a second (%.0fx)\n", kProxied / early_s,
                kDirect / direct_early, (kDirect / direct_early) / (kProxied / early_s));
    std::printf("proxied Invoke(Count): %.0f calls a second; direct: %.0f a second (%.0fx)\n", kProxied / late_s,
                kDirect / direct_late, (kDirect / direct_late) / (kProxied / late_s));
    T2RevokeInterfaceFromGlobal(cookie);
    pal->Release();
    f->Release();
}

}  // namespace

int main() {
    double load[3] = {0, 0, 0};
    if (getloadavg(load, 3) < 0) load[0] = -1;
    std::printf("load_bench: %u cores, load average %.2f\n", std::thread::hardware_concurrency(), load[0]);
    create_release();
    wrong_thread();
    concurrent_register();
    proxied_calls();
    return 0;
}
