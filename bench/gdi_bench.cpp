// Throughput of the pixel paths, in pixels per second:
//   - BitBlt of a 2048x2048 photo-like 24-bit picture into an 8-bit section
//     with a 256-colour table (every pixel matched to its nearest colour);
//   - cDIBSection.Resample of the same picture to 1024x768.
#include <benchmark/benchmark.h>

#include "frame/com.hpp"
#include "bench/photo.hpp"
#include "platform/gdi/gdi.hpp"

using namespace t2;
using namespace t2::gdi;

namespace {

constexpr int kSide = 2048;

// state.range(0): 1 gives every iteration a table of its own (its colours are worked out cold),
// 0 repeats one table (the worked-out colours of the first iteration are reused, as successive
// saves with the fixed table reuse them).
void BM_BitBlt24To8(benchmark::State& state) {
    HGDI src = photo_like(kSide);
    HGDI sdc = CreateCompatibleDC(0);
    HGDI sold = SelectObject(sdc, src);
    BITMAPINFO bi{};
    bi.bmiHeader = {40, kSide, kSide, 1, 8, BI_RGB, 0, 0, 0, 256, 0};
    for (int i = 0; i < 216; ++i)
        bi.bmiColors[i] = {uint8_t(51 * (i % 6)), uint8_t(51 * (i / 6 % 6)), uint8_t(51 * (i / 36)), 0};
    for (int i = 216; i < 256; ++i)
        bi.bmiColors[i] = {uint8_t((i - 216) * 6), uint8_t((i - 216) * 6), uint8_t((i - 216) * 6), 0};
    uint8_t variant = 0;
    for (auto _ : state) {
        // a new 8-bit section each time, as a GIF save makes one
        if (state.range(0)) bi.bmiColors[255].rgbBlue = ++variant;
        int32_t bits = 0;
        HGDI dst = CreateDIBSection(0, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDI ddc = CreateCompatibleDC(0);
        HGDI dold = SelectObject(ddc, dst);
        BitBlt(ddc, 0, 0, kSide, kSide, sdc, 0, 0, SRCCOPY);
        benchmark::DoNotOptimize(bitmap_bits(dst)[12345]);
        SelectObject(ddc, dold);
        DeleteDC(ddc);
        DeleteObject(dst);
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
    SelectObject(sdc, sold);
    DeleteDC(sdc);
    DeleteObject(src);
}
BENCHMARK(BM_BitBlt24To8)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Resample(benchmark::State& state) {
    HGDI src = photo_like(kSide);
    IUnknown* unk = create_cDIBSection();
    _cDIBSection* d = nullptr;
    unk->QueryInterface(IID__cDIBSection, reinterpret_cast<void**>(&d));
    unk->Release();
    VARIANT_BOOL ok;
    d->Create(kSide, kSide, &ok);
    HGDI sdc = CreateCompatibleDC(0);
    HGDI sold = SelectObject(sdc, src);
    d->LoadPictureBlt(sdc, 0, 0, -1, -1, SRCCOPY);
    for (auto _ : state) {
        _cDIBSection* out = nullptr;
        d->Resample(768, 1024, &out);
        benchmark::DoNotOptimize(out);
        out->Release();
    }
    state.SetItemsProcessed(state.iterations() * 1024 * 768);
    d->Release();
    SelectObject(sdc, sold);
    DeleteDC(sdc);
    DeleteObject(src);
}
BENCHMARK(BM_Resample)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
