// Fuzz target: cPalette.Load of arbitrary bytes at arbitrary offsets.  Any file
// gives True or False with the list, its count and the position consistent.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "frame/com.hpp"
#include "fuzz_dir.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::private_dir() + "/records.pal";
    LONG position = 0;
    if (size >= 2) {  // the first two bytes choose the offset (-8 .. 1015)
        position = static_cast<LONG>((data[0] | (data[1] << 8)) % 1024) - 8;
        data += 2;
        size -= 2;
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    IUnknown* unk = t2::create_cPalette();
    _cPalette* p = nullptr;
    unk->QueryInterface(IID__cPalette, reinterpret_cast<void**>(&p));
    unk->Release();
    BSTR name = SysAllocStringUTF8(path.c_str());
    const LONG start = position;
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = p->Load(name, &position, &ok);
    LONG count = -1;
    p->get_Count(&count);
    if (FAILED(hr) || count < 0 || count > 4097) __builtin_trap();
    if (ok) {
        const LONG from = start < 1 ? 0 : start;
        if (position != from + 4 + 4 * count) __builtin_trap();
        // every entry is readable, one past the end is not
        VARIANT last;
        VariantInit(&last);
        last.vt = VT_I4;
        last.lVal = count;
        BYTE r;
        if (FAILED(p->get_Red(last, &r))) __builtin_trap();
        last.lVal = count + 1;
        if (SUCCEEDED(p->get_Red(last, &r))) __builtin_trap();
    }
    SysFreeString(name);
    p->Release();
    std::remove(path.c_str());
    return 0;
}
