// Fuzz target: late-bound Invoke on every class with arbitrary member ids,
// flags, argument counts, named arguments and tagged values (numbers, texts,
// Booleans, Null, Empty, the omitted marker, objects, references).  Members
// write their files inside a private folder with a size cap; numbers are
// mostly small (sizes and offsets stay within reach) with the extremes mixed
// in; an object argument is another object, never the one called (a cycle
// would keep both alive).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "frame/com.hpp"
#include "fuzz_dir.hpp"
#include "platform/mci/mci.hpp"
#include "platform/pump.hpp"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (!n) return 0;
        --n;
        return *p++;
    }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
        return v;
    }
    // a Long: mostly small, sometimes one of the edges conversions and sizes care about
    int32_t number() {
        static constexpr int32_t kEdges[] = {INT32_MIN, INT32_MAX, -32769, -32768, 32767, 32768, 65535, 65536, 4097,
                                             4098,      -1,        0,      1,      255,   256,   236,   6};
        uint8_t k = byte();
        if (k < 200) return static_cast<int32_t>(u32() % 601) - 300;
        return kEdges[k % (sizeof kEdges / sizeof kEdges[0])];
    }
    double dbl() {
        uint64_t bits = (static_cast<uint64_t>(u32()) << 32) | u32();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    std::u16string text() {
        size_t len = byte() % 24;
        std::u16string s;
        for (size_t i = 0; i < len; ++i) s.push_back(static_cast<char16_t>(byte() | (i % 5 == 4 ? byte() << 8 : 0)));
        return s;
    }
};

int quiet_box(void*, const char*, const char*, int) { return 1; }

// A clock that moves half a second at every reading: members that wait for
// the clock (timeOut) end after a few readings instead of real seconds.
double fast_clock() {
    static double now = 3600;
    now += 0.5;
    if (now >= 86400) now -= 86400;
    return now;
}

// timeOut waits as long as it is told: its numbers are kept to a few seconds
// of the fast clock (a duration of 1e300 would be a wait without end, not a fault).
void keep_waits_short(VARIANT& v) {
    auto small = [](double d) { return std::isfinite(d) ? std::fmod(d, 3.0) : 0.0; };
    switch (v.vt) {
        case VT_I2: v.iVal %= 3; break;
        case VT_I4: v.lVal %= 3; break;
        case VT_UI1: v.bVal %= 3; break;
        case VT_R8: v.dblVal = small(v.dblVal); break;
        case VT_BYREF | VT_I4: *v.plVal %= 3; break;
        case VT_BYREF | VT_I2: *v.piVal %= 3; break;
        case VT_BYREF | VT_VARIANT: keep_waits_short(*v.pvarVal); break;
        case VT_BSTR:
            SysFreeString(v.bstrVal);
            v.bstrVal = SysAllocString(u"1");
            break;
        case VT_BYREF | VT_BSTR:
            SysFreeString(*v.pbstrVal);
            *v.pbstrVal = SysAllocString(u"1");
            break;
        default: break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        T2SetMessageBoxHandler(&quiet_box, nullptr);
        t2::platform::set_timer_source(&fast_clock);
        t2::mci::use_simulation(true);
        fuzz::private_dir();
        return true;
    }();
    (void)ready;
    Reader r{data, size};
    size_t count = 0;
    const t2::ClassInfo* const* classes = t2::all_classes(count);
    const t2::ClassInfo* cls = classes[r.byte() % count];
    IUnknown* unk = cls->create();
    IDispatch* d = static_cast<IDispatch*>(static_cast<void*>(unk));
    unk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d));
    unk->Release();

    DISPID id;
    uint8_t pick = r.byte();
    if (cls->table->count && pick < 224)
        id = cls->table->members[pick % cls->table->count].id;
    else
        id = static_cast<DISPID>(r.u32());
    WORD flags = static_cast<WORD>(r.byte() & 0x0F);

    // storage the by-ref arguments point into; sized up front so it never moves
    std::vector<VARIANT> targets(16);
    std::vector<LONG> longs(16);
    std::vector<SHORT> shorts(16);
    std::vector<BSTR> texts(16, nullptr);
    for (auto& t : targets) VariantInit(&t);

    size_t argc = r.byte() % 16;
    std::vector<VARIANT> args(argc);
    for (size_t i = 0; i < argc; ++i) {
        VARIANT& v = args[i];
        VariantInit(&v);
        switch (r.byte() % 14) {
            case 0: break;  // Empty
            case 1: v.vt = VT_NULL; break;
            case 2:
                v.vt = VT_I2;
                v.iVal = static_cast<SHORT>(r.number());
                break;
            case 3:
                v.vt = VT_I4;
                v.lVal = r.number();
                break;
            case 4:
                v.vt = VT_R8;
                v.dblVal = r.dbl();
                break;
            case 5:
                v.vt = VT_BOOL;
                v.boolVal = r.byte() & 1 ? VARIANT_TRUE : VARIANT_FALSE;
                break;
            case 6: {
                auto s = r.text();
                v.vt = VT_BSTR;
                v.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
                break;
            }
            case 7:
                v.vt = VT_ERROR;
                v.scode = DISP_E_PARAMNOTFOUND;
                break;
            case 8: {
                v.vt = VT_DISPATCH;
                v.pdispVal = nullptr;
                if (r.byte() & 1) {
                    IUnknown* other = classes[r.byte() % count]->create();
                    other->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&v.pdispVal));
                    other->Release();
                }
                break;
            }
            case 9:
                v.vt = VT_BYREF | VT_I4;
                longs[i] = r.number();
                v.plVal = &longs[i];
                break;
            case 10:
                v.vt = VT_BYREF | VT_I2;
                shorts[i] = static_cast<SHORT>(r.number());
                v.piVal = &shorts[i];
                break;
            case 11: {
                auto s = r.text();
                texts[i] = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
                v.vt = VT_BYREF | VT_BSTR;
                v.pbstrVal = &texts[i];
                break;
            }
            case 12:
                targets[i].vt = VT_I4;
                targets[i].lVal = r.number();
                v.vt = VT_BYREF | VT_VARIANT;
                v.pvarVal = &targets[i];
                break;
            case 13:
                v.vt = VT_UI1;
                v.bVal = r.byte();
                break;
        }
    }
    for (size_t m = 0; m < cls->table->count; ++m)
        if (cls->table->members[m].id == id && std::u16string_view(cls->table->members[m].name) == u"timeOut")
            for (auto& v : args) keep_waits_short(v);
    size_t named = argc ? r.byte() % (argc + 1) : 0;
    std::vector<DISPID> names(named);
    for (auto& n : names) {
        uint8_t b = r.byte();
        n = b == 255 ? DISPID_PROPERTYPUT : static_cast<DISPID>(b % 20) - 2;
    }
    DISPPARAMS dp{args.data(), names.empty() ? nullptr : names.data(), static_cast<UINT>(argc),
                  static_cast<UINT>(named)};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO ei{};
    UINT arg_err = 0;
    HRESULT hr = d->Invoke(id, IID_NULL, 0x0409, flags, &dp, &result, &ei, &arg_err);
    if (hr == DISP_E_EXCEPTION) {
        SysFreeString(ei.bstrSource);
        SysFreeString(ei.bstrDescription);
        SysFreeString(ei.bstrHelpFile);
    }
    if (FAILED(hr) && (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) && arg_err >= argc) __builtin_trap();
    VariantClear(&result);
    for (auto& v : args) VariantClear(&v);
    for (auto& t : targets) VariantClear(&t);
    for (BSTR b : texts) SysFreeString(b);

    // names too: any text, any count
    std::u16string name = r.text();
    LPOLESTR n = name.data();
    DISPID got;
    d->GetIDsOfNames(IID_NULL, &n, 1, 0x0409, &got);
    d->Release();
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK) info->Release();
    fuzz::empty_private_dir();
    return 0;
}
